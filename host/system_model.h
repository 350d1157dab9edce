// The simulated system behind the host link: router devices, the instance table, host
// information and panel layouts, read from the system folder given to vesk-host.
//
// Layout of the folder <root>/<system>:
//   config/system/configdb.ini   the configuration database (workstation settings ...)
//   config/system/dev_NNN.ini    one device; [Device] kind is router (the default), text or
//                                state, and name. A router has [Database] sizes, [Sources]
//                                and [Destinations] names, [Crosspoints] its start state; a
//                                text device (the I-family lines) DatabaseSize_0 slots and
//                                [Slots] their start texts; a state device (the G-family
//                                lines) DatabaseSize_0 indices and [States] those that are on
//   config/system/host.ini       [Host] info, [Instances] name=device offset, [Network] names
//   panels/<name>.ini            one panel layout: a section per control, keys its properties
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vesk_host {

// Sources and destinations are numbered from 1.
struct router {
    int device = 0;
    std::string name;
    int sources = 0;
    int destinations = 0;
    std::map<int, std::string> sourceNames;
    std::map<int, std::string> destinationNames;
    // Destination to source; every destination is on a source (source 1 unless the device
    // file says otherwise).
    std::map<int, int> crosspoints;

    bool validSource(int index) const { return index >= 1 && index <= sources; }
    bool validDestination(int index) const { return index >= 1 && index <= destinations; }
    std::string sourceName(int index) const;
    std::string destinationName(int index) const;
    // The index whose name is `name` in the sources (database 0) or destinations (1); 0 when
    // none.
    int indexOf(int database, const std::string& name) const;
};

// The kinds of device the lines address: each family of lines has its own.
enum class device_kind { router, text, state };
const char* deviceKindName(device_kind kind);

// Slots numbered from 1, each holding a text (empty until written).
struct text_device {
    int device = 0;
    std::string name;
    int slots = 0;
    std::map<int, std::string> texts;

    bool validSlot(int index) const { return index >= 1 && index <= slots; }
    std::string text(int index) const;
};

// Indices numbered from 1, each on or off (off until set).
struct state_device {
    int device = 0;
    std::string name;
    int indices = 0;
    std::map<int, bool> states;

    bool validIndex(int index) const { return index >= 1 && index <= indices; }
    bool on(int index) const;
};

struct control {
    std::string id;
    std::vector<std::pair<std::string, std::string>> properties;

    // Null when the property was never set.
    const std::string* property(const std::string& name) const;
    void set(const std::string& name, const std::string& value);
};

struct panel_layout {
    std::string file; // the file field as the script sent it
    std::string title;
    std::vector<control> controls;

    control* find(const std::string& id);
    const control* find(const std::string& id) const;
};

class system_model {
public:
    // `dir` is <root>/<system>; empty means a system with nothing in it.
    explicit system_model(std::string dir);

    const std::string& dir() const { return m_dir; }

    // The device with this number, read from its device file on first use; null when the
    // system has no such device or it is of another kind.
    router* findRouter(int device);
    text_device* findTextDevice(int device);
    state_device* findStateDevice(int device);
    // The kind of the device; false when the system has none with this number.
    bool kindOf(int device, device_kind& kind);

    // Every device read so far, by number.
    struct loaded_device {
        device_kind kind = device_kind::router;
        std::unique_ptr<router> asRouter;
        std::unique_ptr<text_device> asText;
        std::unique_ptr<state_device> asState;
    };
    const std::map<int, loaded_device>& devices() const { return m_devices; }

    // The instance table's entry, "device offset"; empty when the instance is unknown.
    std::string instance(const std::string& name) const;
    std::string hostInfo() const;
    bool networkKnows(const std::string& name) const;

    // Reads the panel layout that a panel line's file field names. False, with `why`, when the
    // field names no layout of this system.
    bool loadPanel(const std::string& field, panel_layout& layout, std::string& why) const;

private:
    std::string configFile(const std::string& name) const;

    std::string m_dir;
    loaded_device* load(int device);

    // An entry with no device remembers a number that has no file.
    std::map<int, loaded_device> m_devices;
};

} // namespace vesk_host
