// text_line: the two ways a command line with text operands is composed.
//
// Joined fields are never searched for placeholders, and arg() never substitutes into text
// an earlier arg() inserted, so a "%1" inside an operand reaches the host as it was given.
#pragma once

#include "vesk_string.h"

namespace vesk_detail {

// Appends a blank and the text between single quotes, verbatim: the host has no escapes.
inline void appendQuoted(vesk_string& line, const vesk_string& text) {
    line += " '";
    line += text;
    line += "'";
}

// The verb followed by each field quoted: "CE 'panel' 'control'".
template <class... Fields> vesk_string quotedLine(const char* verb, const Fields&... fields) {
    vesk_string sLine(verb);
    (appendQuoted(sLine, fields), ...);
    return sLine;
}

inline vesk_string filledWith(const vesk_string& format, const vesk_string& value) {
    return format.arg(value);
}
// Integers in plain decimal; a flag comes in as a bool and goes out as 1 or 0.
inline vesk_string filledWith(const vesk_string& format, int value) {
    return format.arg(value, 0, 0, 10);
}

// The format with "%1", "%2", ... filled by one arg() call per value, in order.
template <class... Values> vesk_string filledLine(const char* format, const Values&... values) {
    vesk_string sLine(format);
    ((sLine = filledWith(sLine, values)), ...);
    return sLine;
}

// Copies a read reply and hands it back at once, so nothing refers to host text afterwards.
// False, with `copy` untouched, when the host did not answer.
template <class Reply> bool copyReply(Reply&& reply, vesk_string& copy) {
    if (reply.text() == nullptr) {
        return false;
    }
    copy = reply.text();
    reply.release();
    return true;
}

} // namespace vesk_detail
