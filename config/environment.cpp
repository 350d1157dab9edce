// Where the script runs: the workstation number and the installation folders from the
// environment, database sizes from the devices' INI files, and the host's "HI" answer.
// Everything is read again on every call, so a changed environment or file shows at once.
#include <cstdio>
#include <string>

#include "environment.h"
#include "text_number.h"
#include "vesk_script_helper.h"
#include "vesk_winapi.h"

namespace {

using vesk_env::environment;

// Whether snprintf wrote the whole text into a buffer of `size` characters.
bool fits(int written, std::size_t size) noexcept {
    return written >= 0 && static_cast<std::size_t>(written) < size;
}

} // namespace

int vesk_script_helper::workstationNumber() const {
    std::string sNumber;
    if (!environment("CC_WORKSTATION", sNumber)) {
        return 0;
    }
    return vesk_detail::leadingInt(sNumber.c_str());
}

int vesk_script_helper::databaseSize(int device, int database) const {
    std::string sRoot;
    std::string sSystem;
    if (!environment("CC_ROOT", sRoot) || !environment("CC_SYSTEM", sSystem)) {
        return 0;
    }

    // The sizes are those of the Windows API's paths and profile strings. A path that does not
    // fit would name some other file, so it is not read at all.
    char szKey[256];
    char szFile[256];
    char szPath[260];
    char szResult[256];
    if (!fits(std::snprintf(szKey, sizeof szKey, "DatabaseSize_%d", database), sizeof szKey) ||
        !fits(std::snprintf(szFile, sizeof szFile, "dev_%03d.ini", device), sizeof szFile) ||
        !fits(std::snprintf(szPath, sizeof szPath, "%s\\%s\\config\\system\\%s", sRoot.c_str(),
                            sSystem.c_str(), szFile),
              sizeof szPath)) {
        return 0;
    }

    const DWORD copied = GetPrivateProfileStringA("Database", szKey, "0", szResult,
                                                  static_cast<DWORD>(sizeof szResult), szPath);
    // A key with an empty value copies nothing.
    if (copied == 0) {
        return 0;
    }
    return vesk_detail::leadingInt(szResult);
}

vesk_string vesk_script_helper::hostInfo() {
    vesk_string sInfo;
    // The host counts every "HI" exchange, so even a null answer is handed back.
    hostReply reply = sendRead("HI", true);
    if (reply.text() != nullptr) {
        sInfo = reply.text();
    }
    return sInfo;
}
