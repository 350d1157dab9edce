// A script that breaks in one way, chosen when it is built, each the kind of fault a script
// author makes and vesk-host must report rather than pass or die of:
//   VESK_BREAK_CRASH     dereferences null when a button is pressed
//   VESK_BREAK_HANG      never returns from a button press
//   VESK_BREAK_THROW     throws out of its button handler (the script base catches it)
//   VESK_BREAK_ABORT     aborts on a timer
//   VESK_BREAK_EXIT      ends the process when its parent speaks
//   VESK_BREAK_RECURSE   recurses until its stack runs out on a button press
//   VESK_BREAK_CONSTRUCT throws from its constructor, out of the export
//   VESK_BREAK_KEEP      keeps a copy of the first button record and reads it at the next
//                        press, when the host structure behind it is long gone
//   VESK_BREAK_SLOW      takes a second over each button press, and is otherwise sound
//   VESK_BREAK_CHDIR     changes the current folder to its parent as it is created
//   VESK_BREAK_UNLOAD    ends the process with status 0 from a global destructor, when it is
//                        unloaded (built so that it stays loaded until the process ends)
//   VESK_BREAK_LOAD_HANG, VESK_BREAK_LOAD_CRASH      a static initializer that never returns,
//                        or dereferences null, as the library is loaded
//   VESK_BREAK_UNLOAD_HANG, VESK_BREAK_UNLOAD_CRASH  the same in a static destructor, as the
//                        library is unloaded
//   VESK_BREAK_THREAD    starts a thread at the first press that sends once the timer handler
//                        lets it, while that handler waits for it
//   VESK_BREAK_LATE      starts a thread at the first press that outlives the script (its
//                        destructor does not wait for it) and sends while the next life is
//                        being created, which takes half a second
// Before breaking it sends "PS '1' 'broken'", so that the report has a last line to show.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <thread>

#include "vesk_script_export.h"
#include "vesk_script_helper.h"

#if defined(VESK_BREAK_UNLOAD) || defined(VESK_BREAK_CHDIR)
#include <unistd.h>
#endif

namespace {

#if defined(VESK_BREAK_UNLOAD)
struct exit_at_unload {
    ~exit_at_unload() { _exit(0); }
} exitAtUnload;
#endif

#if defined(VESK_BREAK_LOAD_HANG) || defined(VESK_BREAK_LOAD_CRASH) ||                             \
    defined(VESK_BREAK_UNLOAD_HANG) || defined(VESK_BREAK_UNLOAD_CRASH)
void breakHere() {
#if defined(VESK_BREAK_LOAD_HANG) || defined(VESK_BREAK_UNLOAD_HANG)
    for (volatile bool forever = true; forever;) {
    }
#else
    // Null, read at run time: a compiler that sees a constant null may drop the store.
    volatile std::uintptr_t nowhere = 0;
    *reinterpret_cast<volatile int*>(nowhere) = 1;
#endif
}

struct static_fault {
#if defined(VESK_BREAK_LOAD_HANG) || defined(VESK_BREAK_LOAD_CRASH)
    static_fault() {
        breakHere();
    }
#else
    ~static_fault() {
        breakHere();
    }
#endif
} staticFault;
#endif

#if defined(VESK_BREAK_LATE)
std::atomic<int> lives{0};
#endif

class broken_script : public vesk_script_helper {
public:
    broken_script(vesk_client_callback* hostLink, const char* startupText)
        : vesk_script_helper(hostLink, startupText) {
#if defined(VESK_BREAK_THREAD) || defined(VESK_BREAK_LATE)
        m_link = hostLink;
#endif
#if defined(VESK_BREAK_LATE)
        if (lives.fetch_add(1) == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
#endif
#if defined(VESK_BREAK_CONSTRUCT)
        throw std::runtime_error("no settings for this workstation");
#elif defined(VESK_BREAK_CHDIR)
        if (chdir("..") != 0) {
            debug("chdir failed");
        }
#endif
    }

#if defined(VESK_BREAK_THREAD)
    ~broken_script() override {
        letTheThreadSend();
    }
#endif

    void buttonCallback(buttonNotify* notify) override {
        panelShow("1", "broken", "");
#if defined(VESK_BREAK_THREAD)
        if (!m_started) {
            m_started = true;
            vesk_client_callback* sendVia = m_link;
            std::atomic<bool>* go = &m_go;
            m_thread = std::thread([sendVia, go] {
                while (!go->load()) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                char line[] = "PS '1' 'from a thread'";
                sendVia->callback(line, 0);
            });
        }
#elif defined(VESK_BREAK_LATE)
        if (lives.load() == 1) {
            vesk_client_callback* sendVia = m_link;
            std::thread([sendVia] {
                // The next life is being created: this one was destroyed before it.
                while (lives.load() < 2) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                char line[] = "PS '1' 'late'";
                sendVia->callback(line, 0);
            }).detach();
        }
#endif
#if defined(VESK_BREAK_CRASH)
        volatile int* nowhere = nullptr;
        *nowhere = 1;
#elif defined(VESK_BREAK_HANG)
        for (volatile bool forever = true; forever;) {
        }
#elif defined(VESK_BREAK_THROW)
        throw std::runtime_error("panel layout missing");
#elif defined(VESK_BREAK_RECURSE)
        debug(vesk_string("depth %1").arg(deeper(1), 0, 0, 10));
#elif defined(VESK_BREAK_SLOW)
        std::this_thread::sleep_for(std::chrono::seconds(1));
#elif defined(VESK_BREAK_KEEP)
        if (!m_kept) {
            m_kept.reset(new buttonNotify(*notify));
        } else {
            // The first press's record, long after its handler returned.
            textPut(m_kept->id(), "1", "kept");
        }
#endif
        (void)notify;
    }
    void revertiveCallback(revertiveNotify*) override {}
    vesk_string parentCallback(parentNotify*) override {
#if defined(VESK_BREAK_EXIT)
        std::exit(3);
#endif
        return vesk_string();
    }
    void timerCallback(int) override {
#if defined(VESK_BREAK_ABORT)
        std::abort();
#elif defined(VESK_BREAK_THREAD)
        letTheThreadSend();
#endif
    }

private:
#if defined(VESK_BREAK_RECURSE)
    int deeper(int depth) {
        volatile char frame[1024];
        frame[0] = static_cast<char>(depth);
        return depth > 0 ? deeper(depth + 1) + frame[0] : 0;
    }
#endif
    std::unique_ptr<buttonNotify> m_kept;
#if defined(VESK_BREAK_THREAD) || defined(VESK_BREAK_LATE)
    vesk_client_callback* m_link = nullptr; // the host's, for the threads that misuse it
#endif
#if defined(VESK_BREAK_THREAD)
    void letTheThreadSend() {
        m_go.store(true);
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    bool m_started = false;
    std::atomic<bool> m_go{false};
    std::thread m_thread;
#endif
};

} // namespace

#if defined(VESK_BREAK_CONSTRUCT)
// Lets the exception out, as a careless export does; the host must survive it.
VESK_SCRIPT_EXPORT vesk_client_callback* VESK_SCRIPT_CALL
load_vesk_client_script(vesk_client_callback* link, const char* startup) {
    return new broken_script(link, startup);
}
#else
VESK_SCRIPT_ENTRY(broken_script);
#endif
