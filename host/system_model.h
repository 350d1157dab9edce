// The simulated system behind the host link: router devices, the instance table, host
// information and panel layouts, read from the system folder given to vesk-host.
//
// Layout of the folder <root>/<system>:
//   config/system/configdb.ini   the configuration database (workstation settings ...)
//   config/system/dev_NNN.ini    one router device: [Device] name, [Database] sizes,
//                                [Sources] and [Destinations] names, [Crosspoints] start state
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

    // The router with this device number, read from its device file on first use; null when
    // the system has no such device.
    router* findRouter(int device);
    const std::map<int, std::unique_ptr<router>>& routers() const { return m_routers; }

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
    // A null entry remembers a device that has no file.
    std::map<int, std::unique_ptr<router>> m_routers;
};

} // namespace vesk_host
