#include "decodeCaptionString.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "empty_text.h"
#include "vesk_winapi.h"

namespace vesk_detail {
const char emptyText[1] = {'\0'};
}

using vesk_detail::emptyText;

decodeCaptionString::decodeCaptionString(const char* caption) {
    decode(caption);
}

decodeCaptionString::decodeCaptionString(const decodeCaptionString& other) {
    decode(nullptr);
    copyFrom(other);
}

decodeCaptionString& decodeCaptionString::operator=(const decodeCaptionString& other) {
    if (this != &other) {
        // Copy first: should that fail, this decoder stays as it was. The fields point into
        // the text block, which stays where it is, so swapping fields swaps whole decodings.
        decodeCaptionString copy(other);
        std::swap(command, copy.command);
        std::swap(subs, copy.subs);
        std::swap(value, copy.value);
        std::swap(subCount, copy.subCount);
        std::swap(hasValue, copy.hasValue);
        std::swap(text, copy.text);
    }
    return *this;
}

decodeCaptionString::~decodeCaptionString() {
    delete[] text;
}

void decodeCaptionString::decode(const char* caption) {
    command = emptyText;
    for (const char*& sub : subs) {
        sub = emptyText;
    }
    value = emptyText;
    subCount = 0;
    hasValue = false;
    text = nullptr;
    if (caption == nullptr || *caption == '\0') {
        return;
    }
    std::size_t length = std::strlen(caption);
    text = new char[length + 1];
    std::memcpy(text, caption, length + 1);

    for (std::size_t i = 0; i < length && subCount < maxSubs; ++i) {
        if (text[i] == '.') {
            if (command == emptyText) {
                command = text;
            }
            text[i] = '\0';
            subs[subCount++] = text + i + 1;
        } else if (text[i] == '=') {
            if (command == emptyText) {
                command = text;
            }
            text[i] = '\0';
            value = text + i + 1;
            hasValue = true;
            break;
        }
    }
    if (command == emptyText) {
        command = text;
    }
}

void decodeCaptionString::copyFrom(const decodeCaptionString& other) {
    subCount = other.subCount < 0 ? 0 : (other.subCount > maxSubs ? maxSubs : other.subCount);
    hasValue = other.hasValue;
    if (other.text == nullptr) {
        // Nothing of the other's own: its fields point at the shared empty text, or at text
        // that someone else owns and keeps alive.
        command = other.command;
        for (int i = 0; i < maxSubs; ++i) {
            subs[i] = other.subs[i];
        }
        value = other.value;
        return;
    }
    // The text block holds one piece more than the cuts decoding made: one per sub and one
    // for the value.
    const char* begin = other.text;
    const char* end = begin;
    int cuts = subCount + (hasValue ? 1 : 0);
    for (int i = 0; i < cuts; ++i) {
        end += std::strlen(end) + 1;
    }
    end += std::strlen(end);
    std::size_t length = static_cast<std::size_t>(end - begin);
    text = new char[length + 1];
    std::memcpy(text, begin, length + 1);
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(begin);
    auto rebase = [&](const char* field) -> const char* {
        std::uintptr_t at = reinterpret_cast<std::uintptr_t>(field);
        if (field != emptyText && at >= first && at <= first + length) {
            return text + (at - first);
        }
        return field;
    };
    command = rebase(other.command);
    for (int i = 0; i < maxSubs; ++i) {
        subs[i] = rebase(other.subs[i]);
    }
    value = rebase(other.value);
}

void decodeCaptionString::dump() const {
    char out[1024];
    const char* shown[6] = {command, subs[0], subs[1], subs[2], subs[3], value};
    bool valid = true;
    for (const char* field : shown) {
        valid = valid && field != nullptr;
    }
    if (valid) {
        // snprintf cuts an overlong dump at the buffer's end.
        std::snprintf(out, sizeof out,
                      "Command: %s\nSub 0: %s\nSub 1: %s\nSub 2: %s\nSub 3: %s\nValue: %s\n",
                      shown[0], shown[1], shown[2], shown[3], shown[4], shown[5]);
    } else {
        std::snprintf(out, sizeof out, "%s", "decodeCaptionString not valid");
    }
    OutputDebugStringA(out);
}

char* decodeCaptionString::rebuild(char* dst) const {
    char* out = dst;
    auto put = [&out](const char* piece) {
        if (piece != nullptr) {
            std::size_t length = std::strlen(piece);
            std::memcpy(out, piece, length);
            out += length;
        }
    };
    put(command);
    int count = subCount < 0 ? 0 : (subCount > maxSubs ? maxSubs : subCount);
    for (int i = 0; i < count; ++i) {
        put(".");
        put(subs[i]);
    }
    put("=");
    put(value);
    *out = '\0';
    return dst;
}
