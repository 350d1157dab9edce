// revertiveNotify: what a script's revertive handlers receive for one revertive.
#pragma once

#include "vesk_host_structs.h"
#include "vesk_string.h"

class revertiveNotify {
public:
    // Host-owned; valid only during the handler call. Every accessor copies.
    explicit revertiveNotify(const vesk_host_revertive* event) noexcept : m_event(event) {}

    int device() const noexcept { return m_event ? m_event->device : 0; }
    int index() const noexcept { return m_event ? m_event->index : 0; }
    vesk_string info() const;

private:
    const vesk_host_revertive* m_event;
};
