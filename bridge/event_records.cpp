#include "buttonNotify.h"
#include "parentNotify.h"
#include "revertiveNotify.h"
#include "vesk_winapi.h"

namespace {

int clampedSubCount(const decodeCaptionString* caption) {
    int count = caption->subCount;
    return count < 0
               ? 0
               : (count > decodeCaptionString::maxSubs ? decodeCaptionString::maxSubs : count);
}

// Appends "command.sub...=value" of the caption.
void appendCaption(vesk_string& out, const decodeCaptionString* caption) {
    out += caption->command;
    int count = clampedSubCount(caption);
    for (int i = 0; i < count; ++i) {
        out += vesk_string(".%1").arg(caption->subs[i]);
    }
    out += "=";
    out += caption->value;
}

void writeTagged(const char* tag, const vesk_string& out) {
    if (tag != nullptr) {
        OutputDebugStringA(vesk_string("%1: %2").arg(tag).arg(out));
    } else {
        OutputDebugStringA(out);
    }
}

} // namespace

vesk_string buttonNotify::panel() const {
    return m_event ? vesk_string(m_event->panel) : vesk_string();
}

vesk_string buttonNotify::id() const {
    return m_event ? vesk_string(m_event->id) : vesk_string();
}

vesk_string buttonNotify::command() const {
    return m_event && m_event->caption ? vesk_string(m_event->caption->command) : vesk_string();
}

vesk_string buttonNotify::value() const {
    return m_event && m_event->caption ? vesk_string(m_event->caption->value) : vesk_string();
}

void buttonNotify::dump(const char* tag) const {
    if (m_event == nullptr || m_event->caption == nullptr) {
        return;
    }
    vesk_string out(m_event->panel);
    out += ":";
    out += m_event->id;
    out += ": ";
    appendCaption(out, m_event->caption);
    writeTagged(tag, out);
}

vesk_string revertiveNotify::info() const {
    return m_event ? vesk_string(m_event->text) : vesk_string();
}

vesk_string parentNotify::command() const {
    return m_caption ? vesk_string(m_caption->command) : vesk_string();
}

vesk_string parentNotify::value() const {
    return m_caption ? vesk_string(m_caption->value) : vesk_string();
}

void parentNotify::dump(const char* tag) const {
    if (m_caption == nullptr) {
        return;
    }
    vesk_string out;
    appendCaption(out, m_caption);
    writeTagged(tag, out);
}
