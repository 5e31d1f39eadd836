#include "wirelesswindow.h"

#include <windows.h>
#include <memory>
#include <vector>
#include "calls.h"
#include "connect/known.h"
#include "connect/wireless.h"
#include "data/program.h"
#include "data/wirelesswindow.h"
#include "device/thread.h"
#include "runtime/services.h"
#include "text/text.h"

namespace app {

namespace {

using rt::kServices;

constexpr uint32_t kWindow = data::kWirelessWindow;
constexpr int32_t kPropDisabled = 6;
constexpr int32_t kPropCaption = 8;   // label caption, edit box content
constexpr int32_t kPropItems = 8;     // combo box
constexpr int32_t kPropCurrent = 9;   // combo box
constexpr int32_t kKeyEnter = 13;
// How often discovery is asked: adb's server answers from what it has
// heard, so asking costs one short adb run.
constexpr DWORD kDiscoverEveryMs = 2000;

enum Posted : int32_t { kPostedPhones = 1, kPostedDone = 2, kPostedOpened = 3 };

// The window's state while it is loaded. The workers post to the window;
// they are stopped before it goes (its destroyed event).
struct Wireless {
    uint32_t target = 0;
    dev::Adb adb;
    conn::KnownPhones known;
    dev::Worker finder, job;
    dev::Lock lock;
    conn::Discovery found;                   // under lock: the latest discovery
    conn::Joining joined;                    // under lock: the pairing's end
    conn::ConnectResult connected;           // under lock: a connect's end
    bool pairing = false;                    // what the job was (UI thread)
    std::vector<conn::NetworkPhone> shown;   // the phones in the list (UI thread)
    std::vector<conn::Address> pairingSeen;  // pairing addresses discovery has shown (UI thread)
    bool chosenByOwner = false;              // the owner picked a phone or typed an address

    void Post(int32_t what) const { kServices.auxiliary(rt::kAuxPostEvent, target, what); }
};

std::unique_ptr<Wireless> gWireless;
std::string gConnected;   // what the window ended with, read once it has closed

std::string Text(uint32_t unit) {
    char* text = PointerAt<char>(static_cast<uint32_t>(kServices.readProperty(kWindow, unit, kPropCaption, -1)));
    std::string s = text ? text : "";
    kServices.free(text);
    return s;
}

void SetText(uint32_t unit, const std::string& text) {
    kServices.writeProperty(kWindow, unit, kPropCaption, -1, Word(text.c_str()), 0);
}

void Status(const std::string& text) { SetText(data::kWlStatus, text); }

void SetBusy(bool busy) {
    for (uint32_t unit : {data::kWlPair, data::kWlConnect})
        kServices.writeProperty(kWindow, unit, kPropDisabled, -1, busy ? 1u : 0u, 0);
}

// Posted, so the handler that asks returns before the window goes.
void Close() {
    HWND h = reinterpret_cast<HWND>(static_cast<uintptr_t>(kServices.auxiliary(rt::kAuxPostTarget, kWindow)));
    if (h) PostMessageA(h, WM_CLOSE, 0, 0);
}

std::string PhoneLabel(const conn::NetworkPhone& p) {
    std::string what = p.pairPort && p.connectPort ? "可配对" : p.pairPort ? "可配对（未开无线调试连接）" : "可连接";
    return p.host + "  " + what + "  " + p.name;
}

bool SamePhones(const std::vector<conn::NetworkPhone>& a, const std::vector<conn::NetworkPhone>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].name != b[i].name || a[i].host != b[i].host || a[i].pairPort != b[i].pairPort ||
            a[i].connectPort != b[i].connectPort)
            return false;
    return true;
}

// The chosen phone's addresses into the boxes.
void FillAddresses(const conn::NetworkPhone& p) {
    SetText(data::kWlPairAddress, p.pairPort ? p.PairAddress().Text() : std::string());
    SetText(data::kWlConnectAddress, p.connectPort ? p.ConnectAddress().Text() : std::string());
}

// The list follows discovery; it is written only when it changed, so an
// open drop-down is not pulled from under the owner. With one phone
// offering pairing, it is chosen: the owner types only the code.
void ShowPhones() {
    conn::Discovery d;
    {
        dev::Hold hold(gWireless->lock);
        d = gWireless->found;
    }
    for (const conn::NetworkPhone& p : d.phones) {
        if (!p.pairPort) continue;
        bool seen = false;
        for (const conn::Address& a : gWireless->pairingSeen) seen = seen || a == p.PairAddress();
        if (!seen) gWireless->pairingSeen.push_back(p.PairAddress());
    }
    if (!d.error.empty()) {
        if (!gWireless->job.Running()) Status(text::OneLine(d.error));
        return;
    }
    if (SamePhones(d.phones, gWireless->shown)) return;
    int32_t before = static_cast<int32_t>(kServices.readProperty(kWindow, data::kWlPhones, kPropCurrent, -1));
    std::string chosenName = before >= 0 && static_cast<size_t>(before) < gWireless->shown.size()
                                 ? gWireless->shown[static_cast<size_t>(before)].name
                                 : std::string();
    gWireless->shown = d.phones;
    std::string items;
    int32_t current = -1, offering = -1, offers = 0;
    for (size_t i = 0; i < d.phones.size(); i++) {
        items += PhoneLabel(d.phones[i]) + "\r\n";
        if (d.phones[i].name == chosenName) current = static_cast<int32_t>(i);
        if (d.phones[i].pairPort) offering = static_cast<int32_t>(i), offers++;
    }
    if (current < 0 && offers == 1) current = offering;
    kServices.writeProperty(kWindow, data::kWlPhones, kPropItems, -1, Word(items.c_str()), 0);
    kServices.writeProperty(kWindow, data::kWlPhones, kPropCurrent, -1, static_cast<uint32_t>(current), 0);
    if (current >= 0 && (!gWireless->chosenByOwner || chosenName == d.phones[static_cast<size_t>(current)].name))
        FillAddresses(d.phones[static_cast<size_t>(current)]);
    if (gWireless->job.Running()) return;
    if (d.phones.empty())
        Status("网络上还没有发现手机。请确认手机打开了“无线调试”，并打开“使用配对码配对设备”对话框；"
               "找不到时也可以直接填写对话框里的地址。");
    else if (offers == 0)
        Status("发现了手机，但没有打开配对对话框：配对过的手机按 连接；新手机请在手机上点“使用配对码配对设备”。");
    else
        Status("输入手机上显示的六位配对码，按 配对并连接。");
}

void StartPair() {
    if (gWireless->job.Running()) return;
    conn::Address pairAt, connectAt;
    std::string code, why;
    if (!conn::ParseCode(Text(data::kWlCode), &code, &why) ||
        !conn::ParseAddress(Text(data::kWlPairAddress), &pairAt, &why)) {
        Status(why);
        return;
    }
    std::string connectText = text::Trim(Text(data::kWlConnectAddress));
    bool haveConnect = !connectText.empty() && conn::ParseAddress(connectText, &connectAt, &why);
    gWireless->pairing = true;
    Wireless* w = gWireless.get();
    bool started = w->job.Start(
        [w, pairAt, code, haveConnect, connectAt](const dev::Cancel& cancel) {
            conn::Joining j = conn::PairAndConnect(w->adb, pairAt, code, haveConnect ? &connectAt : nullptr, &w->known,
                                                   &cancel);
            dev::Hold hold(w->lock);
            w->joined = j;
        },
        [w] { w->Post(kPostedDone); });
    if (!started) return;
    SetBusy(true);
    Status("正在配对 " + pairAt.Text() + " ...");
}

void StartConnect() {
    if (gWireless->job.Running()) return;
    conn::Address at;
    std::string why;
    if (!conn::ParseAddress(Text(data::kWlConnectAddress), &at, &why)) {
        Status(why);
        return;
    }
    gWireless->pairing = false;
    Wireless* w = gWireless.get();
    std::vector<conn::Address> pairing = w->pairingSeen;
    conn::Address typed;
    if (conn::ParseAddress(Text(data::kWlPairAddress), &typed, &why)) pairing.push_back(typed);
    bool started = w->job.Start(
        [w, at, pairing](const dev::Cancel& cancel) {
            conn::ConnectResult c = conn::Connect(w->adb, at, pairing, &cancel);
            if (c.Ok()) w->known.Remember(conn::KnownPhone{std::string(), at});
            dev::Hold hold(w->lock);
            w->connected = c;
        },
        [w] { w->Post(kPostedDone); });
    if (!started) return;
    SetBusy(true);
    Status("正在连接 " + at.Text() + " ...");
}

// A phone connected closes the window; the manager lists and reads it.
void JobDone() {
    gWireless->job.Wait();
    SetBusy(false);
    conn::Joining j;
    conn::ConnectResult c;
    {
        dev::Hold hold(gWireless->lock);
        j = gWireless->joined;
        c = gWireless->connected;
    }
    if (!gWireless->pairing) {
        Status(c.message);
        if (c.Ok()) gConnected = c.serial, Close();
        return;
    }
    Status(j.message);
    if (j.connectTried && j.connect.Ok()) {
        gConnected = j.connect.serial;
        Close();
    }
}

} // namespace

std::string AskToConnectWirelessly() {
    gConnected.clear();
    CallCore(kLoadWindow, {rt::ArgRecord{kWindow, 0, rt::kTypeWindow}, rt::ArgRecord{1, 0, rt::kTypeBool},
                           rt::ArgRecord{data::kManagerWindow, 0, rt::kTypeWindow}});
    std::string serial = gConnected;
    gConnected.clear();
    return serial;
}

// Discovery starts once the window is shown: its first posted event comes
// after the loader has set every unit from the template.
bool OnWirelessCreated(int32_t, const int64_t*, int64_t*) {
    gWireless.reset(new Wireless());
    gWireless->target = static_cast<uint32_t>(kServices.auxiliary(rt::kAuxPostTarget, kWindow));
    gWireless->Post(kPostedOpened);
    return false;
}

namespace {

void StartDiscovery() {
    Wireless* w = gWireless.get();
    w->finder.Start([w](const dev::Cancel& cancel) {
        while (!cancel.Requested()) {
            conn::Discovery d = conn::Discover(w->adb, &cancel);
            if (cancel.Requested()) break;
            {
                dev::Hold hold(w->lock);
                w->found = d;
            }
            w->Post(kPostedPhones);
            WaitForSingleObject(cancel.Event(), kDiscoverEveryMs);
        }
    });
}

} // namespace

// Both workers end before the window goes: nothing is posted to it after.
bool OnWirelessDestroyed(int32_t, const int64_t*, int64_t*) {
    if (!gWireless) return false;
    gWireless->finder.RequestCancel();
    gWireless->job.RequestCancel();
    gWireless->finder.Wait();
    gWireless->job.Wait();
    gWireless.reset();
    return false;
}

bool OnWirelessPosted(int32_t argc, const int64_t* argv, int64_t*) {
    if (!gWireless || argc < 1) return false;
    if (argv[0] == kPostedPhones) ShowPhones();
    else if (argv[0] == kPostedDone) JobDone();
    else if (argv[0] == kPostedOpened) StartDiscovery();
    return false;
}

bool OnWirelessPhoneChosen(int32_t argc, const int64_t* argv, int64_t*) {
    if (!gWireless || argc < 1 || argv[0] < 0 || static_cast<size_t>(argv[0]) >= gWireless->shown.size()) return false;
    gWireless->chosenByOwner = true;
    FillAddresses(gWireless->shown[static_cast<size_t>(argv[0])]);
    return false;
}

bool OnWirelessPair(int32_t, const int64_t*, int64_t*) {
    if (gWireless) StartPair();
    return false;
}

bool OnWirelessConnect(int32_t, const int64_t*, int64_t*) {
    if (gWireless) StartConnect();
    return false;
}

bool OnWirelessClose(int32_t, const int64_t*, int64_t*) {
    Close();
    return false;
}

// Enter in the code or the pairing address is 配对并连接.
bool OnWirelessCodeKey(int32_t argc, const int64_t* argv, int64_t* result) {
    if (argc < 1 || argv[0] != kKeyEnter || !gWireless) return false;
    StartPair();
    *result = 0;
    return true;
}

// Enter in the connect address is 连接.
bool OnWirelessConnectKey(int32_t argc, const int64_t* argv, int64_t* result) {
    if (argc < 1 || argv[0] != kKeyEnter || !gWireless) return false;
    StartConnect();
    *result = 0;
    return true;
}

} // namespace app
