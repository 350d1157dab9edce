// A simulated device: one kind per file in this folder, each behind the one interface below.
// The loops that need every device (registration, polls, show, the page, the recording, the
// system check) go through the interface; only the kind's own file knows what it holds.
//
// A device's indices are numbered from 1: a router's destinations, a text device's slots, a
// state device's indices. A change is asked for and then reported: a simulated device
// reports it at once, a device whose state lives elsewhere when the change arrives.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "host_verbs.h"

namespace vesk_host {

class device;
class file_check;
struct ini_line;
struct ini_section;
struct scenario_command;

// A change asked of a device at one index. The kind reads the rest: a router's destination
// takes the source `number`, a state device's index `number` 1 (on) or 0 (off), a text
// device's slot `text`.
struct device_change {
    int index = 0;
    int number = 0;
    std::string text;
    // Filled in by the host: whether a script's line asks for it (not a change made elsewhere
    // in the system), and the virtual clock, in ms, when it is asked.
    bool byScript = false;
    long long now = 0;
};

// Hears of every change a device makes, whoever asked for it.
class device_listener {
public:
    // `said` is the change in the transcript's words ("3: Out 1 (1) now on In 2 (2)").
    virtual void deviceChanged(const device& changed, int index, const std::string& said) = 0;
    // A request that changed nothing yet: one the device makes later, or one it turned down for
    // its own state (a locked destination). For the transcript: no script hears of it.
    virtual void deviceNoted(const device&, const std::string&) {}
    virtual ~device_listener() = default;
};

// Where a device writes what the page shows of it; the page view makes JSON of it, so that the
// device never meets the format.
class page_writer {
public:
    virtual void number(const char* key, int value) = 0;
    virtual void flag(const char* key, bool value) = 0;
    virtual void text(const char* key, const std::string& value) = 0;
    // A list under `key` of plain texts (item) or of records (record ... end), closed by end().
    virtual void list(const char* key) = 0;
    virtual void item(const std::string& value) = 0;
    virtual void record() = 0;
    virtual void end() = 0;
    virtual ~page_writer() = default;
};

// The scenario line that checks one index as it is now. When `hasText`, `text` is its text
// operand, still to be written as a scenario text (it may hold what no line can).
struct scenario_check {
    std::string line;
    bool hasText = false;
    std::string text;
};

// One kind of device: a row of the table in device.cpp.
struct device_type {
    const char* name;      // [Device] kind in its file, "kind" on the page
    const char* noun;      // in notes: "router 3 has no destination"
    const char* indexWord; // what its indices are called
    const char* tag;       // its transcript entries' tag
    verb_family family;    // the lines that address it
    int revertive;         // the event kind its changes and polls reach scripts with
    // Reads a device of this kind from its file at `path`.
    std::unique_ptr<device> (*load)(const std::string& path, int number, const std::string& name);
    // Checks a device file of this kind, line by line.
    void (*check)(file_check& file);
    // Its scenario commands: changes made elsewhere in the system, then expectations.
    const scenario_command* commands;
    std::size_t commandCount;
    // Keys of its [Device] section besides name and kind, ending in null; null for none.
    const char* const* deviceKeys = nullptr;
};

class device {
public:
    device(const device_type& type, int number, std::string name)
        : m_type(type), m_number(number), m_name(std::move(name)) {}
    virtual ~device() = default;
    device(const device&) = delete;
    device& operator=(const device&) = delete;

    const device_type& type() const { return m_type; }
    int number() const { return m_number; }
    const std::string& name() const { return m_name; }
    // Null: changes go unheard.
    void listen(device_listener* listener) { m_listener = listener; }

    // Its indices run from 1 to size().
    virtual int size() const = 0;
    bool validIndex(int index) const { return index >= 1 && index <= size(); }
    // What a revertive for the index says; false when the index has nothing to report.
    virtual bool report(int index, std::string& text) const = 0;
    // Whether the index holds something: a text, an index that is on. The polls that report
    // held indices only ("IQ", "GQ") go by it.
    virtual bool holds(int index) const = 0;
    // Asks for a change; false, with `why`, when it cannot be asked of the device (an index it
    // does not have): a fault of whoever asked. A change made is reported to the listener; one
    // the device makes later, or turns down for its own state (a locked destination), is noted
    // to it, and the request gives true.
    virtual bool request(const device_change& change, std::string& why) = 0;
    // The virtual time, in ms, of the next change the device has yet to make; -1 when none.
    virtual long long nextDue() const { return -1; }
    // Makes the changes due at `now` or before, reporting them as request() does.
    virtual void makeDue(long long) {}

    // Its state for `show`, under its type's tag.
    virtual std::string shown() const = 0;
    // Its state for the page, beside the number, kind and name the page view writes.
    virtual void page(page_writer& out) const = 0;
    // What a recording compares before and after a step: the indices that hold a value and
    // what they hold. An index that leaves the map, or enters it, or changes, is checked.
    virtual std::map<int, std::string> recorded() const = 0;
    // The scenario line that checks the index as it is now.
    virtual scenario_check expectation(int index) const = 0;

protected:
    // Tells the listener of a change made.
    void changed(int index, const std::string& said) const {
        if (m_listener != nullptr) {
            m_listener->deviceChanged(*this, index, said);
        }
    }
    // Tells the listener of a request that changed nothing yet.
    void noted(const std::string& said) const {
        if (m_listener != nullptr) {
            m_listener->deviceNoted(*this, said);
        }
    }

private:
    const device_type& m_type;
    int m_number;
    std::string m_name;
    device_listener* m_listener = nullptr;
};

// Every kind, in the order the command reference and the notes list them. The first is what a
// device file without a known kind is read as.
struct device_types {
    const device_type* const* begin() const;
    const device_type* const* end() const;
};
device_types deviceTypes();
// The kind a device file names; null when there is none of that name.
const device_type* deviceTypeNamed(const std::string& name);
// The kinds' names for a note: "router, text or state".
std::string deviceTypeNames();
// What the devices a family of lines addresses are called ("router", "text"): the name of
// the first kind of the family.
const char* familyDevices(verb_family family);

// The device in the file at `path` (dev_NNN.ini); null when there is no such file. The one
// place where the kind is looked at.
std::unique_ptr<device> readDevice(const std::string& path, int number);
// Checks the device file `file`, by the kind it names.
void checkDevice(file_check& file);

// The most indices one database of a device may have, and so the most one poll reports. What
// the host keeps and shows of a device grows with its size, so a larger size is refused, by
// the system check and by a run, rather than allocated.
const int maxDatabaseSize = 65536;
// The finding for a size or an index beyond that limit.
std::string beyondLimit(const std::string& what);
// Checks a database size read from a device file: the size to check the rest of the file
// against (0 when none is given or it cannot be used).
int checkDatabaseSize(file_check& file, const ini_line& entry);

// For the kinds' files: a whole decimal number, or `fallback`.
int numberOr(const std::string& text, int fallback);
// Numbered entries of a section, and the database size when given
// (otherwise the highest number named).
int readNumbered(const std::string& path, const char* section, const char* sizeKey,
                 std::map<int, std::string>& entries);
// Numbered entries of `entries` checked against the database `size` (0: none given); the size
// they make.
int checkNumbered(file_check& file, const ini_section* entries, int size, const char* what);
// A device of one database (DatabaseSize_0) whose indices are listed in `section`; the
// section, null when absent.
const ini_section* checkOneDatabase(file_check& file, const char* section, const char* what);

} // namespace vesk_host
