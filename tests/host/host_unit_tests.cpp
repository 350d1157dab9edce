#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "command_line.h"
#include "devices/router.h"
#include "recording_host_link.h"
#include "reply_ledger.h"
#include "scenario_parser.h"
#include "system_check.h"
#include "system_model.h"
#include "temp_system_tree.h"

using namespace vesk_host;

TEST(HostLinkLines, OperandsAndShapes) {
    command_line c = parseCommandLine("RC 3 12 7 ',' 0");
    EXPECT_EQ(c.verb, "RC");
    EXPECT_TRUE(c.matches("nnn?tn"));
    EXPECT_TRUE(parseCommandLine("RC 3 12 7").matches("nnn?tn"));
    EXPECT_FALSE(parseCommandLine("RC 3 x 7").matches("nnn?tn"));
    EXPECT_FALSE(parseCommandLine("RC 3 12 7 ',' 0 9").matches("nnn?tn"));

    c = parseCommandLine("TP 'text=CAM 12' '1'  'tally'");
    ASSERT_TRUE(c.matches("ttt"));
    EXPECT_EQ(c.text(0), "text=CAM 12");
    EXPECT_EQ(c.text(2), "tally");
    EXPECT_TRUE(parseCommandLine("TP '' '1' 'tally'").matches("ttt"));

    // An unescaped quote inside a text splits it; an unclosed one is never read as a line.
    EXPECT_FALSE(parseCommandLine("NA 'it's'").matches("t"));
    EXPECT_FALSE(parseCommandLine("SD 'router1").matches("t"));
    EXPECT_FALSE(parseCommandLine("RU 99999999999").matches("n"));
    EXPECT_TRUE(parseCommandLine("RU -1").matches("n"));
}

TEST(HostLinkLedger, EveryReplyBackExactlyOnce) {
    for (reply_ledger::on_release released :
         {reply_ledger::on_release::poison, reply_ledger::on_release::free}) {
        SCOPED_TRACE(released == reply_ledger::on_release::free ? "freed" : "poisoned");
        reply_ledger ledger(released);
        EXPECT_EQ(ledger.takeBack(nullptr), "");
        EXPECT_EQ(ledger.handedOutText(nullptr), nullptr);

        char* reply = ledger.handOut("3 0", "SD 'router1'");
        EXPECT_STREQ(reply, "3 0");
        char* kept = ledger.handOut("CAM 1", "RN 3 0 1");
        char* ack = ledger.acknowledge("PS '1' 'main'");
        ASSERT_NE(ack, nullptr);

        EXPECT_EQ(ledger.takeBack(reply), "");
        if (released == reply_ledger::on_release::poison) {
            EXPECT_STRNE(reply, "3 0") << "a released reply is overwritten";
        }
        ASSERT_NE(ledger.handedOutText(reply), nullptr);
        EXPECT_EQ(*ledger.handedOutText(reply), "3 0") << "the text as it was handed out";
        EXPECT_EQ(ledger.takeBack(reply), "released the reply \"3 0\" to \"SD 'router1'\" 2 times");

        char foreign[] = "3 0";
        EXPECT_EQ(ledger.handedOutText(foreign), nullptr);
        EXPECT_EQ(ledger.takeBack(foreign), "released a pointer the host never handed out");
        EXPECT_NE(ledger.takeBack(ack).find("acknowledgement of \"PS '1' 'main'\""),
                  std::string::npos);

        std::vector<std::string> leaks = ledger.unreleased();
        ASSERT_EQ(leaks.size(), 1u);
        EXPECT_EQ(leaks[0], "never released the reply \"CAM 1\" to \"RN 3 0 1\"");
        EXPECT_TRUE(ledger.unreleased().empty()) << "each leak is reported once";
        EXPECT_EQ(ledger.takeBack(kept), "");
    }
}

// The tests' link keeps its books in the ledger: each unsound use is reported, and a leak is
// reported by every check, not only the first.
TEST(RecordingHostLink, ReportsEveryUnsoundUse) {
    struct row {
        const char* what;
        void (*use)(recording_host_link& link);
        const char* reported; // empty: sound
    };
    const row table[] = {
        {"reply released once",
         [](recording_host_link& link) {
             link.callback(link.callback(const_cast<char*>("SD 'a'"), VESK_LINK_SEND),
                           VESK_LINK_RELEASE);
         },
         ""},
        {"null released",
         [](recording_host_link& link) { link.callback(nullptr, VESK_LINK_RELEASE); }, ""},
        {"reply kept",
         [](recording_host_link& link) {
             link.callback(const_cast<char*>("SD 'a'"), VESK_LINK_SEND);
         },
         "never released the reply \"3 0\" to \"SD 'a'\""},
        {"reply released twice",
         [](recording_host_link& link) {
             char* reply = link.callback(const_cast<char*>("SD 'a'"), VESK_LINK_SEND);
             link.callback(reply, VESK_LINK_RELEASE);
             link.callback(reply, VESK_LINK_RELEASE);
         },
         "2 times"},
        {"acknowledgement released",
         [](recording_host_link& link) {
             link.callback(link.callback(const_cast<char*>("PS '1' 'main'"), VESK_LINK_SEND),
                           VESK_LINK_RELEASE);
         },
         "acknowledgement of \"PS '1' 'main'\""},
        {"foreign pointer released",
         [](recording_host_link& link) {
             static char foreign[] = "3 0";
             link.callback(foreign, VESK_LINK_RELEASE);
         },
         "never handed out"},
        {"unexpected kind",
         [](recording_host_link& link) { link.callback(nullptr, VESK_EVENT_BUTTON); },
         "unexpected kind"},
    };
    for (const row& r : table) {
        SCOPED_TRACE(r.what);
        recording_host_link link;
        link.answer("SD", "3 0");
        link.acknowledge("PS");
        r.use(link);
        for (int check = 0; check < 2; ++check) {
            ::testing::AssertionResult books = link.eachReplyReleasedOnce();
            if (*r.reported == '\0') {
                EXPECT_TRUE(books);
            } else {
                EXPECT_FALSE(books);
                EXPECT_NE(std::string(books.message()).find(r.reported), std::string::npos)
                    << books.message();
            }
        }
    }
}

// A reply never taken back is reported where it was asked for, not where the script went.
TEST(HostLinkLedger, LeaksAtTheLineThatAskedForThem) {
    reply_ledger ledger;
    ledger.handOut("before", "SD 'a'");
    ledger.at("run.scenario:4");
    ledger.handOut("kept", "RN 3 0 1");
    char* back = ledger.handOut("back", "RN 3 0 2");
    ledger.at("run.scenario:9");
    ledger.acknowledge("PS '1' 'main'");
    ledger.handOut("later", "TG 'x'");
    ledger.at("run.scenario:12");
    EXPECT_EQ(ledger.takeBack(back), "");

    std::vector<reply_ledger::unreleased_reply> leaks = ledger.unreleasedReplies();
    ASSERT_EQ(leaks.size(), 3u);
    EXPECT_EQ(leaks[0].where, "");
    EXPECT_EQ(leaks[1].where, "run.scenario:4");
    EXPECT_EQ(leaks[1].what, "never released the reply \"kept\" to \"RN 3 0 1\"");
    EXPECT_EQ(leaks[2].where, "run.scenario:9");
    EXPECT_TRUE(ledger.unreleasedReplies().empty()) << "each leak is reported once";
    EXPECT_TRUE(ledger.unreleased().empty()) << "by either call";
}

TEST(ScenarioLines, WellFormedLinesAndTheirParts) {
    step s;
    std::string error;
    EXPECT_FALSE(parseStep("   ", s, error));
    EXPECT_TRUE(error.empty());

    ASSERT_TRUE(parseStep("@left press 1 'my button' state.on=1", s, error)) << error;
    EXPECT_EQ(s.target, "left");
    ASSERT_NE(s.command, nullptr);
    EXPECT_STREQ(s.command->name, "press");
    EXPECT_EQ(s.words, (std::vector<std::string>{"1", "my button"}));
    EXPECT_EQ(s.text, "state.on=1");

    ASSERT_TRUE(parseStep("parent return=all\\nmore\\\\x\\y", s, error)) << error;
    EXPECT_EQ(s.text, "return=all\nmore\\x\\y");

    ASSERT_TRUE(parseStep("expect sent TP 'text=a\\nb' '1' 'tally'  ", s, error)) << error;
    EXPECT_EQ(s.text, "TP 'text=a\\nb' '1' 'tally'") << "lines are compared as written";

    ASSERT_TRUE(parseStep("expect control 1 tally text=CAM = 12", s, error)) << error;
    EXPECT_EQ(s.words, (std::vector<std::string>{"1", "tally", "text"}));
    EXPECT_EQ(s.text, "CAM = 12");

    ASSERT_TRUE(parseStep("revertive -3 7", s, error)) << error;
    EXPECT_EQ(s.numbers, (std::vector<long long>{-3, 7}));
    EXPECT_FALSE(s.hasText);
}

TEST(ScenarioLines, MalformedLinesSayWhatIsWrong) {
    const struct {
        const char* line;
        const char* error;
    } rows[] = {
        {"frobnicate 1", "unknown command 'frobnicate'"},
        {"advance -5", "'-5' is not a number of milliseconds"},
        {"advance 1e3", "'1e3' is not a number of milliseconds"},
        {"route 3 1", "too few arguments (route DEVICE SOURCE DESTINATION)"},
        {"route 3 1 2 4", "unexpected '4' at the end"},
        {"timer 99999999999", "'99999999999' is not a whole number"},
        {"press 1", "too few arguments (press PANEL CONTROL [CAPTION])"},
        {"press 'unclosed 1", "a quote is never closed"},
        {"destroy now", "unexpected 'now' at the end"},
        {"@ press 1 x", "'@' needs a script name"},
        {"expect", "expect what?"},
        {"expect sent", "text missing (expect sent LINE)"},
        {"expect nothing", "'nothing' goes with 'sent'"},
        {"expect no reply", "'no' goes with 'answer' or 'debug'"},
        {"expect control 1 tally text", "the property is written NAME=VALUE"},
        {"expect control 1 tally =x", "the property is written NAME=VALUE"},
        {"expect panel 1 shut", "a panel is 'open FILE' or 'closed'"},
        {"expect panel 1 open", "too few arguments"},
        {"expect timer 1 paused", "a timer is 'running' or 'stopped'"},
        {"expect crosspoint 3 x 7", "'x' is not a whole number"},
        {"expect lines PD '1'", "unknown expectation 'lines'"},
        // A slip of a letter or two is named; a word unlike any command is not guessed at.
        {"presss 1 button", "unknown command 'presss'; did you mean 'press'?"},
        {"advnace 10", "unknown command 'advnace'; did you mean 'advance'?"},
        {"exepct sent PD '1'", "unknown command 'exepct'; did you mean 'expect'?"},
        {"expect snet PD '1'", "unknown expectation 'snet'; did you mean 'sent'?"},
        {"expect contorl 1 x a=b", "unknown expectation 'contorl'; did you mean 'control'?"},
        {"frobnicate 1", "unknown command 'frobnicate' (\"help\" lists the commands)"},
        {"expect xy", "unknown expectation 'xy'"},
    };
    for (const auto& row : rows) {
        step s;
        std::string error;
        EXPECT_FALSE(parseStep(row.line, s, error)) << row.line;
        EXPECT_NE(error.find(row.error), std::string::npos)
            << row.line << "\n  gave: " << error << "\n  wanted: " << row.error;
    }
}

TEST(SystemFiles, RoutersFromTheirDeviceFiles) {
    temp_system_tree tree("studio");
    tree.writeFile("dev_042.ini", "[Sources]\n1=CAM 1\n5 = \"VT 1\"\n[Destinations]\n2=MON\n"
                                  "[Crosspoints]\n2=5\n1=9\nx=1\n");
    tree.writeFile("dev_1000.ini", "[Database]\nDatabaseSize_0=3\nDatabaseSize_1=1\n");
    system_model system(tree.root() + "/studio");

    router* r = system.findAs<router>(42);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->sources, 5) << "without sizes, the highest name counts";
    EXPECT_EQ(r->destinations, 2);
    EXPECT_EQ(r->sourceName(5), "VT 1");
    EXPECT_EQ(r->sourceName(3), "Source 3");
    EXPECT_EQ(r->crosspoints[2], 5);
    EXPECT_EQ(r->crosspoints[1], 1) << "a start state outside the router is ignored";
    EXPECT_EQ(r->indexOf(0, "VT 1"), 5);
    EXPECT_EQ(r->indexOf(1, "VT 1"), 0);

    ASSERT_NE(system.findAs<router>(1000), nullptr);
    EXPECT_EQ(system.findAs<router>(1000)->sources, 3);
    EXPECT_EQ(system.find(7), nullptr);
    EXPECT_EQ(system.find(-1), nullptr);
    EXPECT_EQ(system_model("").find(42), nullptr);
}

TEST(SystemFiles, PanelFieldsStayInsideThePanelsFolder) {
    temp_system_tree tree("studio");
    std::string panels = tree.root() + "/studio/panels";
    std::filesystem::create_directories(panels + "/sub");
    std::ofstream(panels + "/sub/main.ini") << "[b]\ntext=x\n";
    std::ofstream(tree.root() + "/outside.ini") << "[secret]\nkey=1\n";
    system_model system(tree.root() + "/studio");

    panel_layout layout;
    std::string why;
    EXPECT_TRUE(system.loadPanel("sub\\main", layout, why)) << why;
    EXPECT_TRUE(system.loadPanel("sub/main.ini", layout, why)) << why;
    ASSERT_EQ(layout.controls.size(), 1u);
    EXPECT_EQ(*layout.controls[0].property("text"), "x");
    EXPECT_EQ(layout.file, "sub/main.ini");

    for (const char* field :
         {"../../outside", "sub/../../../outside", "/etc/passwd", "C:\\x", "", "missing"}) {
        EXPECT_FALSE(system.loadPanel(field, layout, why)) << field;
        EXPECT_FALSE(why.empty()) << field;
    }
}

// Each fault of a system folder is named at its file and line; a sound folder has none.
TEST(SystemCheck, FaultsAtTheirFileAndLine) {
    const std::string device = "[Device]\nname=r\n[Database]\nDatabaseSize_0=32\n"
                               "DatabaseSize_1=4\n[Sources]\n1=CAM 1\n[Destinations]\n1=MON 1\n";
    const std::string host = "[Instances]\nmcr=3 0\n";
    const std::string settings = "[workstation_settings.12]\nmonitor=1\n";
    const struct {
        const char* what;
        std::string file;
        std::string content;
        std::string workstation;
        std::string finding; // empty: the folder is sound
    } cases[] = {
        {"sound", "dev_003.ini", device, "12", ""},
        // The host reads a value without its double quotes; so does the check.
        {"quoted values", "host.ini", "[Instances]\nmcr=\"3 0\"\n", "12", ""},
        {"misspelt section", "dev_003.ini", device + "[Source]\n2=CAM 2\n", "12",
         "dev_003.ini:10: unknown section [Source]; did you mean [Sources]?"},
        {"unclosed section", "dev_003.ini", device + "[Crosspoints\n", "12",
         "dev_003.ini:10: section header [Crosspoints is never closed with ]"},
        {"unknown key", "dev_003.ini", "[Device]\ntitle=x\n" + device.substr(9), "12",
         "dev_003.ini:2: unknown key 'title' in [Device]"},
        {"switch delay not a number", "dev_003.ini",
         "[Device]\nname=r\nswitch_delay=1s\n" + device.substr(16), "12",
         "dev_003.ini:3: switch_delay '1s' is not a whole number of milliseconds"},
        {"switch delay", "dev_003.ini", "[Device]\nname=r\nswitch_delay=40\n" + device.substr(16),
         "12", ""},
        {"section twice", "dev_003.ini", device + "[Device]\nname=s\n", "12",
         "dev_003.ini:10: [Device] again: only the first, at line 1, is read"},
        {"missing section", "dev_003.ini", "[Device]\nname=r\n[Sources]\n1=a\n", "12",
         "dev_003.ini: has no [Destinations] section"},
        {"crosspoint to no source", "dev_003.ini", device + "[Crosspoints]\n1=999\n", "12",
         "dev_003.ini:11: crosspoint 1=999: the router has sources 1 to 32"},
        {"crosspoint to no destination", "dev_003.ini", device + "[Crosspoints]\n9=1\n", "12",
         "dev_003.ini:11: crosspoint 9=1: the router has destinations 1 to 4"},
        {"name beyond the database", "dev_003.ini",
         device.substr(0, device.find("[Destinations]")) + "40=x\n" +
             device.substr(device.find("[Destinations]")),
         "12", "dev_003.ini:8: source 40 is beyond the database size 32"},
        {"second section later", "dev_003.ini", device + "[Crosspoints]\n[Sources]\n", "12",
         "dev_003.ini:11: [Sources] again: only the first, at line 6, is read"},
        {"key outside a section", "dev_003.ini", "name=r\n" + device, "12",
         "dev_003.ini:1: key 'name' comes before any [section]"},
        {"instance of no device", "host.ini", "[Instances]\nmcr=9 0\n", "12",
         "host.ini:2: instance mcr names device 9, which has no dev_009.ini"},
        {"instance not device offset", "host.ini", "[Instances]\nmcr=three\n", "12",
         "host.ini:2: instance mcr=three is not 'device offset'"},
        {"workstation without settings", "host.ini", host, "99",
         "configdb.ini: workstation 99 has no settings ([workstation_settings.99])"},
        {"workstation not a number", "host.ini", host, "0",
         "workstation '0' is not a workstation number (1 and up)"},
        {"unknown node", "configdb.ini", settings + "[workstation.12]\n", "12",
         "configdb.ini:3: unknown section [workstation.12]"},
        {"stray file", "notes.ini", "[x]\n", "12", "notes.ini: is not a file of a system"},
        {"text device", "dev_020.ini",
         "[Device]\nkind=text\n[Database]\nDatabaseSize_0=8\n[Slots]\n1=ON AIR\n", "12", ""},
        {"state device", "dev_030.ini", "[Device]\nkind=state\n[States]\n2=on\n3=0\n", "12", ""},
        {"slot beyond the database", "dev_020.ini",
         "[Device]\nkind=text\n[Database]\nDatabaseSize_0=8\n[Slots]\n9=x\n", "12",
         "dev_020.ini:6: slot 9 is beyond the database size 8"},
        {"state neither on nor off", "dev_030.ini", "[Device]\nkind=state\n[States]\n2=yes\n", "12",
         "dev_030.ini:4: state 2=yes is not on, off, 1 or 0 (it is read as off)"},
        {"router section on a text device", "dev_020.ini", "[Device]\nkind=text\n[Sources]\n1=x\n",
         "12", "dev_020.ini:3: unknown section [Sources]"},
        {"unknown kind", "dev_020.ini", "[Device]\nkind=Text\n" + device.substr(9), "12",
         "dev_020.ini:2: kind 'Text' is not router, text or state (it is read as a router)"},
    };
    for (const auto& c : cases) {
        temp_system_tree tree;
        tree.writeFile("dev_003.ini", device);
        tree.writeFile("host.ini", host);
        tree.writeConfigDb(settings);
        tree.writeFile(c.file, c.content);
        std::string dir = tree.root() + "/" + tree.system();
        std::string all;
        for (const system_finding& f : checkSystem(dir, c.workstation)) {
            all += f.text() + "\n";
        }
        if (c.finding.empty()) {
            EXPECT_EQ(all, "") << c.what;
        } else {
            EXPECT_NE(all.find(c.finding), std::string::npos) << c.what << ":\n" << all;
            // Only the one fault: the others would be noise around it.
            EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1) << c.what << ":\n" << all;
        }
    }
}

TEST(SystemCheck, FoldersOneLevelOffAndEmpty) {
    temp_system_tree tree;
    tree.writeFile("host.ini", "[Host]\ninfo=x\n");
    std::string system = tree.root() + "/" + tree.system();
    auto only = [](const std::vector<system_finding>& findings) {
        return findings.size() == 1 ? findings[0].text() : std::string("several findings");
    };
    EXPECT_NE(only(checkSystem(system + "/config", "")).find("has no config/system folder; "),
              std::string::npos);
    EXPECT_NE(only(checkSystem(tree.root(), "")).find("is that the system folder?"),
              std::string::npos);
    EXPECT_NE(only(checkSystem(system + "/missing", "")).find("is not a folder"),
              std::string::npos);
    std::filesystem::remove(tree.configDir() + "/host.ini");
    EXPECT_NE(only(checkSystem(system, "")).find("holds no INI files"), std::string::npos);
}

namespace {

// A line made from a command's form, with a sample for each argument.
std::string sampleLine(const scenario_command& c) {
    std::string line = c.name;
    for (const std::string& token : formTokens(c.form)) {
        line += " ";
        line += token == "w"             ? "word"
                : token == "i"           ? "-7"
                : token == "m"           ? "250"
                : token == "p"           ? "name=value"
                : isArgumentToken(token) ? "some text"
                                         : token;
    }
    return line;
}

} // namespace

TEST(ScenarioCommands, EveryRowIsReachableFromItsOwnForm) {
    const std::vector<scenario_command>& commands = scenarioCommands();
    ASSERT_FALSE(commands.empty());
    for (const scenario_command& c : commands) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.run, nullptr);
        EXPECT_EQ(std::string(c.usage).compare(0, std::strlen(c.name), c.name), 0)
            << "the usage starts with the name";
        std::vector<std::string> tokens = formTokens(c.form);
        for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
            bool takesRest = isArgumentToken(tokens[i]) && tokens[i] != "w" && tokens[i] != "i" &&
                             tokens[i] != "m";
            EXPECT_FALSE(takesRest) << "only the last argument may take the rest of the line";
        }
        step s;
        std::string error;
        ASSERT_TRUE(parseStep(sampleLine(c), s, error)) << sampleLine(c) << ": " << error;
        EXPECT_EQ(s.command, &c) << sampleLine(c);
        EXPECT_EQ(s.isExpectation(), c.role == scenario_role::expectation);
    }
}

// The scenario parser's fuzzer reaches a command only when its dictionary holds the command's
// words: a new command missing from it would go unfuzzed without failing anything.
TEST(ScenarioCommands, TheFuzzDictionaryHoldsEveryKeyword) {
    std::ifstream in(SCENARIO_DICTIONARY);
    ASSERT_TRUE(in) << SCENARIO_DICTIONARY;
    std::vector<std::string> entries;
    for (std::string line; std::getline(in, line);) {
        entries.push_back(line);
    }
    for (const scenario_command& c : scenarioCommands()) {
        std::vector<std::string> words = formTokens(c.name);
        for (const std::string& token : formTokens(c.form)) {
            if (!isArgumentToken(token)) {
                words.push_back(token);
            }
        }
        for (const std::string& word : words) {
            EXPECT_NE(std::find(entries.begin(), entries.end(), "\"" + word + "\""), entries.end())
                << "\"" << word << "\" of " << c.usage << " is not in " << SCENARIO_DICTIONARY;
        }
    }
}

TEST(ScenarioCommands, ExpectationsAndEventsKeepTheirReadings) {
    const struct {
        const char* line;
        const char* command;
        std::vector<std::string> words;
        std::vector<long long> numbers;
    } rows[] = {
        {"expect panel 1 open main", "expect panel", {"1", "main"}, {}},
        {"expect panel 1 closed", "expect panel", {"1"}, {}},
        {"expect timer 3 running", "expect timer", {}, {3}},
        {"expect no debug", "expect no debug", {}, {}},
        {"expect nothing sent", "expect nothing sent", {}, {}},
        {"@b create", "create", {}, {}},
        {"advance 1000000000000", "advance", {}, {1000000000000LL}},
    };
    for (const auto& row : rows) {
        step s;
        std::string error;
        ASSERT_TRUE(parseStep(row.line, s, error)) << row.line << ": " << error;
        EXPECT_STREQ(s.command->name, row.command) << row.line;
        EXPECT_EQ(s.words, row.words) << row.line;
        EXPECT_EQ(s.numbers, row.numbers) << row.line;
    }
    step s;
    std::string error;
    ASSERT_TRUE(parseStep("expect timer 3 stopped", s, error));
    EXPECT_STREQ(s.command->usage, "expect timer ID stopped") << "the keyword chooses the row";
    ASSERT_TRUE(parseStep("# expect nothing", s, error));
    EXPECT_TRUE(s.isComment());
}

TEST(SystemFiles, DevicesOfEachKind) {
    temp_system_tree tree("studio");
    tree.writeFile("dev_020.ini", "[Device]\nkind=text\n[Database]\nDatabaseSize_0=4\n"
                                  "[Slots]\n2=cue\n9=outside\n");
    tree.writeFile("dev_030.ini", "[Device]\nkind=state\n[States]\n3=1\n5=0\n");
    tree.writeFile("dev_003.ini", "[Sources]\n1=CAM 1\n[Destinations]\n1=MON\n");
    system_model system(tree.root() + "/studio");

    const struct {
        int device;
        const char* kind; // null: no such device
    } rows[] = {{20, "text"}, {30, "state"}, {3, "router"}, {7, nullptr}};
    for (const auto& row : rows) {
        const device* d = system.find(row.device);
        ASSERT_EQ(d != nullptr, row.kind != nullptr) << row.device;
        if (d != nullptr) {
            EXPECT_STREQ(d->type().name, row.kind) << row.device;
        }
        EXPECT_EQ(system.findAs<router>(row.device) != nullptr,
                  row.kind != nullptr && std::string(row.kind) == "router")
            << row.device;
    }
    const device& text = *system.find(20);
    std::string said;
    EXPECT_EQ(text.size(), 4) << "the database size wins over the highest slot named";
    EXPECT_TRUE(text.report(2, said));
    EXPECT_EQ(said, "cue");
    EXPECT_TRUE(text.report(1, said));
    EXPECT_EQ(said, "");
    EXPECT_EQ(text.recorded().count(9), 0u) << "a start text outside the device is dropped";
    const device& state = *system.find(30);
    EXPECT_EQ(state.size(), 5) << "without a size, the highest index named counts";
    EXPECT_TRUE(state.holds(3));
    EXPECT_FALSE(state.holds(5));
    EXPECT_FALSE(state.holds(4));
}
