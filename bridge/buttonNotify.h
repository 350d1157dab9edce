// buttonNotify: what a script's buttonCallback receives for one button press.
#pragma once

#include "vesk_host_structs.h"
#include "vesk_string.h"

class buttonNotify {
public:
    // Host-owned; valid only during the handler call. Every accessor copies.
    explicit buttonNotify(const vesk_host_button* event) noexcept : m_event(event) {}

    vesk_string panel() const;
    vesk_string id() const;
    // The caption's command and value; empty when the host sent no caption.
    vesk_string command() const;
    vesk_string value() const;
    // Writes "panel:id: command.sub...=value", after "tag: " when tag is given, to the
    // debugger output; nothing when the event or its caption is missing.
    void dump(const char* tag) const;

private:
    const vesk_host_button* m_event;
};
