// hostNotify: what a script's hostCallback receives for a host event (VESK_EVENT_HOST). The
// structure behind it is the host's own business; this component never reads it.
#pragma once

class hostNotify {
public:
    // Host-owned; valid only during the handler call.
    explicit hostNotify(const void* event) noexcept : m_event(event) {}
    const void* event() const noexcept { return m_event; }

private:
    const void* m_event;
};
