// The command channel: how every command line reaches the host, and how replies go back.
#include "vesk_script_helper.h"

// Lines are handed over as char* because that is the host's interface; the host reads them
// and never writes them. Every line lives in writable memory of ours all the same.

void vesk_script_helper::hostReply::release() noexcept {
    vesk_client_callback* target = m_link;
    m_link = nullptr;
    if (target != nullptr && (m_text != nullptr || m_releaseNull)) {
        char* text = m_text;
        m_text = nullptr;
        try {
            target->callback(text, VESK_LINK_RELEASE);
        } catch (...) {
            // The host's release has no result; there is nothing to do about a failure.
        }
    }
    m_text = nullptr;
}

void vesk_script_helper::sendLine(const char* line) {
    if (link != nullptr) {
        link->callback(const_cast<char*>(line), VESK_LINK_SEND);
    }
}

bool vesk_script_helper::sendTested(const char* line, bool withoutLink) {
    if (link == nullptr) {
        return withoutLink;
    }
    return link->callback(const_cast<char*>(line), VESK_LINK_SEND) != nullptr;
}

vesk_script_helper::hostReply vesk_script_helper::sendRead(const char* line, bool releaseNull) {
    if (link == nullptr) {
        return hostReply(nullptr, nullptr, false);
    }
    char* reply = link->callback(const_cast<char*>(line), VESK_LINK_SEND);
    return hostReply(link, reply, releaseNull);
}

void sendCommand(vesk_script_helper* script, const vesk_string& line) {
    if (script != nullptr) {
        script->sendLine(line);
    }
}
