// The dispatcher as a whole: random event kinds and arguments, built as a host builds them,
// into the real follow script through its export or into a script whose handlers call random
// command operations, while the host answers at random. Checked: no field count above 32, no
// result but for parent text, every parent answer a fresh text freed when handed back, every
// host reply handed back exactly once, "AS" last, and operands reaching their lines literally.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "env_guard.h"
#include "fuzz_host_link.h"
#include "fuzz_input.h"
#include "host_verbs.h"
#include "temp_system_tree.h"
#include "vesk_script_export.h"
#include "vesk_script_helper.h"

namespace {

// A configuration database for workstation 12, made once per process and removed at its
// exit, so the follow script has a monitor and the configuration reads find something.
void makeSystemTree() {
    static temp_system_tree tree;
    static env_guard env;
    static bool made = false;
    if (made) {
        return;
    }
    made = true;
    tree.writeConfigDb("[workstation_settings.12]\nmonitor=7\npanel=main\nmonitor=8\n\n"
                       "[object_settings.cam1]\nid=1\n\n[workstations.12]\nuser=op1\n\n"
                       "[users.op1]\nlevel=Supervisor\n");
    tree.writeFile("dev_003.ini", "[Database]\nDatabaseSize_1=512\n");
    tree.activate(env);
    env.set("CC_WORKSTATION", "12");
}

void checkCaption(const decodeCaptionString& caption) {
    FUZZ_CHECK(caption.subCount >= 0 && caption.subCount <= decodeCaptionString::maxSubs,
               std::to_string(caption.subCount));
}

// Decodes text that came back from the host, as the lookups do, and checks the limits.
void checkDecodings(const vesk_string& text) {
    decodeVESKString reply(text, '\'');
    FUZZ_CHECK(reply.count >= 0 && reply.count <= decodeVESKString::maxTokens,
               std::to_string(reply.count));
    for (const char* token : reply.tokens) {
        FUZZ_CHECK(token != nullptr, "null token");
    }
    checkCaption(decodeCaptionString(text));
}

// The texts a script passes as operands, a few of which mean something to the host.
vesk_string operand(fuzz_input& in) {
    static const char* const known[] = {"1",   "button", "m", "tally", "router1", "all", "%1",
                                        "a%1", "it's",   "",  "text",  "%",       "'"};
    if (in.flag()) {
        return known[in.below(sizeof known / sizeof known[0])];
    }
    std::string text = in.text(300);
    return vesk_string(text.c_str());
}

void check(const std::string& line, const vesk_string& text) {
    FUZZ_CHECK(line.find(text.c_str()) != std::string::npos,
               "operand [" + std::string(text.c_str()) + "] not in [" + line + "]");
}

void check(const std::string& line, int number) {
    std::string token = " " + std::to_string(number);
    std::size_t at = line.find(token);
    while (at != std::string::npos && at + token.size() < line.size() &&
           line[at + token.size()] != ' ') {
        at = line.find(token, at + 1);
    }
    FUZZ_CHECK(at != std::string::npos,
               "number " + std::to_string(number) + " not in [" + line + "]");
}

// A script whose every handler runs a few command operations chosen by the input, and checks
// that each operand reaches the line that went out.
class command_script : public vesk_script_helper {
public:
    command_script(vesk_client_callback* hostLink, fuzz_host_link* books, fuzz_input& in)
        : vesk_script_helper(hostLink, "panels"), m_books(books), m_in(in) {}

    void buttonCallback(buttonNotify* notify) override {
        notify->dump("fuzz");
        (void)notify->panel();
        (void)notify->id();
        run();
    }
    void revertiveCallback(revertiveNotify* notify) override {
        (void)notify->info();
        run();
    }
    vesk_string parentCallback(parentNotify* notify) override {
        notify->dump(m_in.flag() ? "fuzz" : nullptr);
        run();
        // Sometimes long, sometimes empty, sometimes holding a placeholder.
        switch (m_in.below(4)) {
        case 0:
            return vesk_string();
        case 1:
            return notify->command() + "." + notify->value();
        case 2:
            return vesk_string(std::string(m_in.below(200) * 17, 'x').c_str());
        default:
            return vesk_string("%1=%2").arg(notify->command()).arg(notify->value());
        }
    }
    void timerCallback(int) override { run(); }
    void hostCallback(hostNotify*) override { run(); }
    void secondaryRevertiveCallback(revertiveNotify* notify) override {
        (void)notify->device();
        run();
    }

    // The operands of one operation; the texts may hold blanks, quotes and placeholders.
    struct operands {
        vesk_string a, b, c;
        int x, y, z;
        bool f;
        vesk_string out;
    };
    using op = void (*)(command_script&, operands&);

    vesk_client_callback* hostLink() const { return link; }
    fuzz_host_link& books() const { return *m_books; }

    // The line must start with the operation's verb, and its operands must reach it as they
    // were given: texts anywhere in it, numbers as blank-separated tokens.
    template <class... Values> void sent(const Values&... values) {
        if (link == nullptr) {
            return;
        }
        FUZZ_CHECK(m_books->lines() > m_linesBefore, "no line was sent");
        if (*m_verb != '\0') {
            const vesk_host::host_verb* verb = vesk_host::findVerb(m_books->lastLine().c_str());
            FUZZ_CHECK(verb != nullptr && std::strcmp(verb->verb, m_verb) == 0,
                       "[" + m_books->lastLine() + "] is not a " + m_verb + " line");
        }
        (check(m_books->lastLine(), values), ...);
    }

private:
    void run() {
        for (std::size_t n = m_in.below(4); n > 0 && !m_in.empty(); --n) {
            operation();
        }
    }
    void operation();

    fuzz_host_link* m_books;
    fuzz_input& m_in;
    long m_linesBefore = 0;
    const char* m_verb = "";
};

using S = command_script;
using O = command_script::operands;

struct command_op {
    const char* verb;
    S::op run;
};

// Every command operation, with the verb of the line it sends (null for those that send none
// of their own), and what reached the host for it. Each verb of the host's index has one at
// least; the order is the corpus's, so new operations go last.
const command_op operations[] = {
    {"PS", [](S& s, O& o) { s.panelShow(o.a, o.b, o.c), s.sent(o.a, o.b, o.c); }},
    {"PI", [](S& s, O& o) { s.sendPI(o.a, o.b, o.c), s.sent(o.a, o.b, o.c); }},
    {"PT", [](S& s, O& o) { s.sendPT(o.a, o.b), s.sent(o.a, o.b); }},
    {"PP", [](S& s, O& o) { s.sendPP(o.a, o.b, o.x, o.y, o.c), s.sent(o.a, o.c, o.x, o.y); }},
    {"PR", [](S& s, O& o) { s.sendPR(o.a), s.sent(o.a); }},
    {"PD", [](S& s, O& o) { s.panelDestroy(o.a), s.sent(o.a); }},
    {"TP", [](S& s, O& o) { s.textPut(o.a, o.b, o.c), s.sent(o.a, o.b, o.c); }},
    {"TP", [](S& s, O& o) { s.textPut(o.a, o.b, o.c, o.a), s.sent(o.a, o.b, o.c); }},
    {"TG", [](S& s, O& o) { s.textGet(o.a, o.b, o.c, o.out), checkDecodings(o.out); }},
    {"CE", [](S& s, O& o) { s.sendCE(o.a, o.b), s.sent(o.a, o.b); }},
    {"CD", [](S& s, O& o) { s.sendCD(o.a, o.b), s.sent(o.a, o.b); }},
    {"CS", [](S& s, O& o) { s.sendCS(o.a, o.b), s.sent(o.a, o.b); }},
    {"CH", [](S& s, O& o) { s.sendCH(o.a, o.b), s.sent(o.a, o.b); }},
    {"CM", [](S& s, O& o) { s.sendCM(o.a, o.b, o.x, o.y), s.sent(o.a, o.b, o.x, o.y); }},
    {"CP", [](S& s, O& o) { s.sendCP(o.a, o.b, o.out, o.c), checkDecodings(o.out), checkDecodings(o.c); }},
    {"CC", [](S& s, O& o) {
        vesk_string eighth = o.b + o.c;
        o.out = s.sendCC(o.a, o.b, o.c, o.x, o.y, o.z, o.x, eighth);
        s.sent(o.a, o.b, o.c, eighth, o.x, o.y, o.z);
        checkDecodings(o.out);
    }},
    {"CX", [](S& s, O& o) { s.sendCX(o.a, o.b), s.sent(o.a, o.b); }},
    {"RN", [](S& s, O& o) { s.sendRN(o.x, o.y, o.z, o.out), s.sent(o.x, o.y, o.z); }},
    {"RI", [](S& s, O& o) {
        const char* info = s.sendRI(o.x, o.y, o.a);
        s.sent(o.a, o.x, o.y);
        if (info != nullptr) {
            checkDecodings(info);
            // The caller of "RI" hands the reply back itself.
            s.hostLink()->callback(const_cast<char*>(info), VESK_LINK_RELEASE);
        }
    }},
    {"RC", [](S& s, O& o) { s.routerCrosspoint(o.x, o.y, o.z, o.a, o.f), s.sent(o.a, o.x, o.y, o.z); }},
    {"RR", [](S& s, O& o) { s.routerRegister(o.x, o.y, o.z, o.f), s.sent(o.x, o.y, o.z); }},
    {"RU", [](S& s, O& o) { s.sendRU(o.x), s.sent(o.x); }},
    {"RP", [](S& s, O& o) { s.routerPoll(o.x, o.y, o.z), s.sent(o.x, o.y, o.z); }},
    {"RQ", [](S& s, O& o) { s.sendRQ(o.x, o.y, o.z), s.sent(o.x, o.y, o.z); }},
    {"RM", [](S& s, O& o) { s.sendRM(o.x, o.y, o.z, o.a, o.f), s.sent(o.a, o.x, o.y, o.z); }},
    {"IR", [](S& s, O& o) { s.sendIR(o.x, o.y, o.z, o.f), s.sent(o.x, o.y, o.z); }},
    {"IU", [](S& s, O& o) { s.sendIU(o.x), s.sent(o.x); }},
    {"IP", [](S& s, O& o) { s.sendIP(o.x, o.y, o.z), s.sent(o.x, o.y, o.z); }},
    {"IQ", [](S& s, O& o) { s.sendIQ(o.x, o.y, o.z), s.sent(o.x, o.y, o.z); }},
    {"IW", [](S& s, O& o) { s.sendIW(o.x, o.a, o.y, o.f), s.sent(o.a, o.x, o.y); }},
    {"GR", [](S& s, O& o) { s.sendGR(o.x, o.y, o.z, o.f), s.sent(o.x, o.y, o.z); }},
    {"GU", [](S& s, O& o) { s.sendGU(o.x), s.sent(o.x); }},
    {"GP", [](S& s, O& o) { s.sendGP(o.x, o.y, o.z), s.sent(o.x, o.y, o.z); }},
    {"GQ", [](S& s, O& o) { s.sendGQ(o.x, o.y, o.z), s.sent(o.x, o.y, o.z); }},
    {"GS", [](S& s, O& o) { s.sendGS(o.x, o.f, o.y, !o.f), s.sent(o.x, o.y); }},
    {"ET", [](S& s, O& o) { s.timerStart(o.x, o.y), s.sent(o.x); }},
    {"ET", [](S& s, O& o) { s.timerStop(o.x), s.sent(o.x); }},
    {"ES", [](S& s, O& o) { s.sendES(o.x, o.y), s.sent(o.x, o.y); }},
    {"ES", [](S& s, O& o) { s.sendES(o.a), s.sent(o.a); }},
    {"EG", [](S& s, O& o) { s.sendEG(o.x, o.y, o.z, o.x), s.sent(o.x, o.y, o.z); }},
    {"EC", [](S& s, O& o) { s.sendEC(o.f, o.a, o.b), s.sent(o.a, o.b); }},
    {"HN", [](S& s, O& o) { s.sendHN(o.a), s.sent(o.a); }},
    {"HG", [](S& s, O& o) { s.sendHG(o.a, o.b), s.sent(o.a, o.b); }},
    {"HH", [](S& s, O& o) { s.sendHH(o.a), s.sent(o.a); }},
    {"HP", [](S& s, O& o) { s.sendHP(o.a, o.b), s.sent(o.a, o.b); }},
    {"HQ", [](S& s, O& o) { s.sendHQ(o.a, o.b), s.sent(o.a, o.b); }},
    {"NA", [](S& s, O& o) { s.sendNA(o.a), s.sent(o.a); }},
    {"NX", [](S& s, O& o) { s.sendNX(o.a), s.sent(o.a); }},
    {"NIX", [](S& s, O& o) { s.sendNIX(o.a), s.sent(o.a); }},
    {"NIA", [](S& s, O& o) { s.sendNIA(o.a), s.sent(o.a); }},
    {"SS", [](S& s, O& o) {
        int device = 1, index = 2;
        char type = 'Z';
        s.slotLookup(o.a, o.b, o.out, o.f ? &device : nullptr, &index, o.f ? nullptr : &type);
        s.sent(o.a, o.b);
    }},
    {"SS", [](S& s, O& o) {
        int device = 1, index = 2;
        char type = 'Z';
        s.slotLookup(o.a, o.b, &device, &index, o.f ? &type : nullptr);
    }},
    {"SD", [](S& s, O& o) {
        int device = 1, offset = 2;
        s.instanceLookup(o.a, &device, o.f ? &offset : nullptr);
        s.sent(o.a);
    }},
    {"XI", [](S& s, O& o) {
        for (vesk_string& item : s.controlList(o.a, o.b)) {
            checkDecodings(item);
        }
    }},
    {"AS", [](S& s, O& o) { s.sendAS(o.a), s.sent(o.a); }},
    {"AD", [](S& s, O& o) { s.sendAD(o.a), s.sent(o.a); }},
    {"AP", [](S& s, O& o) { s.sendAP(o.a, o.x), s.sent(o.a, o.x); }},
    {"AP", [](S& s, O& o) { s.sendAP(o.a, o.b, o.x), s.sent(o.a, o.b, o.x); }},
    {nullptr, [](S& s, O&) { s.enableAlarmHandling(); }},
    {nullptr, [](S& s, O& o) { s.alarmAction(o.a); }},
    {nullptr, [](S& s, O& o) { o.x = s.workstationNumber() + s.databaseSize(o.x, o.y) + s.userLevel(); }},
    {"HI", [](S& s, O& o) { o.out = s.hostInfo(), checkDecodings(o.out); }},
    {nullptr, [](S& s, O& o) { o.out = s.workstationSetting(o.a) + s.objectSetting(o.a, o.b); }},
    {nullptr, [](S& s, O& o) { o.out = s.workstationSettings().toString(',') + s.workstationUser(); }},
    {nullptr, [](S& s, O& o) { o.out = s.userLevelText(); }},
    {nullptr, [](S& s, O& o) { s.debug(o.a), s.debug(o.a, o.b, o.c, "", "%1", o.a); }},
    {nullptr, [](S& s, O& o) {
        // Any text may go out as a line; its answer is then neither read nor released.
        s.books().nextAnswerIgnored();
        sendCommand(&s, o.a);
        s.sent(o.a);
    }},
};

const std::size_t operationCount = sizeof operations / sizeof operations[0];

// A verb the host knows and no operation sends, or an operation whose verb the host does not
// know, means the index and this list have drifted apart.
void checkOperationsCoverTheVerbs() {
    for (const vesk_host::host_verb& v : vesk_host::hostVerbs) {
        bool covered = false;
        for (const command_op& op : operations) {
            covered = covered || (op.verb != nullptr && std::strcmp(op.verb, v.verb) == 0);
        }
        FUZZ_CHECK(covered, std::string("no operation sends ") + v.verb);
    }
    for (const command_op& op : operations) {
        FUZZ_CHECK(op.verb == nullptr || vesk_host::findVerb(op.verb) != nullptr,
                   std::string(op.verb) + " is not in the host's verb index");
    }
}

void command_script::operation() {
    m_linesBefore = m_books->lines();
    operands o{operand(m_in), operand(m_in), operand(m_in), m_in.number(),
               m_in.number(), m_in.number(), m_in.flag(),   vesk_string("kept")};
    const command_op& chosen = operations[m_in.below(operationCount)];
    m_verb = chosen.verb != nullptr ? chosen.verb : "";
    chosen.run(*this, o);
}

// What the host hands the script for one event; it lives until the call returns.
struct host_event {
    std::string panel;
    std::string id;
    std::string text;
    std::vector<std::string> subs;
    std::unique_ptr<decodeCaptionString> caption;
    vesk_host_button button{};
    vesk_host_revertive revertive{};
    int hostData = 0;
};

// A host-made caption: fields point at the host's own texts and the decoder owns nothing.
void hostCaption(fuzz_input& in, host_event& e) {
    e.caption.reset(new decodeCaptionString(nullptr));
    std::size_t count = in.below(decodeCaptionString::maxSubs + 1);
    e.subs.resize(count);
    for (std::string& sub : e.subs) {
        sub = in.text(16);
    }
    e.text = in.text(64);
    e.caption->command = e.text.c_str();
    for (std::size_t i = 0; i < count; ++i) {
        e.caption->subs[i] = e.subs[i].c_str();
    }
    e.caption->subCount = static_cast<int>(count);
    e.caption->value = e.id.c_str();
    e.caption->hasValue = true;
}

char* buttonEvent(fuzz_input& in, host_event& e) {
    static const char* const panels[] = {"1", "2", "01", ""};
    static const char* const ids[] = {"button", "m", "ActionAll", "AckAll", "tally", "Button"};
    e.panel = in.flag() ? panels[in.below(4)] : in.text(16);
    e.id = in.flag() ? ids[in.below(6)] : in.text(16);
    switch (in.below(3)) {
    case 0:
        break;
    case 1:
        e.caption.reset(new decodeCaptionString(in.text(200).c_str()));
        break;
    default:
        hostCaption(in, e);
        break;
    }
    if (e.caption) {
        checkCaption(*e.caption);
    }
    e.button.w0 = in.number();
    e.button.panel = e.panel.c_str();
    e.button.id = e.id.c_str();
    e.button.caption = e.caption.get();
    return reinterpret_cast<char*>(&e.button);
}

char* revertiveEvent(fuzz_input& in, host_event& e) {
    static const int devices[] = {0, 3, 4};
    static const int indices[] = {0, 7, 8};
    e.revertive.device = in.flag() ? devices[in.below(3)] : in.number();
    e.revertive.index = in.flag() ? indices[in.below(3)] : in.number();
    e.text = in.text(300);
    e.revertive.text = in.below(8) == 0 ? nullptr : e.text.c_str();
    return reinterpret_cast<char*>(&e.revertive);
}

// Parent texts, mostly those the follow script knows.
std::string parentText(fuzz_input& in) {
    static const char* const known[] = {"instance=router1", "instance=router2", "panel=main",
                                        "source=12",        "source=5",         "return=all",
                                        "return=panel",     "_events",          "_commands",
                                        "instance",         "source=-1",        "panel"};
    if (in.flag()) {
        return known[in.below(sizeof known / sizeof known[0])];
    }
    return in.text(400);
}

// Kind 3 answers still held by the host, to be handed back later.
class held_answers {
public:
    ~held_answers() { FUZZ_CHECK(m_held.empty(), "answers left unreleased by the fuzzer"); }
    void take(char* answer, vesk_client_callback& script) {
        FUZZ_CHECK(std::strlen(answer) > 0, "an empty answer instead of null");
        for (char* other : m_held) {
            FUZZ_CHECK(other != answer, "the same block answered twice");
        }
        m_held.push_back(answer);
        if (m_held.size() > 8) {
            giveBack(0, script);
        }
    }
    void giveBack(std::size_t which, vesk_client_callback& script) {
        if (m_held.empty()) {
            FUZZ_CHECK(script.callback(nullptr, VESK_EVENT_RELEASE) == nullptr,
                       "release of null answered");
            return;
        }
        which %= m_held.size();
        char* answer = m_held[which];
        m_held.erase(m_held.begin() + static_cast<std::ptrdiff_t>(which));
        FUZZ_CHECK(script.callback(answer, VESK_EVENT_RELEASE) == nullptr, "release answered");
    }
    void giveAllBack(vesk_client_callback& script) {
        while (!m_held.empty()) {
            giveBack(0, script);
        }
    }

private:
    std::vector<char*> m_held;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool verbsChecked = (checkOperationsCoverTheVerbs(), true);
    (void)verbsChecked;
    makeSystemTree();
    fuzz_input in(data, size);
    fuzz_host_link books(in);
    const std::uint8_t setup = in.byte();
    vesk_client_callback* link = (setup & 0x10) ? nullptr : &books;

    std::unique_ptr<vesk_client_callback> script;
    if (setup & 1) {
        script.reset(new command_script(link, &books, in));
    } else {
        std::string startup = in.text(64);
        script.reset(load_vesk_client_script(link, startup.c_str()));
    }
    FUZZ_CHECK(script != nullptr, "no script");
    FUZZ_CHECK(books.lines() == 0, "lines sent during creation");

    held_answers answers;
    for (int events = 0; events < 256 && !in.empty(); ++events) {
        host_event e;
        std::uint8_t pick = in.byte();
        // Parent texts twice as often as the other kinds: they carry the most.
        int kind = pick % 10 == 9 || pick % 10 == 0 ? VESK_EVENT_PARENT : pick % 10;
        char* argument = nullptr;
        switch (kind) {
        case VESK_EVENT_REVERTIVE:
        case VESK_EVENT_SECONDARY_REVERTIVE:
            argument = in.below(16) == 0 ? nullptr : revertiveEvent(in, e);
            break;
        case VESK_EVENT_BUTTON:
            argument = in.below(16) == 0 ? nullptr : buttonEvent(in, e);
            break;
        case VESK_EVENT_PARENT: {
            e.text = parentText(in);
            argument = in.below(16) == 0 ? nullptr : &e.text[0];
            char* answer = script->callback(argument, VESK_EVENT_PARENT);
            if (answer != nullptr) {
                answers.take(answer, *script);
            }
            continue;
        }
        case VESK_EVENT_TIMER:
            argument = reinterpret_cast<char*>(static_cast<std::intptr_t>(in.number()));
            break;
        case VESK_EVENT_RELEASE:
            answers.giveBack(in.byte(), *script);
            continue;
        case VESK_EVENT_HOST:
            argument = in.flag() ? nullptr : reinterpret_cast<char*>(&e.hostData);
            break;
        case VESK_EVENT_HOST + 1:
            // Kinds the host never sends must be ignored whatever comes with them.
            kind = in.flag() ? 0 : (in.flag() ? VESK_EVENT_HOST + 1 : in.number());
            if (kind >= VESK_EVENT_REVERTIVE && kind <= VESK_EVENT_HOST) {
                kind = -kind;
            }
            argument = reinterpret_cast<char*>(&e.hostData);
            break;
        default:
            break;
        }
        FUZZ_CHECK(script->callback(argument, kind) == nullptr,
                   "kind " + std::to_string(kind) + " answered");
    }
    answers.giveAllBack(*script);
    const long linesBefore = books.lines();
    script.reset();
    if (link != nullptr) {
        FUZZ_CHECK(books.lines() == linesBefore + 1 && books.lastLine() == "AS",
                   "\"AS\" was not the last line: [" + books.lastLine() + "]");
    } else {
        FUZZ_CHECK(books.lines() == 0, "lines sent without a link");
    }
    books.checkBooks();
    return 0;
}
