// decimal: an int written in plain decimal, with its sign when negative.
//
// Small enough to be inlined where a line is composed: every line with a number in it goes
// through here, and a call into the library's general conversion costs more than the digits.
// Digits go two at a time from a table, so a router index of up to four digits takes two
// divisions.
#pragma once

namespace vesk_detail {

// The most characters putDecimal writes: "-2147483648".
const int decimalRoom = 11;

inline constexpr char digitPairs[] = "00010203040506070809"
                                     "10111213141516171819"
                                     "20212223242526272829"
                                     "30313233343536373839"
                                     "40414243444546474849"
                                     "50515253545556575859"
                                     "60616263646566676869"
                                     "70717273747576777879"
                                     "80818283848586878889"
                                     "90919293949596979899";

inline int decimalDigits(unsigned int value) noexcept {
    int digits = 1;
    for (;;) {
        if (value < 10u) {
            return digits;
        }
        if (value < 100u) {
            return digits + 1;
        }
        if (value < 1000u) {
            return digits + 2;
        }
        if (value < 10000u) {
            return digits + 3;
        }
        value /= 10000u;
        digits += 4;
    }
}

// Writes `value` at `out`, which has room for decimalRoom characters, and returns the end.
inline char* putDecimal(char* out, int value) noexcept {
    unsigned int magnitude = static_cast<unsigned int>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0u - magnitude; // INT_MIN too: modular negation gives 2147483648
    }
    char* const end = out + decimalDigits(magnitude);
    char* at = end;
    while (magnitude >= 100u) {
        const unsigned int pair = (magnitude % 100u) * 2u;
        magnitude /= 100u;
        at -= 2;
        at[0] = digitPairs[pair];
        at[1] = digitPairs[pair + 1u];
    }
    if (magnitude >= 10u) {
        at[-2] = digitPairs[magnitude * 2u];
        at[-1] = digitPairs[magnitude * 2u + 1u];
    } else {
        at[-1] = static_cast<char>('0' + magnitude);
    }
    return end;
}

} // namespace vesk_detail
