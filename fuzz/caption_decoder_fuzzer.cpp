// The caption decoder over any text: field limits, where every field points, the cut text
// read back whole, and copies that own their own text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decodeCaptionString.h"
#include "fuzz_input.h"

namespace {

struct fields {
    std::string command;
    std::vector<std::string> subs;
    std::string value;
    bool hasValue = false;

    bool operator==(const fields& other) const {
        return command == other.command && subs == other.subs && value == other.value &&
               hasValue == other.hasValue;
    }
};

// What the caption should decode to, worked out on whole strings.
fields expected(const std::string& t) {
    fields f;
    std::size_t stop = t.find('=');
    std::string head = t.substr(0, stop);
    std::size_t dot = head.find('.');
    f.command = head.substr(0, dot);
    while (dot != std::string::npos) {
        if (f.subs.size() + 1 == decodeCaptionString::maxSubs) {
            // The last sub keeps the rest of the text, "=" and all.
            f.subs.push_back(t.substr(dot + 1));
            return f;
        }
        std::size_t next = head.find('.', dot + 1);
        f.subs.push_back(head.substr(dot + 1, next == std::string::npos ? next : next - dot - 1));
        dot = next;
    }
    if (stop != std::string::npos) {
        f.hasValue = true;
        f.value = t.substr(stop + 1);
    }
    return f;
}

std::string describe(const fields& f) {
    std::string out = "command '" + f.command + "' subs";
    for (const std::string& s : f.subs) {
        out += " '" + s + "'";
    }
    return out + " value '" + f.value + "'" + (f.hasValue ? " (has value)" : "");
}

// Every field is a terminated text inside the decoder's own block, or the shared empty text.
void checkPointers(const decodeCaptionString& d, std::size_t length) {
    FUZZ_CHECK(d.subCount >= 0 && d.subCount <= decodeCaptionString::maxSubs,
               std::to_string(d.subCount));
    auto inside = [&](const char* field) {
        FUZZ_CHECK(field != nullptr, "null field");
        if (d.text != nullptr && field >= d.text && field <= d.text + length) {
            FUZZ_CHECK(std::memchr(field, '\0', length + 1 - (field - d.text)) != nullptr,
                       "field runs past its block");
        } else {
            FUZZ_CHECK(*field == '\0', "field outside the block that is not the empty text");
        }
    };
    inside(d.command);
    for (const char* sub : d.subs) {
        inside(sub);
    }
    inside(d.value);
}

fields read(const decodeCaptionString& d) {
    fields f;
    f.command = d.command;
    for (int i = 0; i < d.subCount; ++i) {
        f.subs.emplace_back(d.subs[i]);
    }
    f.value = d.value;
    f.hasValue = d.hasValue;
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The decoder sees a C text: everything after a NUL is out of its reach.
    std::string caption(reinterpret_cast<const char*>(data), size);
    caption.resize(std::strlen(caption.c_str()));

    auto decoded = std::make_unique<decodeCaptionString>(caption.c_str());
    const decodeCaptionString& d = *decoded;
    checkPointers(d, caption.size());
    FUZZ_CHECK((d.text == nullptr) == caption.empty(), "own text only for non-empty captions");
    FUZZ_CHECK(d.text != caption.c_str(), "the caption itself was kept, not copied");
    fields got = read(d);
    fields want = expected(caption);
    FUZZ_CHECK(got == want, caption + " gave " + describe(got) + ", expected " + describe(want));

    // Rebuilding puts back every cut; "=" is always written.
    std::vector<char> rebuilt(caption.size() + 2, '\x7f');
    d.rebuild(rebuilt.data());
    std::string again = caption + (d.hasValue ? "" : "=");
    FUZZ_CHECK(again == rebuilt.data(), caption + " rebuilt as " + rebuilt.data());

    d.dump();

    // Copies own their text: they outlive the original and survive being assigned over.
    decodeCaptionString copy(d);
    decodeCaptionString assigned("x.y=z");
    assigned = d;
    FUZZ_CHECK(copy.text == nullptr || copy.text != d.text, "copy shares the text");
    FUZZ_CHECK(assigned.text == nullptr || assigned.text != d.text, "assignment shares the text");
    decoded.reset();
    checkPointers(copy, caption.size());
    checkPointers(assigned, caption.size());
    FUZZ_CHECK(read(copy) == want, "copy differs: " + describe(read(copy)));
    FUZZ_CHECK(read(assigned) == want, "assignment differs: " + describe(read(assigned)));
    const decodeCaptionString& self = assigned;
    assigned = self;
    FUZZ_CHECK(read(assigned) == want, "self-assignment changed the decoding");
    return 0;
}
