// decodeCaptionString: a caption "command.sub1.sub2=value" cut into its fields.
//
// Its layout is shared with the panel host, which hands button events over with a caption
// already decoded in this form: the fields are never reordered and no virtual operation is
// ever added.
#pragma once

class decodeCaptionString {
public:
    static const int maxSubs = 32;

    // Caller-owned; copied before the constructor returns. Null or empty gives an empty
    // decoding (empty command, no subs, empty value) and allocates nothing.
    explicit decodeCaptionString(const char* caption = nullptr);
    // A copy owns its own text; it never shares or frees the other decoder's.
    decodeCaptionString(const decodeCaptionString& other);
    decodeCaptionString& operator=(const decodeCaptionString& other);
    ~decodeCaptionString();

    // Writes the command, the first four subs and the value to the debugger output.
    void dump() const;
    // Writes command, "." and each sub, then "=" and the value into dst, which the caller
    // sizes; returns dst.
    char* rebuild(char* dst) const;

    // Fields never point at null: those that decoding did not set point at one shared,
    // constant empty text. Host-owned captions are read only.
    const char* command;
    const char* subs[maxSubs];
    const char* value;
    int subCount;
    bool hasValue;
    // This decoder's own copy of the text, cut with NULs; null for an empty decoding.
    char* text;

private:
    void decode(const char* caption);
    void copyFrom(const decodeCaptionString& other);
};
