// Text devices, addressed by the I-family lines: slots each holding a text (empty until
// written). Its file has [Device] kind=text, [Database] DatabaseSize_0 slots and [Slots] their
// start texts. Writes and polls reach scripts as secondary revertives (kind 6) with the text.
#include "emulated_host.h"
#include "file_check.h"
#include "scenario_parser.h"
#include "scenario_runner.h"
#include "vesk_script_export.h"

namespace vesk_host {

extern const device_type textDeviceType;

namespace {

class text_device : public device {
public:
    text_device(int number, std::string name) : device(textDeviceType, number, std::move(name)) {}

    int slots = 0;
    std::map<int, std::string> texts;

    std::string text(int index) const {
        auto found = texts.find(index);
        return found != texts.end() ? found->second : std::string();
    }

    int size() const override { return slots; }
    bool report(int index, std::string& out) const override {
        out = text(index);
        return true;
    }
    bool holds(int index) const override { return !text(index).empty(); }

    // The slot `index` takes `text`.
    bool request(const device_change& change, std::string& why) override {
        if (!validIndex(change.index)) {
            why = "text device " + std::to_string(number()) + " has slots 1 to " +
                  std::to_string(slots) + "; no slot " + std::to_string(change.index);
            return false;
        }
        texts[change.index] = change.text;
        changed(change.index, std::to_string(number()) + ": slot " + std::to_string(change.index) +
                                  " now \"" + change.text + "\"");
        return true;
    }

    std::string shown() const override {
        std::string state =
            std::to_string(number()) + " " + name() + " (" + std::to_string(slots) + " slots):";
        for (const auto& slot : texts) {
            state += "\nslot " + std::to_string(slot.first) + " \"" + slot.second + "\"";
        }
        return state;
    }

    void page(page_writer& out) const override {
        out.list("slots");
        for (int i = 1; i <= slots; ++i) {
            out.record();
            out.number("index", i);
            out.text("text", text(i));
            out.end();
        }
        out.end();
    }

    std::map<int, std::string> recorded() const override { return texts; }

    scenario_check expectation(int index) const override {
        scenario_check check;
        check.line = "expect slot " + std::to_string(number()) + " " + std::to_string(index);
        check.hasText = true;
        check.text = text(index);
        return check;
    }
};

std::unique_ptr<device> load(const std::string& path, int number, const std::string& name) {
    std::unique_ptr<text_device> t(new text_device(number, name));
    t->slots = readNumbered(path, "Slots", "DatabaseSize_0", t->texts);
    t->texts.erase(t->texts.upper_bound(t->slots), t->texts.end());
    return std::unique_ptr<device>(t.release());
}

void check(file_check& f) {
    checkOneDatabase(f, "Slots", "slot");
}

int number(const step& s, std::size_t i) {
    return static_cast<int>(s.numbers[i]);
}

void write(scenario_runner& r, const step& s, script_slot*) {
    std::string why;
    if (!r.host().change(number(s, 0), verb_family::i_family,
                         device_change{number(s, 1), 0, s.text}, why)) {
        r.fail(s, why);
    }
}

void expectSlot(scenario_runner& r, const step& s, script_slot*) {
    int device = number(s, 0);
    int slot = number(s, 1);
    std::string wanted = "expected text device " + std::to_string(device) + " slot " +
                         std::to_string(slot) + " " + shown(s.text) + ", got ";
    // Any device of the I-family lines answers.
    const vesk_host::device* found = r.host().system().findFor(verb_family::i_family, device);
    if (found == nullptr || !found->validIndex(slot)) {
        r.record(s, false, wanted + (found == nullptr ? "no such text device" : "no such slot"));
        return;
    }
    std::string text;
    found->report(slot, text);
    r.record(s, text == s.text, wanted + shown(text));
}

const scenario_command commands[] = {
    {"write", "i i o", "write DEVICE SLOT [TEXT]",
     "a text device's slot written elsewhere; registered scripts hear (kind 6)",
     scenario_role::system, write},
    {"expect slot", "i i o", "expect slot DEVICE SLOT [TEXT]",
     "the slot of the text device holds TEXT (nothing: it is empty)", scenario_role::expectation,
     expectSlot},
};

} // namespace

const device_type textDeviceType = {"text",
                                    "text device",
                                    "slot",
                                    "device",
                                    verb_family::i_family,
                                    VESK_EVENT_SECONDARY_REVERTIVE,
                                    load,
                                    check,
                                    commands,
                                    sizeof commands / sizeof commands[0]};

} // namespace vesk_host
