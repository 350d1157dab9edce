// temp_system_tree: a throwaway installation tree, <root>/<system>/config/system, holding the
// INI files a test writes; removed with everything in it when the tree goes.
#pragma once

#include <string>

class env_guard;

class temp_system_tree {
public:
    explicit temp_system_tree(const std::string& system = "main");
    ~temp_system_tree();
    temp_system_tree(const temp_system_tree&) = delete;
    temp_system_tree& operator=(const temp_system_tree&) = delete;

    // The value for CC_ROOT: the root folder, without a trailing separator.
    const std::string& root() const { return m_root; }
    // The value for CC_SYSTEM.
    const std::string& system() const { return m_system; }
    // <root>/<system>/config/system
    std::string configDir() const;

    // Writes `content` as it stands to the file `name` of the configuration folder.
    void writeFile(const std::string& name, const std::string& content) const;
    // Writes configdb.ini, the configuration database.
    void writeConfigDb(const std::string& content) const { writeFile("configdb.ini", content); }

    // Points CC_ROOT and CC_SYSTEM at this tree for as long as `env` lives.
    void activate(env_guard& env) const;

private:
    std::string m_root;
    std::string m_system;
};
