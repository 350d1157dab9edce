// Both decoders on a typical text and on the costliest: the longest scan up to the 32-field
// limit. The floor cuts the same text the same way in a stack buffer, without the heap.
#include <string>

#include "bench_support.h"
#include "decodeCaptionString.h"
#include "decodeVESKString.h"

namespace bench {
namespace {

const int fields = 32;

// 32 subs of 30 characters and a value: the scan runs to the limit.
std::string longCaption() {
    std::string caption = "instance";
    for (int i = 0; i < fields; ++i) {
        caption += "." + std::string(29, static_cast<char>('a' + i % 26)) + "x";
    }
    return caption + "=value";
}

// 32 tokens, every other one quoted with blanks inside, about 1 KB.
std::string longReply() {
    std::string reply;
    for (int i = 0; i < fields; ++i) {
        reply += i % 2 == 0 ? "'quoted token with blanks " + std::to_string(i) + "'"
                            : std::string(24, '7') + std::to_string(i);
        reply += ' ';
    }
    return reply;
}

// The caption cut in place: the decoder's scan over a stack copy.
void captionFloor(const char* caption) {
    char text[2048];
    const char* subs[fields];
    std::size_t length = std::strlen(caption);
    std::memcpy(text, caption, length + 1);
    const char* value = "";
    int count = 0;
    for (std::size_t i = 0; i < length && count < fields; ++i) {
        if (text[i] == '.') {
            text[i] = '\0';
            subs[count++] = text + i + 1;
        } else if (text[i] == '=') {
            text[i] = '\0';
            value = text + i + 1;
            break;
        }
    }
    benchmark::DoNotOptimize(subs);
    benchmark::DoNotOptimize(value);
}

// The reply cut in place into tokens, quotes keeping blanks, over a stack copy.
void replyFloor(const char* reply) {
    char text[2048];
    const char* tokens[fields];
    std::size_t length = std::strlen(reply);
    std::memcpy(text, reply, length + 1);
    tokens[0] = text;
    int count = 0;
    bool inQuotes = false;
    for (std::size_t i = 0; i < length; ++i) {
        bool starts = false;
        if (text[i] == '\'') {
            starts = inQuotes && i > 0 && text[i - 1] == '\0';
            inQuotes = !inQuotes;
            text[i] = '\0';
        } else if (!inQuotes && text[i] == ' ') {
            text[i] = '\0';
        } else {
            starts = i > 0 && text[i - 1] == '\0';
        }
        if (starts) {
            if (count + 1 >= fields) {
                break;
            }
            tokens[++count] = text + i;
        }
    }
    benchmark::DoNotOptimize(tokens);
    benchmark::DoNotOptimize(count);
}

void addCaption(const std::string& name, const std::string& caption) {
    addPair(
        "decoder/caption_" + name,
        [caption](benchmark::State& state) {
            measure(state, [&] {
                decodeCaptionString decoded(opaque(caption.c_str()));
                benchmark::DoNotOptimize(decoded.value);
            });
        },
        [caption](benchmark::State& state) {
            measure(state, [&] { captionFloor(opaque(caption.c_str())); });
        });
}

void addReply(const std::string& name, const std::string& reply) {
    addPair(
        "decoder/reply_" + name,
        [reply](benchmark::State& state) {
            measure(state, [&] {
                decodeVESKString decoded(opaque(reply.c_str()), '\'');
                benchmark::DoNotOptimize(decoded.count);
            });
        },
        [reply](benchmark::State& state) {
            measure(state, [&] { replyFloor(opaque(reply.c_str())); });
        });
}

} // namespace

void addDecoderBenchmarks() {
    addCaption("typical", "instance=router1");
    addCaption("worst", longCaption());
    addReply("typical", "12 100 5 2 'main out'");
    addReply("worst", longReply());
}

} // namespace bench
