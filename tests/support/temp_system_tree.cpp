#include "temp_system_tree.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "env_guard.h"

namespace fs = std::filesystem;

namespace {
std::string uniqueName() {
    static std::atomic<unsigned> counter{0};
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return "vesk-test-" + std::to_string(ticks) + "-" + std::to_string(counter++);
}
} // namespace

temp_system_tree::temp_system_tree(const std::string& system) : m_system(system) {
    fs::path root = fs::temp_directory_path() / uniqueName();
    fs::create_directories(root / system / "config" / "system");
    m_root = root.string();
}

temp_system_tree::~temp_system_tree() {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
}

std::string temp_system_tree::configDir() const {
    return (fs::path(m_root) / m_system / "config" / "system").string();
}

void temp_system_tree::writeFile(const std::string& name, const std::string& content) const {
    std::ofstream out(fs::path(configDir()) / name, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        throw std::runtime_error("cannot write " + name);
    }
}

void temp_system_tree::activate(env_guard& env) const {
    env.set("CC_ROOT", m_root);
    env.set("CC_SYSTEM", m_system);
}
