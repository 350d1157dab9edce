// Settings of this workstation and of named objects: the "id"/"value" children of one node of
// the configuration database, read afresh on every call and never written.
#include "vesk_script_helper.h"

namespace {

vesk_string workstationNode(int workstation) {
    return vesk_string("workstation_settings.%1").arg(workstation, 0, 0, 10);
}

// Several children may share an id; the first one counts.
vesk_string firstValue(const vesk_string& path, const vesk_string& name) {
    vesk_config cfgSettings(path);
    for (; cfgSettings.isChildValid(); cfgSettings.nextChild()) {
        if (cfgSettings.childAttr("id") == name) {
            return cfgSettings.childAttr("value");
        }
    }
    return vesk_string();
}

} // namespace

vesk_string vesk_script_helper::workstationSetting(const vesk_string& name) const {
    return firstValue(workstationNode(workstationNumber()), name);
}

vesk_stringlist vesk_script_helper::workstationSettings() const {
    vesk_stringlist sltSettings;
    vesk_config cfgSettings(workstationNode(workstationNumber()));
    for (; cfgSettings.isChildValid(); cfgSettings.nextChild()) {
        sltSettings << vesk_string("%1=%2")
                           .arg(cfgSettings.childAttr("id"))
                           .arg(cfgSettings.childAttr("value"));
    }
    return sltSettings;
}

vesk_string vesk_script_helper::objectSetting(const vesk_string& object,
                                              const vesk_string& name) const {
    return firstValue(vesk_string("object_settings.%1").arg(object), name);
}
