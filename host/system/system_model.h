// The simulated system behind the host link: the devices, the instance table, host
// information and panel layouts, read from the system folder given to vesk-host.
//
// Layout of the folder <root>/<system>:
//   config/system/configdb.ini   the configuration database (workstation settings ...)
//   config/system/dev_NNN.ini    one device: [Device] kind (router when not given) and name,
//                                the rest as its kind reads it (host/devices/)
//   config/system/host.ini       [Host] info, [Instances] name=device offset, [Network] names
//   panels/<name>.ini            one panel layout: a section per control, keys its properties
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "devices/device.h"

namespace vesk_host {

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
    // Its devices listen to it: it stays where it was made.
    system_model(const system_model&) = delete;
    system_model& operator=(const system_model&) = delete;

    const std::string& dir() const { return m_dir; }

    // The device with this number, read from its device file on first use; null when the
    // system has none.
    device* find(int number);
    // The same, when the lines of `family` address it.
    device* findFor(verb_family family, int number) {
        device* found = find(number);
        return found != nullptr && found->type().family == family ? found : nullptr;
    }
    // The same, when it is a `kind`.
    template <class kind> kind* findAs(int number) { return dynamic_cast<kind*>(find(number)); }
    // Reads every device file of the folder, so that all of them are shown.
    void findAll();
    // Reads the devices whose state lives elsewhere (routers in Ember+ providers), so that
    // they are connected before the run's first step.
    void findElsewhere();
    // Every device read so far, by number.
    const std::map<int, std::unique_ptr<device>>& devices() const { return m_devices; }
    // Hears of every change of every device; null for none.
    void listen(device_listener* listener);
    // A second listener, told after the first (the Ember+ provider beside the host); null for
    // none.
    void listenAlso(device_listener* listener) { m_listeners.second = listener; }

    // The instance table's entry, "device offset"; empty when the instance is unknown.
    std::string instance(const std::string& name) const;
    // The whole instance table, name and "device offset", in the file's order.
    std::vector<std::pair<std::string, std::string>> instances() const;
    std::string hostInfo() const;
    bool networkKnows(const std::string& name) const;

    // Reads the panel layout that a panel line's file field names. False, with `why`, when the
    // field names no layout of this system.
    bool loadPanel(const std::string& field, panel_layout& layout, std::string& why) const;

private:
    std::string configFile(const std::string& name) const;
    // Reads each device file of the folder for which `wanted(path)` holds.
    template <class filter> void findEach(filter wanted);

    std::string m_dir;
    // An entry with no device remembers a number that has no file.
    std::map<int, std::unique_ptr<device>> m_devices;
    // What every device listens to: it tells the host, then the second listener.
    struct fan_out : device_listener {
        device_listener* first = nullptr;
        device_listener* second = nullptr;
        void deviceChanged(const device& changed, int index, const std::string& said) override {
            for (device_listener* l : {first, second}) {
                if (l != nullptr) {
                    l->deviceChanged(changed, index, said);
                }
            }
        }
        void deviceSays(const device& from, const std::string& what, bool problem) override {
            for (device_listener* l : {first, second}) {
                if (l != nullptr) {
                    l->deviceSays(from, what, problem);
                }
            }
        }
        void deviceNoted(const device& noted, const std::string& said) override {
            for (device_listener* l : {first, second}) {
                if (l != nullptr) {
                    l->deviceNoted(noted, said);
                }
            }
        }
    };
    fan_out m_listeners;
};

} // namespace vesk_host
