#include "explore.h"

namespace vesk_host {

// Placeholder until exploration lands: no steps, nothing shrunk.
std::vector<std::string> drawSteps(const script_surface&, std::uint64_t, int) { return {}; }

std::vector<std::string> shrinkSteps(std::vector<std::string> steps, const still_fails&, int) {
    return steps;
}

std::string scenarioText(const std::vector<std::string>& about,
                         const std::vector<std::string>& steps,
                         const std::vector<std::string>& closing) {
    std::string text;
    for (const std::string& line : about) {
        text += "# " + line + "\n";
    }
    for (const std::string& line : steps) {
        text += line + "\n";
    }
    for (const std::string& line : closing) {
        text += line + "\n";
    }
    return text;
}

} // namespace vesk_host
