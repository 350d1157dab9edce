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
    // returned for VESK_EVENT_PARENT is ours until the host hands it back with
    // VESK_EVENT_RELEASE. Never throws.
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
    // AS: the destructor's last line; scripts may send it too.
    void sendAS();
    // Writes the text unchanged to the debugger output; no line end is added.
    void debug(const vesk_string& text);
    // Fills the format with a1 to a9 by nine successive arg() calls and writes the result.
    void debug(const vesk_string& format, const vesk_string& a1, const vesk_string& a2 = "",
               const vesk_string& a3 = "", const vesk_string& a4 = "", const vesk_string& a5 = "",
               const vesk_string& a6 = "", const vesk_string& a7 = "", const vesk_string& a8 = "",
               const vesk_string& a9 = "");

    // Each command operation sends one line; its comment shows the line, operands in place.
    // Texts go between the quotes verbatim, never escaped: a text holding ' ends its field
    // early, so keep quotes out of texts (see the guide). Without a link nothing is sent.

    // ---- Panels: true without a link, otherwise whether the host answered non-null ----
    // The file field is "<startup>/name", or name alone when the start-up text is empty.
    // PS 'panel' 'file' ['extra']: opens the panel file as the panel; extra only when not empty.
    bool panelShow(const vesk_string& panel, const vesk_string& name, const vesk_string& extra);
    // PI 'panel' 'file' ['extra']: as panelShow, with the host's PI.
    bool sendPI(const vesk_string& panel, const vesk_string& name, const vesk_string& extra);
    // PT 'panel' 'text': sets the panel's title.
    bool sendPT(const vesk_string& panel, const vesk_string& text);
    // PP 'panel' '<startup>/name' first second 'text'; an empty name sends '' as the file.
    bool sendPP(const vesk_string& panel, const vesk_string& name, int first, int second,
                const vesk_string& text);
    // PR 'panel'
    bool sendPR(const vesk_string& panel);
    // PD 'panel': closes the panel.
    bool panelDestroy(const vesk_string& panel);

    // ---- Control text ----
    // TP 'text' 'panel' 'control': free text, or "property=value", into the control.
    void textPut(const vesk_string& text, const vesk_string& panel, const vesk_string& control);
    // TP 'property=value' 'panel' 'control': sets one property of the control.
    void textPut(const vesk_string& property, const vesk_string& value, const vesk_string& panel,
                 const vesk_string& control);
    // TG 'panel' 'control' 'property': reads a property back. `result` gets its value, the
    // whole reply for "all", or empty text when the host does not answer or answers for
    // another property (which is also written to the debugger output).
    void textGet(const vesk_string& property, const vesk_string& panel, const vesk_string& control,
                 vesk_string& result);

    // ---- Controls: a control is named by its panel and its id on that panel ----
    // CE 'panel' 'control': enables the control.
    void sendCE(const vesk_string& panel, const vesk_string& control);
    // CD 'panel' 'control': disables the control.
    void sendCD(const vesk_string& panel, const vesk_string& control);
    // CS 'panel' 'control': shows the control.
    void sendCS(const vesk_string& panel, const vesk_string& control);
    // CH 'panel' 'control': hides the control.
    void sendCH(const vesk_string& panel, const vesk_string& control);
    // CM 'panel' 'control' first second: moves the control (x, y).
    void sendCM(const vesk_string& panel, const vesk_string& control, int first, int second);
    // CP 'panel' 'control': asks for the position; the reply "first.second" is split at '.'
    // into the two parts, which are empty when the host does not answer.
    void sendCP(const vesk_string& panel, const vesk_string& control, vesk_string& first,
                vesk_string& second);
    // CC 'panel' 'control' 'third' fourth fifth sixth seventh 'eighth': creates a control
    // (kind, x, y, width, height, text); returns the host's reply, empty when none.
    vesk_string sendCC(const vesk_string& panel, const vesk_string& control,
                       const vesk_string& third, int fourth, int fifth, int sixth, int seventh,
                       const vesk_string& eighth);
    // CX 'panel' 'control': whether the control exists; true without a link.
    bool sendCX(const vesk_string& panel, const vesk_string& control);

    // ---- Routers: devices and indices are the host's numbers, passed through ----
    // RN d1 d2 d3: asks for a name (device, database, index). `answer` gets the reply and
    // keeps its text when there is none.
    void sendRN(int d1, int d2, int d3, vesk_string& answer);
    // RI d1 d2 'text': asks for the index of a name (device, database, name). Returns the
    // host's reply unreleased, or null: hand it back with VESK_LINK_RELEASE when done.
    const char* sendRI(int d1, int d2, const vesk_string& text);
    // RC device source destination ',text' flag: routes source to destination.
    void routerCrosspoint(int device, int source, int destination, const vesk_string& text,
                          bool flag);
    // RR device index1 index2 ['ADD']: registers for the revertives of destinations index1
    // to index2; without add it replaces the registrations on that device.
    void routerRegister(int device, int index1, int index2, bool add);
    // RU device: ends the registrations on the device.
    void sendRU(int device);
    // RP device index1 index2: asks for the revertives of destinations index1 to index2 now.
    void routerPoll(int device, int index1, int index2);
    // RQ device index1 index2
    void sendRQ(int device, int index1, int index2);
    // RM d1 d2 d3 'text' flag. Also writes the line and a line end to the debugger output,
    // with or without a link.
    void sendRM(int d1, int d2, int d3, const vesk_string& text, bool flag);

    // ---- I-family: the shapes of RR, RU, RP, RQ, and a text line ----
    // IR device index1 index2 ['ADD']
    void sendIR(int device, int index1, int index2, bool add);
    // IU device
    void sendIU(int device);
    // IP device index1 index2
    void sendIP(int device, int index1, int index2);
    // IQ device index1 index2
    void sendIQ(int device, int index1, int index2);
    // IW device 'text' index flag. Warns on the debugger output when text is longer than 256
    // characters; sends it whole.
    void sendIW(int device, const vesk_string& text, int index, bool flag);

    // ---- G-family: the shapes of RR, RU, RP, RQ, and a state line ----
    // GR device index1 index2 ['ADD']
    void sendGR(int device, int index1, int index2, bool add);
    // GU device
    void sendGU(int device);
    // GP device index1 index2
    void sendGP(int device, int index1, int index2);
    // GQ device index1 index2
    void sendGQ(int device, int index1, int index2);
    // GS device index state flag: note that the line puts index before state.
    void sendGS(int device, bool state, int index, bool flag);

    // ---- Timers and events: timers are the host's; it fires them as VESK_EVENT_TIMER ----
    // ET id interval: starts a repeating timer; an interval of 0 sends timerStop's line.
    void timerStart(int id, int interval);
    // ET id: stops the timer.
    void timerStop(int id);
    // ES first second
    void sendES(int first, int second);
    // ES text: the text follows unquoted.
    void sendES(const vesk_string& text);
    // EG first second third fourth
    void sendEG(int first, int second, int third, int fourth);
    // EC flag 'first' 'second'
    void sendEC(bool flag, const vesk_string& first, const vesk_string& second);

    // ---- Hosts and networks ----
    // HN 'text'
    void sendHN(const vesk_string& text);
    // HG 'first' 'second'
    void sendHG(const vesk_string& first, const vesk_string& second);
    // HH 'text'
    void sendHH(const vesk_string& text);
    // HP 'first' 'second'
    void sendHP(const vesk_string& first, const vesk_string& second);
    // HQ 'first' 'second'
    void sendHQ(const vesk_string& first, const vesk_string& second);
    // NA 'text'
    void sendNA(const vesk_string& text);
    // NX 'text'
    void sendNX(const vesk_string& text);
    // NIX 'text': whether the host answered yes (non-null); false without a link.
    bool sendNIX(const vesk_string& text);
    // NIA 'text': whether the host answered yes (non-null); false without a link.
    bool sendNIA(const vesk_string& text);

    // ---- Lookups: true when the host answered ----
    // SS 'instance' 'name': finds a slot of the instance by name. The reply
    // "device offset index type 'altId'" gives device, index (offset + index) and the type,
    // 'G' for 2, 'R' for 3, 'I' otherwise. Given outputs are cleared first; null outputs are
    // skipped; altId is set only when the host answers.
    bool slotLookup(const vesk_string& instance, const vesk_string& name, vesk_string& altId,
                    int* device, int* index, char* type);
    bool slotLookup(const vesk_string& instance, const vesk_string& name, int* device, int* index,
                    char* type);
    // SD 'instance': the device of the instance and its offset, both 0 when not answered.
    bool instanceLookup(vesk_string instance, int* device, int* offset);
    // XI 'panel' 'pattern': the ids the host lists for the panel and pattern; empty when it
    // does not answer.
    vesk_stringlist controlList(const vesk_string& panel, const vesk_string& pattern);

    // ---- Alarms ----
    // AS 'name'
    void sendAS(const vesk_string& name);
    // AD 'name'
    void sendAD(const vesk_string& name);
    // AP 'name' number
    void sendAP(const vesk_string& name, int number);
    // AP 'name' '<startup>/file' number
    void sendAP(const vesk_string& name, const vesk_string& file, int number);
    // From now on the dispatcher hands the "ActionAll"/"AckAll" buttons to alarmAction.
    void enableAlarmHandling();
    // Puts the alarm value into every "alm_" control of panel "1" (XI, TP and TG lines).
    void alarmAction(const vesk_string& value);

    // ---- Environment and device database: read afresh on every call ----
    // CC_WORKSTATION as a number; 0 when unset.
    int workstationNumber() const;
    // The DatabaseSize_<database> key of the device's dev_NNN.ini; 0 when missing.
    int databaseSize(int device, int database) const;
    // HI: the host's information text; empty when it does not answer.
    vesk_string hostInfo();

    // ---- Configuration database: read afresh on every call ----
    // One setting of this workstation (node workstation_settings.<number>).
    vesk_string workstationSetting(const vesk_string& name) const;
    // Every setting of this workstation, as "name=value", in order.
    vesk_stringlist workstationSettings() const;
    // One setting of an object (node object_settings.<object>).
    vesk_string objectSetting(const vesk_string& object, const vesk_string& name) const;
    // The user logged in at this workstation, its level name and its level number.
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
