// The validator's exploration: random sequences of scenario steps over what a script showed of
// itself, and a failing sequence shrunk to the fewest steps and plainest values that still fail,
// written as a scenario file that replays it in plain vesk-host.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vesk_host {

struct step;

// What a script showed of itself during a first, plain life: what exploration draws from.
struct script_surface {
    struct panel {
        std::string name;                  // the panel's name, as `press` takes it
        std::vector<std::string> controls; // its controls' ids, as `press` takes them
    };
    std::vector<panel> panels;                // the panels the script opened
    std::vector<std::string> parameters;      // parent parameter names from its "_commands" answer
    std::vector<std::pair<int, int>> watched; // device and index it registered or polled
    std::vector<int> devices;                 // every device number of the system
    std::vector<int> timers;                  // the timers it started
};

// `count` steps drawn from `seed`, each one event line of the scenario language (press, parent,
// revertive, secondary, advance, timer, hostevent). The same surface, seed and count give the
// same steps with every compiler and standard library.
std::vector<std::string> drawSteps(const script_surface& surface, std::uint64_t seed, int count);

// Whether a run of these steps still fails the way the first one did.
using still_fails = std::function<bool(const std::vector<std::string>& steps)>;

// Delta debugging: drops steps, then simplifies the values of those left, for as long as `fails`
// holds, calling it at most `attempts` times. `steps` must fail to begin with; what comes back
// is `steps` or a run that `fails` said fails, never one left untried.
std::vector<std::string> shrinkSteps(std::vector<std::string> steps, const still_fails& fails,
                                     int attempts);

// A scenario file that replays `steps`: each line of `about` as a comment at its head (the
// check, the seed, the command that replays it), then the steps, then `closing` (the
// expectations that fail).
std::string scenarioText(const std::vector<std::string>& about,
                         const std::vector<std::string>& steps,
                         const std::vector<std::string>& closing);

// The scenario language's writing of one argument, such that the parser reads back exactly
// `text`. A word is plain, or in single quotes when it holds blanks; false when no writing of it
// exists (a quote with a blank, a leading quote, a line end). A text has \\, \n and \t escaped; the
// blanks at either end of a line cannot be written, so they are dropped.
bool stepWord(const std::string& text, std::string& written);
std::string stepText(const std::string& text);

// A parsed step written back as one line of the scenario language.
std::string stepLine(const step& s);

} // namespace vesk_host
