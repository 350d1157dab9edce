// decodeVESKString: a host reply cut into blank-separated tokens, where text between two quote
// characters is one token that may hold blanks.
#pragma once

class decodeVESKString {
public:
    static const int maxTokens = 32;

    // Host- or caller-owned reply; copied before the constructor returns. Null or empty gives
    // count 0 and allocates nothing.
    decodeVESKString(const char* reply, char quote);
    // A copy owns its own text; it never shares or frees the other decoder's.
    decodeVESKString(const decodeVESKString& other);
    decodeVESKString& operator=(const decodeVESKString& other);
    virtual ~decodeVESKString();

    // Every entry points at text: tokens at or beyond count read as the empty text.
    const char* tokens[maxTokens];
    int count;
    // This decoder's own copy of the reply, cut with NULs; null for an empty decoding.
    char* text;
    char quote;

private:
    void decode(const char* reply);
    void copyFrom(const decodeVESKString& other);
};
