// The script author's guide against the lists it describes: a command added to the scenario
// table, or an event kind added to its list, fails here until the guide names it.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "devices/device.h"
#include "scenario_parser.h"
#include "vesk_script_export.h"

using namespace vesk_host;

namespace {

using row = std::vector<std::string>;

// The guide's tables, each as its rows of cells, the header first and the |---| line left out.
std::vector<std::vector<row>> guideTables() {
    std::ifstream in(VESK_GUIDE);
    EXPECT_TRUE(in.good()) << VESK_GUIDE;
    std::vector<std::vector<row>> tables;
    bool inTable = false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] != '|') {
            inTable = false;
            continue;
        }
        if (line.compare(0, 4, "|---") == 0) {
            continue;
        }
        row cells;
        std::stringstream parts(line.substr(1));
        std::string cell;
        while (std::getline(parts, cell, '|')) {
            std::size_t begin = cell.find_first_not_of(' ');
            std::size_t end = cell.find_last_not_of(' ');
            cells.push_back(begin == std::string::npos ? std::string()
                                                       : cell.substr(begin, end - begin + 1));
        }
        if (!inTable) {
            tables.emplace_back();
            inTable = true;
        }
        tables.back().push_back(cells);
    }
    return tables;
}

// The texts in `code spans` of a cell.
std::vector<std::string> codeSpans(const std::string& cell) {
    std::vector<std::string> spans;
    for (std::size_t open = cell.find('`'); open != std::string::npos;) {
        std::size_t close = cell.find('`', open + 1);
        if (close == std::string::npos) {
            break;
        }
        spans.push_back(cell.substr(open + 1, close - open - 1));
        open = cell.find('`', close + 1);
    }
    return spans;
}

} // namespace

// Every command's usage is in one of the guide's command or expectation tables, and every
// usage there is a command's.
TEST(Guide, ScenarioTablesNameEveryCommand) {
    std::set<std::string> documented;
    for (const auto& table : guideTables()) {
        const std::string& heading = table[0].empty() ? std::string() : table[0][0];
        if (heading != "command" && heading != "expectation") {
            continue;
        }
        for (std::size_t i = 1; i < table.size(); ++i) {
            for (const std::string& usage : codeSpans(table[i][0])) {
                documented.insert(usage);
            }
        }
    }
    std::set<std::string> usages;
    for (const scenario_command& c : scenarioCommands()) {
        usages.insert(c.usage);
        EXPECT_EQ(documented.count(c.usage), 1u) << "the guide has no row for " << c.usage;
    }
    for (const std::string& usage : documented) {
        EXPECT_EQ(usages.count(usage), 1u) << "the guide names " << usage << ", no command";
    }
}

// The guide's table of event kinds is the list of event kinds, in order, with their handlers.
TEST(Guide, EventKindTableIsTheList) {
    std::vector<std::string> listed;
#define VESK_EVENT_KIND(name, value, handler, words)                                               \
    listed.push_back("VESK_EVENT_" #name " " + std::string(handler[0] != '\0' ? handler : "none"));
#include "vesk_event_kinds.def"
    std::vector<std::string> documented;
    for (const auto& table : guideTables()) {
        if (table[0].empty() || table[0][0] != "kind") {
            continue;
        }
        for (std::size_t i = 1; i < table.size(); ++i) {
            std::vector<std::string> kind = codeSpans(table[i][0]);
            std::vector<std::string> handler = codeSpans(table[i].size() > 2 ? table[i][2] : "");
            bool none = table[i].size() > 2 && table[i][2].compare(0, 4, "none") == 0;
            documented.push_back((kind.empty() ? std::string("?") : kind[0]) + " " +
                                 (none              ? "none"
                                  : handler.empty() ? "?"
                                                    : handler[0]));
        }
    }
    EXPECT_EQ(documented, listed);
}

// Every key a device kind reads from its [Device] section besides name and kind is shown in
// the guide as a line of a device file.
TEST(Guide, DeviceFileKeysAreShown) {
    std::ifstream in(VESK_GUIDE);
    ASSERT_TRUE(in.good()) << VESK_GUIDE;
    std::stringstream text;
    text << in.rdbuf();
    const std::string guide = "\n" + text.str();
    for (const device_type* type : deviceTypes()) {
        for (const char* const* k = type->deviceKeys; k != nullptr && *k != nullptr; ++k) {
            EXPECT_NE(guide.find("\n" + std::string(*k) + "="), std::string::npos)
                << "the guide shows no " << *k << "= of a " << type->name << " device file";
        }
    }
}
