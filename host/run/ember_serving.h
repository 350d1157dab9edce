// --ember PORT: the system's devices served to Ember+ consumers from a thread of their own. A
// consumer's connect or write becomes a scenario line, run on the host's thread as a change
// made elsewhere, so that registered scripts hear it; every change a device makes, whoever made
// it, goes to the consumers that watch it. Where the platform has no transport for it, start()
// says so.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "page.h"

namespace vesk_host {

struct options;
class scenario_runner;
class system_model;

// False, with `error`, when `o` asks for Ember+ and this vesk-host cannot serve it.
bool emberAccepts(const options& o, std::string& error);

class ember_serving : public line_feed {
public:
    // `system` must outlive this; its devices are read now.
    explicit ember_serving(system_model& system);
    ~ember_serving() override;
    ember_serving(const ember_serving&) = delete;
    ember_serving& operator=(const ember_serving&) = delete;

    // Listens on address:port (0: a free port) and starts serving. False, with `error`, when
    // it cannot.
    bool start(const std::string& address, int port, std::string& error);
    // The line that says where it serves.
    std::string servingLine() const;
    // Devices of the system that the tree leaves out, and why, one a line.
    std::vector<std::string> leftOut() const;

    // On the host's thread.
    bool next(std::string& line) override;
    void onArrival(std::function<void()> arrived) override;

    // Runs the lines that wait now, as steps: between the steps of a scenario.
    void runWaiting(run_page& steps);
    // After the scenario, without the page: runs the lines typed on standard input and those
    // consumers cause, as steps, until SIGINT, SIGTERM or "quit". `supervised`: the run has
    // a supervisor, which passes such signals on.
    void serve(run_page& steps, const scenario_runner& runner, bool supervised);

private:
    struct impl;
    std::unique_ptr<impl> m;
};

} // namespace vesk_host
