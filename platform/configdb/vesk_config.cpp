// The configuration database is one INI file, <CC_ROOT>\<CC_SYSTEM>\config\system\configdb.ini,
// read through the private-profile calls whenever a node is opened. A node's dotted path is a
// section name; its attributes are the section's keys, its children the section's lines.
#include "vesk_config.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "environment.h"
#include "plain_text.h"
#include "vesk_winapi.h"

namespace {

using vesk_env::environment;
using vesk_text::equalNoCase;
using vesk_text::trimmed;
using vesk_text::unquoted;

struct child {
    std::string id;
    std::string value;
    bool isKey; // the line has '='; only such lines are attributes of the node
};

// Reads a NUL-separated list, growing the buffer while the reader reports a cut list (size - 2).
// A list too large even for the last buffer is not read at all rather than read in part. A
// reader that ran out of memory copied an empty list, which says nothing about the file: that
// is thrown, so that no one acts on a node that only seems missing.
template <typename Reader> bool readList(Reader read, std::vector<std::string>& items) {
    const DWORD largest = DWORD(1) << 28;
    for (DWORD size = 4096; size <= largest; size *= 2) {
        std::vector<char> buffer(size);
        SetLastError(0);
        DWORD count = read(buffer.data(), size);
        if (GetLastError() == ERROR_NOT_ENOUGH_MEMORY || GetLastError() == ERROR_OUTOFMEMORY) {
            throw std::bad_alloc();
        }
        if (count >= size - 2) {
            continue;
        }
        items.clear();
        for (DWORD pos = 0; pos < count && buffer[pos] != '\0';) {
            items.emplace_back(buffer.data() + pos);
            pos += static_cast<DWORD>(items.back().size() + 1);
        }
        return true;
    }
    return false;
}

bool sectionExists(const std::string& file, const char* section) {
    std::vector<std::string> names;
    if (!readList(
            [&](LPSTR buffer, DWORD size) {
                return GetPrivateProfileSectionNamesA(buffer, size, file.c_str());
            },
            names)) {
        return false;
    }
    for (const std::string& name : names) {
        if (equalNoCase(name, section)) {
            return true;
        }
    }
    return false;
}

bool sectionLines(const std::string& file, const char* section, std::vector<std::string>& lines) {
    return readList(
        [&](LPSTR buffer, DWORD size) {
            return GetPrivateProfileSectionA(section, buffer, size, file.c_str());
        },
        lines);
}

} // namespace

struct vesk_config::node {
    bool valid = false;
    std::vector<child> children;
    std::size_t current = 0;

    void open(const char* path) {
        std::string root;
        std::string system;
        if (!environment("CC_ROOT", root) || !environment("CC_SYSTEM", system)) {
            return;
        }
        const std::string file = root + '\\' + system + "\\config\\system\\configdb.ini";
        std::vector<std::string> lines;
        if (!sectionExists(file, path) || !sectionLines(file, path, lines)) {
            return;
        }
        for (const std::string& line : lines) {
            std::size_t equals = line.find('=');
            if (equals == std::string::npos) {
                children.push_back(child{trimmed(line), std::string(), false});
            } else {
                children.push_back(child{trimmed(line.substr(0, equals)),
                                         unquoted(trimmed(line.substr(equals + 1))), true});
            }
        }
        valid = true;
    }
};

vesk_config::vesk_config(const vesk_string& path) : m_node(nullptr) {
    std::unique_ptr<node> opened(new node);
    opened->open(path.c_str());
    m_node = opened.release();
}

vesk_config::vesk_config(const vesk_config& other) : m_node(new node(*other.m_node)) {}

vesk_config& vesk_config::operator=(const vesk_config& other) {
    if (this != &other) {
        node* copy = new node(*other.m_node);
        delete m_node;
        m_node = copy;
    }
    return *this;
}

vesk_config::~vesk_config() {
    delete m_node;
}

bool vesk_config::isValid() const noexcept {
    return m_node->valid;
}

vesk_string vesk_config::attr(const vesk_string& name) const {
    for (const child& c : m_node->children) {
        if (c.isKey && equalNoCase(c.id, name.c_str())) {
            return vesk_string(c.value.c_str());
        }
    }
    return vesk_string();
}

bool vesk_config::isChildValid() const noexcept {
    return m_node->current < m_node->children.size();
}

vesk_string vesk_config::childAttr(const vesk_string& name) const {
    if (!isChildValid()) {
        return vesk_string();
    }
    const child& c = m_node->children[m_node->current];
    if (name == "id") {
        return vesk_string(c.id.c_str());
    }
    if (name == "value") {
        return vesk_string(c.value.c_str());
    }
    return vesk_string();
}

bool vesk_config::nextChild() noexcept {
    if (m_node->current < m_node->children.size()) {
        ++m_node->current;
    }
    return isChildValid();
}
