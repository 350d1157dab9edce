// parentNotify: what a script's parentCallback receives for one text from the parent panel.
#pragma once

#include "decodeCaptionString.h"
#include "vesk_string.h"

class parentNotify {
public:
    // The dispatcher's decoding of the parent text; valid only during the handler call.
    explicit parentNotify(const decodeCaptionString* caption) noexcept : m_caption(caption) {}

    vesk_string command() const;
    vesk_string value() const;
    // Writes "command.sub...=value", after "tag: " when tag is given, to the debugger output.
    void dump(const char* tag) const;

private:
    const decodeCaptionString* m_caption;
};
