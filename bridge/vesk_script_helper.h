// vesk_script_helper: the base of every panel script.
//
// It keeps the host link, turns host events into calls of the virtual handlers below, offers
// one operation per host command line, and reads the environment, the device database, the
// configuration database and user levels. A script derives from it, defines the four pure
// handlers, and is created by its library's load_vesk_client_script.
//
// This header brings everything a script needs: the callback interface, the event records,
// the decoders, the string and list types and the configuration node.
#pragma once

#include "buttonNotify.h"
#include "decodeCaptionString.h"
#include "decodeVESKString.h"
#include "hostNotify.h"
#include "parentNotify.h"
#include "revertiveNotify.h"
#include "vesk_client_callback.h"
#include "vesk_config.h"
#include "vesk_host_structs.h"
#include "vesk_script_export.h"
#include "vesk_string.h"
#include "vesk_stringlist.h"

class vesk_script_helper : public vesk_client_callback {
public:
    // `link`: host-owned; may be null; must outlive this object, whose destructor still sends.
    // `startup`: host-owned; copied before the constructor returns (null is the empty text).
    // Nothing is sent to the host during construction.
    vesk_script_helper(vesk_client_callback* link, const char* startup);
    // Sends "AS" as the last line when there is a link. Never throws.
    ~vesk_script_helper() override;

    vesk_script_helper(const vesk_script_helper&) = delete;
    vesk_script_helper& operator=(const vesk_script_helper&) = delete;

    // The event dispatcher. `argument` is host-owned and read only during the call; text
    // returned for kind 3 is ours until the host hands it back with kind 5. Never throws.
    char* callback(char* argument, int kind) override;

    // ---- Handlers, called by the dispatcher; records are valid only during the call ----
    virtual void buttonCallback(buttonNotify* notify) = 0;
    virtual void revertiveCallback(revertiveNotify* notify) = 0;
    // Non-empty text is handed to the parent; empty text answers nothing.
    virtual vesk_string parentCallback(parentNotify* notify) = 0;
    virtual void hostCallback(hostNotify* notify);
    virtual void timerCallback(int id) = 0;
    virtual void secondaryRevertiveCallback(revertiveNotify* notify);

    // ---- Life and diagnostics ----
    void sendAS();
    // Writes the text unchanged to the debugger output; no line end is added.
    void debug(const vesk_string& text);
    // Fills the format with a1 to a9 by nine successive arg() calls and writes the result.
    void debug(const vesk_string& format, const vesk_string& a1, const vesk_string& a2 = "",
               const vesk_string& a3 = "", const vesk_string& a4 = "",
               const vesk_string& a5 = "", const vesk_string& a6 = "",
               const vesk_string& a7 = "", const vesk_string& a8 = "",
               const vesk_string& a9 = "");

    // ---- Panels: true without a link, otherwise whether the host answered non-null ----
    // File fields are joined to the start-up text: "<startup>/<name>".
    bool panelShow(const vesk_string& panel, const vesk_string& name, const vesk_string& extra);
    bool sendPI(const vesk_string& panel, const vesk_string& name, const vesk_string& extra);
    bool sendPT(const vesk_string& panel, const vesk_string& text);
    bool sendPP(const vesk_string& panel, const vesk_string& name, int first, int second,
                const vesk_string& text);
    bool sendPR(const vesk_string& panel);
    bool panelDestroy(const vesk_string& panel);

    // ---- Control text ----
    void textPut(const vesk_string& text, const vesk_string& panel, const vesk_string& control);
    void textPut(const vesk_string& property, const vesk_string& value, const vesk_string& panel,
                 const vesk_string& control);
    // `result` gets the property's value, the whole reply for "all", or empty text when the
    // host does not answer or answers for another property.
    void textGet(const vesk_string& property, const vesk_string& panel,
                 const vesk_string& control, vesk_string& result);

    // ---- Controls ----
    void sendCE(const vesk_string& panel, const vesk_string& control);
    void sendCD(const vesk_string& panel, const vesk_string& control);
    void sendCS(const vesk_string& panel, const vesk_string& control);
    void sendCH(const vesk_string& panel, const vesk_string& control);
    void sendCM(const vesk_string& panel, const vesk_string& control, int first, int second);
    void sendCP(const vesk_string& panel, const vesk_string& control, vesk_string& first,
                vesk_string& second);
    vesk_string sendCC(const vesk_string& panel, const vesk_string& control,
                       const vesk_string& third, int fourth, int fifth, int sixth, int seventh,
                       const vesk_string& eighth);
    bool sendCX(const vesk_string& panel, const vesk_string& control);

    // ---- Routers ----
    // `answer` gets the host's reply; it keeps its text when there is none.
    void sendRN(int d1, int d2, int d3, vesk_string& answer);
    // Returns the host's reply unreleased: the caller hands it back with kind 5 when done.
    const char* sendRI(int d1, int d2, const vesk_string& text);
    void routerCrosspoint(int device, int source, int destination, const vesk_string& text,
                          bool flag);
    void routerRegister(int device, int index1, int index2, bool add);
    void sendRU(int device);
    void routerPoll(int device, int index1, int index2);
    void sendRQ(int device, int index1, int index2);
    // Also writes the line and a line end to the debugger output, with or without a link.
    void sendRM(int d1, int d2, int d3, const vesk_string& text, bool flag);

    // ---- I-family ----
    void sendIR(int device, int index1, int index2, bool add);
    void sendIU(int device);
    void sendIP(int device, int index1, int index2);
    void sendIQ(int device, int index1, int index2);
    // Warns on the debugger output when text is longer than 256 characters; sends it whole.
    void sendIW(int device, const vesk_string& text, int index, bool flag);

    // ---- G-family ----
    void sendGR(int device, int index1, int index2, bool add);
    void sendGU(int device);
    void sendGP(int device, int index1, int index2);
    void sendGQ(int device, int index1, int index2);
    // Note the order on the line: device, index, state, flag.
    void sendGS(int device, bool state, int index, bool flag);

    // ---- Timers and events ----
    // An interval of 0 sends the same line as timerStop.
    void timerStart(int id, int interval);
    void timerStop(int id);
    void sendES(int first, int second);
    void sendES(const vesk_string& text);
    void sendEG(int first, int second, int third, int fourth);
    void sendEC(bool flag, const vesk_string& first, const vesk_string& second);

    // ---- Hosts and networks ----
    void sendHN(const vesk_string& text);
    void sendHG(const vesk_string& first, const vesk_string& second);
    void sendHH(const vesk_string& text);
    void sendHP(const vesk_string& first, const vesk_string& second);
    void sendHQ(const vesk_string& first, const vesk_string& second);
    void sendNA(const vesk_string& text);
    void sendNX(const vesk_string& text);
    // Whether the host answered non-null; false without a link.
    bool sendNIX(const vesk_string& text);
    bool sendNIA(const vesk_string& text);

    // ---- Lookups: true when the host answered ----
    // Given outputs are cleared first; null outputs are skipped. `type` is 'G', 'R' or 'I'.
    bool slotLookup(const vesk_string& instance, const vesk_string& name, vesk_string& altId,
                    int* device, int* index, char* type);
    bool slotLookup(const vesk_string& instance, const vesk_string& name, int* device,
                    int* index, char* type);
    bool instanceLookup(vesk_string instance, int* device, int* offset);
    // The ids the host lists for the panel and pattern; empty when it does not answer.
    vesk_stringlist controlList(const vesk_string& panel, const vesk_string& pattern);

    // ---- Alarms ----
    void sendAS(const vesk_string& name);
    void sendAD(const vesk_string& name);
    void sendAP(const vesk_string& name, int number);
    void sendAP(const vesk_string& name, const vesk_string& file, int number);
    // From now on the dispatcher hands the "ActionAll"/"AckAll" buttons to alarmAction.
    void enableAlarmHandling();
    void alarmAction(const vesk_string& value);

    // ---- Environment and device database: read afresh on every call ----
    int workstationNumber() const;
    int databaseSize(int device, int database) const;
    vesk_string hostInfo();

    // ---- Configuration database: read afresh on every call ----
    vesk_string workstationSetting(const vesk_string& name) const;
    vesk_stringlist workstationSettings() const;
    vesk_string objectSetting(const vesk_string& object, const vesk_string& name) const;
    vesk_string workstationUser() const;
    vesk_string userLevelText() const;
    int userLevel() const;

protected:
    // A host reply held for reading; handed back to the host exactly once when this goes.
    class hostReply {
    public:
        hostReply(vesk_client_callback* link, char* text, bool releaseNull) noexcept
            : m_link(link), m_text(text), m_releaseNull(releaseNull) {}
        hostReply(hostReply&& other) noexcept
            : m_link(other.m_link), m_text(other.m_text), m_releaseNull(other.m_releaseNull) {
            other.m_link = nullptr;
        }
        hostReply(const hostReply&) = delete;
        hostReply& operator=(const hostReply&) = delete;
        hostReply& operator=(hostReply&&) = delete;
        ~hostReply() { release(); }

        // Host-owned; valid until release(). Null when the host did not answer.
        const char* text() const noexcept { return m_text; }
        // Hands the reply back now; later calls do nothing.
        void release() noexcept;
        // Gives the reply to the caller, who must hand it back; nothing is released here.
        char* keep() noexcept {
            m_link = nullptr;
            return m_text;
        }

    private:
        vesk_client_callback* m_link;
        char* m_text;
        bool m_releaseNull;
    };

    // The command channel: every command operation sends through these three.
    // A line whose answer is not read; nothing happens without a link.
    void sendLine(const char* line);
    // A line whose answer is only tested, never released: `withoutLink` when there is no
    // link, otherwise whether the host answered non-null.
    bool sendTested(const char* line, bool withoutLink);
    // A line whose answer is read. `releaseNull` also hands a null answer back, for the hosts
    // that count every exchange. Without a link nothing is sent and nothing released.
    hostReply sendRead(const char* line, bool releaseNull = false);

    // Host-owned; may be null; never deleted here.
    vesk_client_callback* link;
    vesk_string startup;
    bool alarmHandling;

private:
    // The dispatcher's two ways: revertives, and every other kind.
    char* dispatchRevertive(char* argument) noexcept;
    char* dispatchEvent(char* argument, int kind) noexcept;
    void dispatchButton(buttonNotify* notify);
    // Where the alarm handling takes an "ActionAll"/"AckAll" button; false leaves it to
    // buttonCallback.
    bool divertAlarmButton(buttonNotify* notify);

    friend void sendCommand(vesk_script_helper* script, const vesk_string& line);
};

// Hands an already composed line to the script's host link, if it has one; the answer is
// ignored.
void sendCommand(vesk_script_helper* script, const vesk_string& line);
