#include "decodeVESKString.h"

#include <cstring>
#include <utility>

#include "empty_text.h"
#include "vesk_winapi.h"

using vesk_detail::emptyText;

decodeVESKString::decodeVESKString(const char* reply, char quoteChar) : quote(quoteChar) {
    decode(reply);
}

decodeVESKString::decodeVESKString(const decodeVESKString& other) : quote(other.quote) {
    OutputDebugStringA("copy con VESKstr");
    decode(nullptr);
    copyFrom(other);
}

decodeVESKString& decodeVESKString::operator=(const decodeVESKString& other) {
    if (this != &other) {
        // Copy first: should that fail, this decoder stays as it was. The tokens point into
        // the text block, which stays where it is, so swapping fields swaps whole decodings.
        decodeVESKString copy(other);
        std::swap(tokens, copy.tokens);
        std::swap(count, copy.count);
        std::swap(text, copy.text);
        std::swap(quote, copy.quote);
    }
    return *this;
}

decodeVESKString::~decodeVESKString() {
    delete[] text;
}

void decodeVESKString::decode(const char* reply) {
    for (const char*& token : tokens) {
        token = emptyText;
    }
    count = 0;
    text = nullptr;
    if (reply == nullptr || *reply == '\0') {
        return;
    }
    std::size_t length = std::strlen(reply);
    text = new char[length + 1];
    std::memcpy(text, reply, length + 1);
    tokens[0] = text;

    // `count` indexes the last token started; it becomes the number of tokens at the end.
    bool inQuotes = false;
    for (std::size_t i = 0; i < length; ++i) {
        bool startsToken = false;
        if (!inQuotes && text[i] == quote) {
            inQuotes = true;
            text[i] = '\0';
        } else if (inQuotes && text[i] == quote) {
            inQuotes = false;
            text[i] = '\0';
            // Two quotes in a row: an empty token, starting on the closing quote's NUL.
            startsToken = i > 0 && text[i - 1] == '\0';
        } else if (!inQuotes && text[i] == ' ') {
            text[i] = '\0';
        } else {
            startsToken = i > 0 && text[i - 1] == '\0';
        }
        if (startsToken) {
            if (count + 1 >= maxTokens) {
                break;
            }
            tokens[++count] = text + i;
        }
    }
    ++count;
}

void decodeVESKString::copyFrom(const decodeVESKString& other) {
    count = other.count < 0 ? 0 : (other.count > maxTokens ? maxTokens : other.count);
    if (other.text == nullptr) {
        return;
    }
    // The cut block has lost its separators, so the copy takes the block itself, up to the
    // end of the last token; tokens are started in text order.
    const char* begin = other.text;
    const char* last = other.tokens[count - 1];
    std::size_t length = static_cast<std::size_t>(last - begin) + std::strlen(last);
    text = new char[length + 1];
    std::memcpy(text, begin, length + 1);
    for (int i = 0; i < count; ++i) {
        tokens[i] = text + (other.tokens[i] - begin);
    }
}
