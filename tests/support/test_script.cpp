#include "test_script.h"

namespace {
std::string text(const vesk_string& s) {
    return s.c_str();
}
} // namespace

void test_script::buttonCallback(buttonNotify* notify) {
    if (onAnyEvent) {
        onAnyEvent();
    }
    events.push_back("button " + text(notify->panel()) + ":" + text(notify->id()) + ":" +
                     text(notify->command()) + "=" + text(notify->value()));
}

void test_script::revertiveCallback(revertiveNotify* notify) {
    if (onAnyEvent) {
        onAnyEvent();
    }
    events.push_back("revertive " + std::to_string(notify->device()) + ":" +
                     std::to_string(notify->index()) + ":" + text(notify->info()));
}

vesk_string test_script::parentCallback(parentNotify* notify) {
    if (onAnyEvent) {
        onAnyEvent();
    }
    events.push_back("parent " + text(notify->command()) + "=" + text(notify->value()));
    return onParent ? onParent(notify) : vesk_string();
}

void test_script::timerCallback(int id) {
    if (onAnyEvent) {
        onAnyEvent();
    }
    events.push_back("timer " + std::to_string(id));
}

void test_script::hostCallback(hostNotify*) {
    if (onAnyEvent) {
        onAnyEvent();
    }
    events.push_back("host");
}

void test_script::secondaryRevertiveCallback(revertiveNotify* notify) {
    if (onAnyEvent) {
        onAnyEvent();
    }
    events.push_back("secondary " + std::to_string(notify->device()) + ":" +
                     std::to_string(notify->index()) + ":" + text(notify->info()));
}
