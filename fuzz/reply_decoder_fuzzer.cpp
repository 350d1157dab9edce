// The reply decoder over any quote character and text: at most 32 tokens, every token a
// terminated text in the decoder's own block, tokens in text order, the plain blank-separated
// case worked out independently, and copies equal to and independent of the original.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decodeVESKString.h"
#include "fuzz_input.h"

namespace {

std::vector<std::string> tokensOf(const decodeVESKString& d) {
    std::vector<std::string> out;
    for (int i = 0; i < d.count; ++i) {
        out.emplace_back(d.tokens[i]);
    }
    return out;
}

std::string describe(const std::vector<std::string>& tokens) {
    std::string out = std::to_string(tokens.size()) + " tokens:";
    for (const std::string& t : tokens) {
        out += " [" + t + "]";
    }
    return out;
}

// Blank-separated words, for replies without a quote; a leading blank gives an empty first
// token because the first token always starts the text.
std::vector<std::string> words(const std::string& reply) {
    std::vector<std::string> out;
    std::size_t at = 0;
    if (!reply.empty() && reply[0] == ' ') {
        out.emplace_back();
    }
    while (out.size() < decodeVESKString::maxTokens) {
        at = reply.find_first_not_of(' ', at);
        if (at == std::string::npos) {
            break;
        }
        std::size_t end = reply.find(' ', at);
        out.push_back(reply.substr(at, end == std::string::npos ? end : end - at));
        at = end;
    }
    return out;
}

void checkStructure(const decodeVESKString& d, std::size_t length, const std::string& reply) {
    FUZZ_CHECK(d.count >= 0 && d.count <= decodeVESKString::maxTokens, std::to_string(d.count));
    FUZZ_CHECK((d.count == 0) == reply.empty(), reply + ": " + std::to_string(d.count));
    const char* previous = nullptr;
    for (int i = 0; i < decodeVESKString::maxTokens; ++i) {
        const char* token = d.tokens[i];
        FUZZ_CHECK(token != nullptr, "null token " + std::to_string(i));
        if (i >= d.count) {
            FUZZ_CHECK(*token == '\0', "token beyond count is not empty");
            continue;
        }
        FUZZ_CHECK(d.text != nullptr && token >= d.text && token <= d.text + length,
                   "token " + std::to_string(i) + " outside the decoder's block");
        FUZZ_CHECK(std::memchr(token, '\0', length + 1 - (token - d.text)) != nullptr,
                   "token runs past its block");
        FUZZ_CHECK(previous == nullptr || token > previous, "tokens out of text order");
        FUZZ_CHECK(d.quote == '\0' || std::strchr(token, d.quote) == nullptr,
                   "a token holds the quote character");
        previous = token;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_input in(data, size);
    char quote = static_cast<char>(in.byte());
    std::string reply = in.rest();
    reply.resize(std::strlen(reply.c_str()));

    auto decoded = std::make_unique<decodeVESKString>(reply.c_str(), quote);
    const decodeVESKString& d = *decoded;
    checkStructure(d, reply.size(), reply);
    FUZZ_CHECK(d.text != reply.c_str(), "the reply itself was kept, not copied");
    std::vector<std::string> got = tokensOf(d);
    if (quote == '\0' || reply.find(quote) == std::string::npos) {
        std::vector<std::string> want = words(reply);
        FUZZ_CHECK(got == want, reply + " gave " + describe(got) + ", expected " + describe(want));
    }

    // Copies hold equal tokens in blocks of their own, and outlive the original.
    decodeVESKString copy(d);
    decodeVESKString assigned("a 'b c' d", '\'');
    assigned = d;
    FUZZ_CHECK(copy.text == nullptr || copy.text != d.text, "copy shares the text");
    FUZZ_CHECK(assigned.text == nullptr || assigned.text != d.text, "assignment shares the text");
    decoded.reset();
    checkStructure(copy, reply.size(), reply);
    checkStructure(assigned, reply.size(), reply);
    FUZZ_CHECK(tokensOf(copy) == got, "copy differs: " + describe(tokensOf(copy)));
    FUZZ_CHECK(tokensOf(assigned) == got, "assignment differs: " + describe(tokensOf(assigned)));
    FUZZ_CHECK(copy.quote == quote && assigned.quote == quote, "copy lost the quote character");
    const decodeVESKString& self = assigned;
    assigned = self;
    FUZZ_CHECK(tokensOf(assigned) == got, "self-assignment changed the decoding");
    return 0;
}
