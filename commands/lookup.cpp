// Lookups: lines the host answers with data. A reply is copied or decoded at once and handed
// back before the operation returns; missing tokens read as empty text, so as 0.
#include <climits>

#include "text_line.h"
#include "text_number.h"
#include "vesk_script_helper.h"

using vesk_detail::copyReply;
using vesk_detail::quotedLine;

namespace {

// Outputs are optional: a null pointer is neither cleared nor written.
template <typename T> void put(T* out, T value) {
    if (out != nullptr) {
        *out = value;
    }
}

int numberAt(const decodeVESKString& reply, int token) {
    return vesk_detail::leadingInt(reply.tokens[token]);
}

// Hands the decoded reply to `take`; false when the host did not answer.
template <typename Take> bool takeReply(const char* reply, Take take) {
    if (reply == nullptr) {
        return false;
    }
    const decodeVESKString decoded(reply, '\'');
    take(decoded);
    return true;
}

// The host gives the index in two parts; their sum is held to the int range rather than
// overflowing on a wild reply.
int indexSum(int first, int second) {
    long long sum = static_cast<long long>(first) + second;
    if (sum > INT_MAX) {
        return INT_MAX;
    }
    if (sum < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(sum);
}

char typeLetter(int number) {
    switch (number) {
    case 2:
        return 'G';
    case 3:
        return 'R';
    default:
        return 'I';
    }
}

} // namespace

bool vesk_script_helper::slotLookup(const vesk_string& instance, const vesk_string& name,
                                    vesk_string& altId, int* device, int* index, char* type) {
    put(device, 0);
    put(index, 0);
    put(type, '\0');
    hostReply reply = sendRead(quotedLine("SS", instance, name));
    return takeReply(reply.text(), [&](const decodeVESKString& decoded) {
        altId = decoded.tokens[4];
        put(device, numberAt(decoded, 0));
        put(index, indexSum(numberAt(decoded, 1), numberAt(decoded, 2)));
        put(type, typeLetter(numberAt(decoded, 3)));
    });
}

bool vesk_script_helper::slotLookup(const vesk_string& instance, const vesk_string& name,
                                    int* device, int* index, char* type) {
    vesk_string altId;
    return slotLookup(instance, name, altId, device, index, type);
}

bool vesk_script_helper::instanceLookup(vesk_string instance, int* device, int* offset) {
    put(device, 0);
    put(offset, 0);
    hostReply reply = sendRead(quotedLine("SD", instance));
    return takeReply(reply.text(), [&](const decodeVESKString& decoded) {
        put(device, numberAt(decoded, 0));
        put(offset, numberAt(decoded, 1));
    });
}

vesk_stringlist vesk_script_helper::controlList(const vesk_string& panel,
                                                const vesk_string& pattern) {
    vesk_string sReply;
    if (!copyReply(sendRead(quotedLine("XI", panel, pattern)), sReply)) {
        return vesk_stringlist();
    }
    return vesk_stringlist(sReply, ',');
}
