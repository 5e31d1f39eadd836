// The package manager window's handlers. Long work runs as jobs on a worker
// thread (manager_jobs.h); these handlers start them, and the window's
// posted event brings their progress and results back to this thread.
#include "manager.h"

#include <windows.h>
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include "data/manager.h"
#include "data/program.h"
#include "appnames/apkfetch.h"
#include "device/apkcopies.h"
#include "device/lists.h"
#include "text/text.h"
#include "handlers.h"
#include "manager_jobs.h"
#include "manager_list.h"
#include "manager_names.h"
#include "manager_view.h"
#include "knowledge/risk.h"
#include "knowledge/users.h"
#include "serverwindow.h"
#include "wirelesswindow.h"
#include "connect/hints.h"
#include "runtime/services.h"

namespace app {

namespace {

using namespace mgr;

constexpr int32_t kKeyEnter = 13;
constexpr int32_t kKeyF5 = 116;
constexpr size_t kNamesInABox = 30;   // a confirmation lists at most this many names
constexpr size_t kRecordLines = 60;   // 操作记录 shows this many newest entries
constexpr char kReadingAll[] = "正在读取设备和应用...";
constexpr char kWirelessItem[] = "无线连接…";               // the device list's item before the last
constexpr char kAddServerItem[] = "添加远程 adb 服务器…";   // the last item of the device list

// The window's state; it exists while the window is loaded.
struct Manager {
    explicit Manager(uint32_t target) : jobs(new Jobs(target)), names(target) {}
    std::unique_ptr<Jobs> jobs;    // handed on to finish in the background when the window closes mid-job
    NameJobs names;                // app names, read beside the list
    PackageRows rows;
    std::vector<dev::Device> devices;
    std::string serial;            // the chosen device, empty before a choice
    dev::Server server;            // the adb server of the chosen device
    std::vector<dev::Server> servers;   // other computers' adb servers the user added
    dev::PhoneId phone;            // the phone the rows were read from
    int user = 0;                  // the phone's user the rows and actions are for
    std::map<std::string, int> chosenUsers;   // per phone (PhoneTag) the user last chosen for it
    dev::PhoneId undoPhone;        // the phone shown when 全部撤销 was asked for
    std::vector<dev::RecordEntry> history;   // the record of the phone and user shown, from the last read
    std::vector<dev::PhoneUser> users;   // of the chosen phone, as its last read listed them
    int32_t sortColumn = -1;
    bool sortDescending = false;
    std::string running;           // what the status line says while a job runs
    std::vector<std::string> logged;   // devices whose batch the log showed before the job ended
    uintptr_t focus = 0;           // the focus before a job disabled its control
    bool offers = false;           // the job runs the user's own action: where the phone refuses, another may be offered
    bool toldNoPhone = false;      // the phones that never show up were said in the log
    DWORD declinedPid = 0;         // another program's adb server the owner chose to keep
};

std::unique_ptr<Manager> gManager;
std::string gPreferred;        // the phone the command line named
bool gBringForward = false;    // opened from the command line: to the front once shown
// The first read, started on the menu choice until the window takes it over.
std::unique_ptr<Jobs> gEarly;

// A handler may wait in a message loop (a box, a file dialog, a control the
// runtime re-creates for a property), and the window may be closed meanwhile. Its state then
// lives on until the outermost handler returns, and Open() tells the handler
// to stop before it touches a window that is gone.
int gDepth = 0;
bool gClosed = false;

struct Entered {
    Entered() { ++gDepth; }
    ~Entered() {
        if (--gDepth == 0 && gClosed) {
            gManager.reset();
            gClosed = false;
        }
    }
    Entered(const Entered&) = delete;
    Entered& operator=(const Entered&) = delete;
};

bool Open() { return gManager && !gClosed && view::Loaded(); }

void Status(const std::string& text) { view::SetText(data::kMgrStatus, text); }

// A phone as the window tells it apart: its server and serial.
std::string PhoneTag(const dev::Server& server, const std::string& serial) { return server.Label() + "\t" + serial; }

// The user chosen for a phone before, else its owner.
int ChosenUser(const dev::Server& server, const std::string& serial) {
    auto it = gManager->chosenUsers.find(PhoneTag(server, serial));
    return it == gManager->chosenUsers.end() ? 0 : it->second;
}

const dev::Device* FindDevice(const std::string& serial, const dev::Server& server) {
    for (const dev::Device& d : gManager->devices)
        if (d.serial == serial && d.server == server) return &d;
    return nullptr;
}

// Buttons that start work are off while a job runs; 取消 is on only then.
// False when the window is no longer open. None of these writes lets a
// message through (the progress bar switches its marquee in place), so the
// check guards only against a caller that already waited.
bool SetBusy(bool busy) {
    if (busy) gManager->focus = view::SavedFocus();
    for (uint32_t unit : {data::kMgrDevices, data::kMgrUsers, data::kMgrRefresh, data::kMgrDisable, data::kMgrEnable, data::kMgrDelete,
                          data::kMgrRestore, data::kMgrImport, data::kMgrUndoAll})
        view::SetDisabled(unit, busy);
    // 取消 also stops a read of app names.
    view::SetDisabled(data::kMgrCancel, !busy && !gManager->names.Running());
    view::SetProgress(0, busy ? -1 : 0);
    if (!Open()) return false;
    // Only a focus that was in this window moves: setting it in a window
    // the user has left (minimized, or gone to the start-up window) would
    // bring that window back to the front.
    if (busy && gManager->focus && !view::SavedFocus()) view::FocusList();
    else if (!busy) view::RestoreFocus(gManager->focus);
    return true;
}

bool StartJob(const JobRequest& request, const std::string& status, bool offers = false) {
    if (!Open() || gManager->jobs->Running()) return false;
    gManager->offers = offers;
    if (!gManager->jobs->Start(request)) {
        Status("无法启动后台任务");
        return false;
    }
    gManager->running = status;
    Status(status);
    SetBusy(true);
    return true;
}

// The chosen device is also what the start-up window's commands act on:
// adb takes ANDROID_SERIAL from the environment it inherits from us.
// A phone of another computer's server stays the manager's own.
void Choose(const dev::Device* d) {
    gManager->serial = d ? d->serial : std::string();
    gManager->server = d ? d->server : dev::Server();
    if (!d || d->state != dev::DeviceState::Ready || !d->server.Local()) return;
    SetEnvironmentVariableA("ANDROID_SERIAL", d->serial.c_str());
    view::SetTitle(data::kStartupWindow, d->model.empty() ? d->serial : d->model + " " + d->serial);
}

void ShowDevices() {
    std::vector<std::string> items;
    int32_t current = -1;
    for (const dev::Device& d : gManager->devices) {
        if (d.serial == gManager->serial && d.server == gManager->server) current = static_cast<int32_t>(items.size());
        items.push_back(dev::ShortDeviceLabel(d));
    }
    items.push_back(kWirelessItem);
    items.push_back(kAddServerItem);
    view::SetItems(data::kMgrDevices, items, current);
}

// 机主, 工作资料, 应用双开, 手机分身, 安全文件夹, else the name the phone gives.
std::string UserLabel(const dev::PhoneUser& u) { return knowledge::UserLabel(static_cast<int>(u.id), u.name, u.flags); }

std::string CurrentUserLabel() {
    for (const dev::PhoneUser& u : gManager->users)
        if (u.id == gManager->user) return UserLabel(u);
    return "用户 " + std::to_string(gManager->user);
}

void ShowUsers() {
    std::vector<std::string> items;
    int32_t current = -1;
    for (const dev::PhoneUser& u : gManager->users) {
        if (u.id == gManager->user) current = static_cast<int32_t>(items.size());
        items.push_back(UserLabel(u));
    }
    view::SetItems(data::kMgrUsers, items, current);
}

std::string DeviceHeading(const dev::BatchResult& b) {
    const dev::Device* d = FindDevice(b.serial, b.server);
    return "【" + (d ? dev::ShortDeviceLabel(*d) : b.serial) + "】\r\n";
}

std::string BatchKey(const dev::BatchResult& b) {
    return b.server.Label() + "/" + b.serial + "/" + std::to_string(static_cast<int>(b.action));
}

// One line per package outcome, grouped per device when several ran; a
// batch the log showed as it ended is left out once.
void LogBatches(const std::vector<dev::BatchResult>& batches, size_t devices) {
    std::string text;
    const dev::BatchResult* last = nullptr;
    for (const dev::BatchResult& b : batches) {
        auto shown = std::find(gManager->logged.begin(), gManager->logged.end(), BatchKey(b));
        if (shown != gManager->logged.end()) {
            gManager->logged.erase(shown);
            continue;
        }
        if (devices > 1 && (!last || b.serial != last->serial || b.server != last->server)) text += DeviceHeading(b);
        last = &b;
        // A user the shell may not reach refuses every package alike: said once.
        bool denied = !b.results.empty();
        for (const dev::PackageResult& r : b.results) denied = denied && r.outcome == dev::Outcome::UserDenied;
        if (denied) text += std::string(dev::ActionVerb(b.action)) + " " + std::to_string(b.results.size()) +
                            " 个应用：" + dev::kUserDenied + "\r\n";
        for (const dev::PackageResult& r : b.results)
            if (!denied) text += gManager->rows.Display(r.name) + "：" + dev::OutcomeMessage(b.action, r) + "\r\n";
        if (!b.error.empty() && !denied) text += text::OneLine(b.error) + "\r\n";
    }
    if (!text.empty()) view::AppendLog(text);
}

std::string Summary(const std::vector<dev::BatchResult>& batches, bool cancelled) {
    size_t done = 0, failed = 0, skipped = 0, already = 0, bySystem = 0;
    for (const dev::BatchResult& b : batches)
        for (const dev::PackageResult& r : b.results) {
            if (r.outcome == dev::Outcome::Done) done++;
            else if (r.outcome == dev::Outcome::Already) already++;
            else if (r.outcome == dev::Outcome::SystemDisabled) bySystem++;
            else if (r.outcome == dev::Outcome::Cancelled || r.outcome == dev::Outcome::NotSent) skipped++;
            else failed++;
        }
    std::string s = (cancelled ? "已取消：" : "完成：") + std::string("成功 ") + std::to_string(done) + " 个，失败 " +
                    std::to_string(failed) + " 个";
    if (already) s += "，本来如此 " + std::to_string(already) + " 个";
    if (bySystem) s += "，已被系统停用 " + std::to_string(bySystem) + " 个";
    if (skipped) s += "，未执行 " + std::to_string(skipped) + " 个";
    return s;
}

void LogFinished(const std::vector<dev::BatchResult>& finished);
void OfferInstead(const std::vector<dev::BatchResult>& batches);

// The names the cache knows show with the list at once; the read beside it
// confirms them and brings the others.
bool StartNames() {
    const dev::PackageSnapshot& s = gManager->rows.Snapshot();
    if (s.api > 0 && s.api < appnames::kApiToybox) return false;   // no stat or tail to read APKs with
    std::vector<std::pair<std::string, appnames::AppLabel>> known;
    for (auto& kv : gManager->names.Cached(s))
        if (!gManager->rows.HasLabel(kv.first)) known.emplace_back(kv.first, std::move(kv.second));
    gManager->rows.SetLabels(known);
    if (!gManager->names.Start(gManager->jobs->Adb().Through(gManager->server), gManager->serial, s)) return false;
    view::SetDisabled(data::kMgrCancel, false);
    return true;
}

std::string OfTotal(size_t done, size_t total) { return std::to_string(done) + "/" + std::to_string(total); }

// Names as they come; the status line and the progress bar follow the read
// while no other job has them.
void OnNamesArrived() {
    NamesArrived a = gManager->names.Take();
    gManager->rows.SetLabels(a.labels);
    if (!Open() || gManager->jobs->Running()) return;
    if (!a.ended) {
        if (!gManager->names.Running() || a.total == 0) return;
        view::SetProgress(static_cast<int32_t>(a.done), static_cast<int32_t>(a.total));
        Status("正在读取应用名称 " + OfTotal(a.done, a.total));
        return;
    }
    view::SetProgress(0, 0);
    view::SetDisabled(data::kMgrCancel, true);
    if (a.cancelled) Status("已停止读取应用名称（" + OfTotal(a.done, a.total) + "）");
    else if (!a.error.empty()) Status("读取应用名称失败：" + text::OneLine(a.error));
    else
        Status("已读取 " + std::to_string(gManager->rows.Snapshot().packages.size()) + " 个应用，" +
               std::to_string(gManager->rows.LabelCount()) + " 个有名称");
}

void ContinueUndo(const JobResult& r);

// No phone: the checks on the status line, and once per window the phones
// that never show up in the log.
std::string NoPhoneStatus() {
    if (!gManager->toldNoPhone) view::AppendLog(conn::NoPhoneDetails() + "\r\n");
    gManager->toldNoPhone = true;
    return conn::NoPhoneHint();
}

// adb could not list the phones: what went wrong in the owner's words.
// Another program's adb server on adb's port is named; `offer` is its
// owner when the window may offer to end it (once per process: a "no" is
// not asked again).
std::string AdbTroubleStatus(const std::string& error, conn::PortOwner* offer) {
    conn::PortOwner owner;
    if (conn::FindVersionClash(error).found || text::Contains(error, "daemon"))
        owner = conn::FindPortOwner(dev::AdbServerPort());
    conn::AdbTrouble t = conn::ExplainAdbTrouble(error, std::string(), owner);
    if (t.kind == conn::AdbTrouble::OtherServer && owner.Known() && !conn::IsOurs(owner, gManager->jobs->Adb().Path()) &&
        owner.pid != gManager->declinedPid)
        *offer = owner;
    return text::OneLine(t.message.empty() ? error : t.message, 600);
}

void Refresh();

// Asked after the status says it: the process is ended only with a yes.
void OfferToEnd(const conn::PortOwner& owner) {
    if (!view::Ask(conn::EndQuestion(owner), "另一个程序的 adb")) {
        if (Open()) gManager->declinedPid = owner.pid;
        return;
    }
    if (!Open()) return;
    std::string why;
    if (!conn::EndProcess(owner, &why)) {
        Status("没有结束 " + owner.name + "：" + why);
        return;
    }
    view::AppendLog("已结束 " + owner.name + "（进程 " + std::to_string(owner.pid) + "）\r\n");
    Refresh();
}

void OnJobDone() {
    LogFinished(gManager->jobs->CurrentProgress().finished);
    JobResult r = gManager->jobs->TakeResult();
    gManager->jobs->Wait();
    if (!SetBusy(false)) return;
    std::string status;
    conn::PortOwner offer;
    if (r.listed) {
        gManager->devices = r.devices.devices;
        if (!r.devices.error.empty()) status = AdbTroubleStatus(r.devices.error, &offer);
        else if (gManager->devices.empty()) status = NoPhoneStatus();
        const dev::Device* chosen = r.readSerial.empty() ? FindDevice(gManager->serial, gManager->server)
                                                         : FindDevice(r.readSerial, r.readServer);
        Choose(chosen);
        ShowDevices();
        if (!chosen && status.empty()) status = "请选择设备";
        else if (chosen && chosen->state != dev::DeviceState::Ready) status = dev::StateHint(*chosen);
        // A server that does not answer hides none of the others' phones.
        std::string lines;
        for (const std::string& e : r.serverErrors) lines += text::OneLine(e) + "\r\n";
        for (const std::string& e : r.reconnectFailures) lines += text::OneLine(e) + "\r\n";
        if (!lines.empty()) view::AppendLog(lines);
        if (!r.serverErrors.empty() && status.empty()) status = text::OneLine(r.serverErrors[0]);
    }
    if (!r.batches.empty()) {
        size_t devices = 0;
        const dev::BatchResult* last = nullptr;
        for (const dev::BatchResult& b : r.batches) {
            if (!last || b.serial != last->serial || b.server != last->server) devices++;
            last = &b;
        }
        LogBatches(r.batches, devices);
        gManager->logged.clear();
        status = Summary(r.batches, r.cancelled);
    }
    if (!r.readSerial.empty() && r.readSerial == gManager->serial && r.readServer == gManager->server) {
        if (!r.read.snapshot.users.empty() && r.user == gManager->user) {
            gManager->users = r.read.snapshot.users;
            ShowUsers();
        }
        if (r.read.snapshot.complete && r.user == gManager->user) {
            // Checks belong to the phone they were made on.
            if (r.phone.key != gManager->phone.key || r.phone.serial != gManager->phone.serial) {
                if (!gManager->phone.serial.empty()) gManager->rows.ClearChecks();
                gManager->rows.ClearLabels();   // names too: another phone may have other versions
            }
            gManager->phone = r.phone;
            gManager->history = r.history;
            gManager->rows.Show(r.read.snapshot, r.lastActions);
            // A batch leaves the APKs as they were: names are read anew only with the list.
            if (r.batches.empty()) {
                size_t n = r.read.snapshot.packages.size();
                status = "已读取 " + std::to_string(n) + " 个应用";
                if (StartNames()) status += "，正在读取应用名称 " + OfTotal(0, n);
            }
        } else if (r.read.snapshot.userDenied && r.user == gManager->user) {
            // Nothing of this user can be listed or changed over adb: said once.
            std::string said = CurrentUserLabel() + "：" + dev::kUserDenied;
            view::AppendLog(said + "\r\n");
            status = said;
        } else if (r.read.snapshot.serviceFailed) {
            // The list shown stays as it was: a failed read tells nothing about the states.
            view::AppendLog(text::OneLine(r.read.snapshot.failure) + "\r\n");
            status = dev::kServiceNotAnswering;
        } else if (status.empty()) {
            status = "读取应用列表失败：" + text::OneLine(r.read.error);
        }
    }
    if (status.empty() && r.cancelled) status = "已取消";
    // The actions went through; that the record missed them is said, not hidden.
    if (!r.recordError.empty()) {
        view::AppendLog(text::OneLine(r.recordError) + "\r\n");
        status = text::OneLine(r.recordError) + (status.empty() ? "" : "；" + status);
    }
    Status(status);
    if (offer.Known()) OfferToEnd(offer);
    if (gManager->offers && !r.cancelled) OfferInstead(r.batches);
    if (r.forUndo && !r.cancelled) ContinueUndo(r);
}

// A phone's outcomes go into the log as its batch ends: sixteen phones'
// lines at the job's end would hold the window for a quarter of a second.
void LogFinished(const std::vector<dev::BatchResult>& finished) {
    if (finished.empty()) return;
    LogBatches(finished, 2);
    for (const dev::BatchResult& b : finished) gManager->logged.push_back(BatchKey(b));
}

void ShowProgress() {
    Progress p = gManager->jobs->CurrentProgress();
    LogFinished(p.finished);
    if (p.reported == 0 && p.toCopy > 0 && p.copied < p.toCopy) {
        // Before a delete: the user apps' APKs on their way to this computer.
        constexpr unsigned long long kMb = 1 << 20;
        view::SetProgress(static_cast<int32_t>(p.copied / kMb), static_cast<int32_t>((p.toCopy + kMb - 1) / kMb));
        if (!Open()) return;
        Status("正在把安装包复制到电脑 " + std::to_string(p.copied / kMb) + "/" + std::to_string((p.toCopy + kMb - 1) / kMb) +
               " MB " + gManager->rows.Display(p.copying));
        return;
    }
    if (p.total == 0) return;
    view::SetProgress(static_cast<int32_t>(p.reported), static_cast<int32_t>(p.total));
    if (!Open()) return;
    Status(gManager->running + " " + OfTotal(p.reported, p.total) + " " + gManager->rows.Display(p.current));
}

void Refresh() {
    JobRequest request;
    request.listDevices = true;
    request.servers = gManager->servers;
    request.preferred = gManager->serial;
    request.preferredServer = gManager->server;
    request.user = gManager->user;
    StartJob(request, kReadingAll);
}

// A list of names for a box, cut after a screenful.
std::string NameLines(const std::vector<std::string>& names, const std::vector<std::string>* reasons = nullptr) {
    std::string s;
    for (size_t i = 0; i < names.size() && i < kNamesInABox; i++)
        s += gManager->rows.Display(names[i]) + (reasons && !(*reasons)[i].empty() ? "：" + (*reasons)[i] : std::string()) + "\r\n";
    if (names.size() > kNamesInABox) s += "……共 " + std::to_string(names.size()) + " 个\r\n";
    return s;
}

// What the user agrees to before the phone is touched.
bool Confirmed(dev::Action action, const std::vector<std::string>& names) {
    if (action != dev::Action::Disable && action != dev::Action::Delete) return true;
    std::vector<std::string> risky, reasons, userApps, systemApps;
    for (const std::string& name : names) {
        if (const std::string* reason = knowledge::RiskReason(name)) {
            risky.push_back(name);
            reasons.push_back(*reason);
        }
        const dev::Package* p = dev::FindPackage(gManager->rows.Snapshot(), name);
        if (action == dev::Action::Delete && p && p->kind == dev::PackageKind::User) userApps.push_back(name);
        if (action == dev::Action::Delete && p && p->kind == dev::PackageKind::System) systemApps.push_back(name);
    }
    std::string verb = dev::ActionVerb(action);
    if (!risky.empty() &&
        !view::Ask("下列应用" + verb + "后手机可能无法开机或无法正常使用：\r\n\r\n" + NameLines(risky, &reasons) +
                       "\r\n确定要" + verb + "它们吗？",
                   "有风险的操作"))
        return false;
    if (!Open()) return false;
    if (!userApps.empty() &&
        !view::Ask("下列应用是用户自己安装的，删除时 Android 会连安装包一起删掉。删除前先把它们的安装包复制到这台电脑（" +
                       dev::ApkCopiesRoot() + "），恢复 和 全部撤销 用它重新安装；复制不成功的不删除：\r\n\r\n" +
                       NameLines(userApps) + "\r\n确定要删除吗？",
                   "删除用户应用"))
        return false;
    if (!Open()) return false;
    // Android 7 and older have no install-existing: a deleted system app
    // comes back only with a factory reset.
    const dev::PackageSnapshot& s = gManager->rows.Snapshot();
    if (!systemApps.empty() && s.api > 0 && s.api < dev::kRestoreApi &&
        !view::Ask("这台手机是 Android " + (s.release.empty() ? "API " + std::to_string(s.api) : s.release) +
                       "：删除的系统应用在这个版本上无法用 恢复 找回，只有恢复出厂设置才能找回。确定要删除下列应用吗？\r\n\r\n" +
                       NameLines(systemApps),
                   "删除系统应用"))
        return false;
    return Open();
}

// Apps the phone said the system itself disabled (state 2) stay so: adb
// may not move them, and asking again changes nothing.
bool LeaveSystemDisabled(dev::Action action, std::vector<std::string>* names) {
    if (action != dev::Action::Disable && action != dev::Action::Enable) return true;
    std::vector<std::string> kept;
    std::string log;
    for (const std::string& n : *names) {
        if (!gManager->rows.DisabledBySystem(n)) kept.push_back(n);
        else log += gManager->rows.Display(n) + "：已被系统停用，adb 不能" + dev::ActionVerb(action) + "它，没有发送\r\n";
    }
    if (log.empty()) return true;
    view::AppendLog(log);
    names->swap(kept);
    if (!names->empty()) return true;
    Status("选中的应用已被系统停用，adb 不能" + std::string(dev::ActionVerb(action)) + "它们，没有操作");
    return false;
}

// What the phone's Android version will not do is said before anything is
// sent: from Android 17 adb deletes no system app for one user, and the user
// chooses to disable those instead (`instead`), to leave them, or to stop.
bool AskAboutVersion(dev::Action action, std::vector<std::string>* names, std::vector<std::string>* instead) {
    const dev::PackageSnapshot& s = gManager->rows.Snapshot();
    if (action != dev::Action::Delete || s.api < dev::kRootOnlyDeleteApi) return true;
    std::vector<std::string> system, rest;
    for (const std::string& n : *names) {
        const dev::Package* p = dev::FindPackage(s, n);
        (p && p->kind == dev::PackageKind::System ? system : rest).push_back(n);
    }
    if (system.empty()) return true;
    view::Answer a = view::AskYesNoCancel(
        "这台手机是 Android " + (s.release.empty() ? "API " + std::to_string(s.api) : s.release) +
            "：从 Android 17 起，adb 不能为单个用户删除系统应用（只有 root 可以），但可以禁用。下列 " +
            std::to_string(system.size()) + " 个是系统应用：\r\n\r\n" + NameLines(system) +
            "\r\n“是”：改用禁用它们" + (rest.empty() ? "" : "（其余的照常删除）") + "；“否”：不操作它们；“取消”：都不操作。",
        "改用禁用？");
    if (!Open() || a == view::Answer::Cancel) return false;
    names->swap(rest);
    if (a == view::Answer::Yes) *instead = system;
    return true;
}

void RunAction(dev::Action action) {
    if (!Open() || gManager->jobs->Running()) return;
    std::vector<std::string> hidden;
    std::vector<std::string> names = gManager->rows.Targets(&hidden);
    if (names.empty()) {
        Status("请先勾选或选中要" + std::string(dev::ActionVerb(action)) + "的应用");
        return;
    }
    // Checked packages the filter or the choices hide are not acted on unseen.
    if (!hidden.empty()) {
        view::Answer a = view::AskYesNoCancel(
            "已勾选 " + std::to_string(names.size()) + " 个，其中 " + std::to_string(hidden.size()) +
                " 个不在当前列表中：一并操作？\r\n\r\n" + NameLines(hidden) +
                "\r\n“是”：全部" + dev::ActionVerb(action) + "；“否”：只" + dev::ActionVerb(action) +
                "列表中显示的；“取消”：不操作。",
            std::string(dev::ActionVerb(action)) + "已勾选的应用");
        if (!Open() || a == view::Answer::Cancel) return;
        if (a == view::Answer::No) {
            std::set<std::string> out(hidden.begin(), hidden.end());
            std::vector<std::string> shown;
            for (const std::string& n : names)
                if (!out.count(n)) shown.push_back(n);
            names.swap(shown);
            if (names.empty()) {
                Status("列表中没有显示已勾选的应用，没有操作");
                return;
            }
        }
    }
    bool everyDevice = view::Checked(data::kMgrAllDevices);
    if (!everyDevice && !LeaveSystemDisabled(action, &names)) return;
    const dev::PackageSnapshot& s = gManager->rows.Snapshot();
    if (action == dev::Action::Restore && !everyDevice && s.api > 0 && s.api < dev::kRestoreApi) {
        std::string why = "这台手机是 Android " + (s.release.empty() ? "API " + std::to_string(s.api) : s.release) +
                          "，恢复已删除的应用需要 Android 8 或更高版本。";
        Status(why);
        view::Tell(why, "无法恢复");
        return;
    }
    JobRequest request;
    request.preferred = gManager->serial;
    request.preferredServer = gManager->server;
    request.user = gManager->user;
    request.knownApi = s.api;
    request.model = s.model;
    // The batch goes to the phone the list was read from, and no other on its serial.
    request.phone = gManager->phone.key;
    if (everyDevice) {
        // Each phone with the user chosen for it (its owner unless another was chosen).
        for (const dev::Device& d : gManager->devices) {
            if (d.state != dev::DeviceState::Ready) continue;
            bool shown = d.serial == gManager->serial && d.server == gManager->server;
            request.targets.push_back(dev::Target{d.server, d.serial, shown ? gManager->user : ChosenUser(d.server, d.serial),
                                                  shown ? gManager->phone.key : std::string()});
        }
    } else if (!gManager->serial.empty()) {
        request.targets.push_back(dev::Target{gManager->server, gManager->serial, gManager->user, gManager->phone.key});
    }
    if (request.targets.empty()) {
        Status("没有可用的设备");
        return;
    }
    std::vector<std::string> instead;
    if (!everyDevice && !AskAboutVersion(action, &names, &instead)) return;
    if (!names.empty() && !Confirmed(action, names)) return;
    if (!instead.empty() && !Confirmed(dev::Action::Disable, instead)) return;
    if (names.empty() && instead.empty()) {
        Status("没有要" + std::string(dev::ActionVerb(action)) + "的应用");
        return;
    }
    request.steps.push_back(Step{action, names, {}});
    request.steps.push_back(Step{dev::Action::Disable, instead, {}});
    request.readPackages = true;
    StartJob(request, std::string("正在") + dev::ActionVerb(names.empty() ? dev::Action::Disable : action) + "...", true);
}

// Where the phone refused an action that another one does, the user is asked
// once for all such packages of the job: a phone that will not disable its
// system apps deletes them (HyperOS; the data stays, 恢复 brings them back),
// and one that will not delete them disables them (Android 17, and makers'
// protected apps). Each phone gets the new action for its own refusals.
void OfferInstead(const std::vector<dev::BatchResult>& batches) {
    for (dev::Action instead : {dev::Action::Delete, dev::Action::Disable}) {
        std::vector<Step> steps;
        std::vector<std::string> names, reasons;
        for (const dev::BatchResult& b : batches) {
            Step step{instead, {}, {dev::Target{b.server, b.serial}}};
            for (const dev::PackageResult& r : b.results) {
                dev::Action works;
                if (!dev::InsteadAction(b.action, r.outcome, &works) || works != instead) continue;
                step.names.push_back(r.name);
                if (std::find(names.begin(), names.end(), r.name) != names.end()) continue;
                names.push_back(r.name);
                const std::string* risk = knowledge::RiskReason(r.name);
                reasons.push_back(risk ? *risk : std::string());
            }
            if (!step.names.empty()) steps.push_back(step);
        }
        if (steps.empty()) continue;
        bool toDelete = instead == dev::Action::Delete;
        std::string text = toDelete
            ? "手机不允许禁用下列系统应用，但允许删除（删除保留它们的数据，以后可以用 恢复 找回）：\r\n\r\n"
            : "手机不允许删除下列应用，但允许禁用（以后可以用 启用 找回）：\r\n\r\n";
        text += NameLines(names, &reasons) + "\r\n改用" + dev::ActionVerb(instead) + "？";
        bool yes = view::Ask(text, std::string("改用") + dev::ActionVerb(instead));
        if (!Open()) return;
        if (!yes) continue;
        JobRequest request;
        request.preferred = gManager->serial;
        request.preferredServer = gManager->server;
        request.user = gManager->user;
        request.knownApi = gManager->rows.Snapshot().api;
        request.model = gManager->rows.Snapshot().model;
        request.targets = steps[0].targets;
        request.steps = steps;
        request.readPackages = true;
        StartJob(request, std::string("正在") + dev::ActionVerb(instead) + "...");
        return;
    }
}

// Marks the window busy while its first read, started on creation, runs.
void OnOpened() {
    if (gBringForward) {
        gBringForward = false;
        view::BringForward();
    }
    if (!gManager->jobs->Running()) return;
    Status(gManager->running);
    SetBusy(true);
}

} // namespace

void PreferDevice(const std::string& serial) { gPreferred = serial; }

// The start-up window shows itself, active, after its created handler: the
// window's first posted event, which comes after that, brings this one forward.
void OpenManagerAtStart() {
    gBringForward = true;
    OnOpenManager(0, nullptr, nullptr);
}

void PrepareManager() {
    if (gManager || gEarly) return;   // the window is there already, or being made
    gEarly.reset(new Jobs(0));
    JobRequest request;
    request.listDevices = true;
    request.servers = dev::ReadServers(dev::DefaultServersPath());
    request.preferred = gPreferred;
    if (!gEarly->Start(request)) gEarly.reset();
}

bool OnManagerCreated(int32_t, const int64_t*, int64_t*) {
    uint32_t target = static_cast<uint32_t>(rt::kServices.auxiliary(rt::kAuxPostTarget, data::kManagerWindow));
    gManager.reset(new Manager(target));
    gManager->servers = dev::ReadServers(dev::DefaultServersPath());
    gManager->names.LoadCache();
    // The first read started with the menu choice (else it starts now); the
    // window shows while it runs and, once shown with the focus on its first
    // control, marks itself busy.
    rt::kServices.auxiliary(rt::kAuxPostEvent, target, kPostedOpened);
    if (gEarly) {
        gManager->jobs = std::move(gEarly);
        gManager->jobs->Adopt(target);
        gManager->running = kReadingAll;
        return false;
    }
    JobRequest request;
    request.listDevices = true;
    request.servers = gManager->servers;
    request.preferred = gPreferred;
    if (gManager->jobs->Start(request)) gManager->running = kReadingAll;
    else Status("无法启动后台任务");
    return false;
}

// The worker is stopped before the window goes: no post outlives it.
bool OnManagerDestroyed(int32_t, const int64_t*, int64_t*) {
    if (!gManager) return false;
    gManager->names.Stop();   // its adb run ends at once
    // The window goes at once; a batch stops after the package in progress
    // and finishes its record in the background.
    if (gManager->jobs->Running()) {
        Jobs::Orphan(std::move(gManager->jobs));
        gManager->jobs.reset(new Jobs(0));
    }
    if (gDepth > 0) gClosed = true;
    else gManager.reset();
    return false;
}

bool OnManagerPosted(int32_t argc, const int64_t* argv, int64_t*) {
    Entered entered;
    if (!Open() || argc < 1) return false;
    if (argv[0] == kPostedDone) OnJobDone();
    else if (argv[0] == kPostedProgress) ShowProgress();
    else if (argv[0] == kPostedOpened) OnOpened();
    else if (argv[0] == kPostedNames) OnNamesArrived();
    return false;
}

// 添加远程 adb 服务器…: the server goes into the list kept between runs,
// and a refresh lists its phones beside the others.
void AddServer() {
    dev::Server server;
    bool added = AskForServer(&server);
    if (!Open()) return;
    ShowDevices();   // the choice goes back from the last item
    if (!added) return;
    if (dev::IsThisComputersServer(server)) {
        view::Tell(server.Label() + " 是这台电脑自己的 adb 服务器：它连接的手机已经列在“设备”里，不用再添加。", "添加远程 adb 服务器");
        return;
    }
    for (const dev::Server& s : gManager->servers)
        if (s == server) {
            Refresh();
            return;
        }
    gManager->servers.push_back(server);
    std::string why;
    if (!dev::WriteServers(dev::DefaultServersPath(), gManager->servers, &why))
        view::AppendLog("远程 adb 服务器只在这次运行中有效：" + text::OneLine(why) + "\r\n");
    Refresh();
}

// 无线连接…: a phone the window connected is listed and read at once.
void ConnectWirelessly() {
    std::string serial = AskToConnectWirelessly();
    if (!Open()) return;
    ShowDevices();   // the choice goes back from the item
    if (serial.empty()) return;
    gManager->serial = serial;
    gManager->server = dev::Server();
    Refresh();
}

bool OnDeviceChosen(int32_t argc, const int64_t* argv, int64_t*) {
    Entered entered;
    if (Open() && argc >= 1 && static_cast<size_t>(argv[0]) >= gManager->devices.size()) {
        if (gManager->jobs->Running()) ShowDevices();   // the choice goes back; the item waits for the job
        else if (static_cast<size_t>(argv[0]) == gManager->devices.size()) ConnectWirelessly();
        else AddServer();
        return false;
    }
    if (!Open() || argc < 1 || argv[0] < 0 || static_cast<size_t>(argv[0]) >= gManager->devices.size()) return false;
    const dev::Device& d = gManager->devices[static_cast<size_t>(argv[0])];
    Choose(&d);
    gManager->names.Stop();
    gManager->rows.Clear();
    // The user chosen for this phone before, else its owner; its other users come with the read.
    gManager->user = ChosenUser(d.server, d.serial);
    gManager->users.clear();
    ShowUsers();
    if (d.state != dev::DeviceState::Ready) {
        Status(dev::StateHint(d));
        return false;
    }
    JobRequest request;
    request.preferred = d.serial;
    request.preferredServer = d.server;
    request.user = gManager->user;
    request.readPackages = true;
    StartJob(request, "正在读取应用...");
    return false;
}

// Another user of the phone (a work profile, a second user): its packages,
// actions and record are its own.
bool OnUserChosen(int32_t argc, const int64_t* argv, int64_t*) {
    Entered entered;
    if (!Open() || argc < 1 || argv[0] < 0 || static_cast<size_t>(argv[0]) >= gManager->users.size()) return false;
    int user = gManager->users[static_cast<size_t>(argv[0])].id;
    if (user == gManager->user) return false;
    if (gManager->jobs->Running()) {   // the choice waits for the job
        ShowUsers();
        return false;
    }
    gManager->user = user;
    gManager->chosenUsers[PhoneTag(gManager->server, gManager->serial)] = user;
    gManager->names.Stop();
    gManager->rows.Clear();
    JobRequest request;
    request.preferred = gManager->serial;
    request.preferredServer = gManager->server;
    request.user = user;
    request.readPackages = true;
    StartJob(request, "正在读取应用...");
    return false;
}

bool OnRefresh(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    if (Open()) Refresh();
    return false;
}

bool OnFilterChanged(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    if (Open()) gManager->rows.ApplyFilter(view::Text(data::kMgrFilter));
    return false;
}

bool OnShowChanged(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    if (Open()) gManager->rows.Reshow();
    return false;
}

bool OnChecksChanged(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    if (Open()) {
        gManager->rows.SyncChecks();
        gManager->rows.UpdateCount();
    }
    return false;
}

// A second click on the same column turns the order round.
bool OnColumnClicked(int32_t argc, const int64_t* argv, int64_t*) {
    Entered entered;
    if (!Open() || argc < 1) return false;
    int32_t column = static_cast<int32_t>(argv[0]);
    gManager->sortDescending = column == gManager->sortColumn && !gManager->sortDescending;
    gManager->sortColumn = column;
    view::Sort(column, gManager->sortDescending);
    return false;
}

// F5 anywhere in the window refreshes; the key goes no further.
bool OnManagerKey(int32_t argc, const int64_t* argv, int64_t* result) {
    Entered entered;
    if (argc < 1 || argv[0] != kKeyF5) return false;
    if (Open() && !gManager->jobs->Running()) Refresh();
    *result = 0;
    return true;
}

bool OnManagerListKey(int32_t argc, const int64_t* argv, int64_t* result) { return OnManagerKey(argc, argv, result); }

// Enter in the filter box takes the user to the list.
bool OnManagerFilterKey(int32_t argc, const int64_t* argv, int64_t* result) {
    Entered entered;
    if (argc < 1 || argv[0] != kKeyEnter) return OnManagerKey(argc, argv, result);
    view::FocusList();
    *result = 0;
    return true;
}

bool OnDisableChecked(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    RunAction(dev::Action::Disable);
    return false;
}
bool OnEnableChecked(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    RunAction(dev::Action::Enable);
    return false;
}
bool OnDeleteChecked(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    RunAction(dev::Action::Delete);
    return false;
}
bool OnRestoreChecked(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    RunAction(dev::Action::Restore);
    return false;
}

bool OnCancelJob(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    if (Open() && gManager->jobs->Running()) {
        gManager->jobs->Cancel();
        Status("正在取消：当前这个应用完成后停止...");
    } else if (Open() && gManager->names.Running()) {
        gManager->names.Cancel();
        Status("正在停止读取应用名称...");
    }
    return false;
}

bool OnImportList(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    std::string path;
    if (!Open() || !view::ChooseOpenFile(&path) || !Open()) return false;
    dev::PackageList list;
    std::string error;
    if (!dev::ReadPackageListFile(path, &list, &error)) {
        Status(error);
        view::Tell(error, "导入列表");
        return false;
    }
    // The log shows at most the lines the list keeps of each kind and counts
    // the rest: a list of 700,000 names is one write the window can carry.
    std::string log;
    for (const dev::ListLine& l : list.refused)
        log += "第 " + std::to_string(l.number) + " 行不是包名（" + l.reason + "）：" + l.text + "\r\n";
    if (list.refusedCount > list.refused.size())
        log += "……还有 " + std::to_string(list.refusedCount - list.refused.size()) + " 行不是包名，没有列出\r\n";
    size_t hidden = 0;
    std::vector<std::string> missing = gManager->rows.CheckNames(list.names, &hidden);
    for (size_t i = 0; i < missing.size() && i < dev::kRefusedLinesKept; i++)
        log += missing[i] + "：手机上没有这个应用\r\n";
    if (missing.size() > dev::kRefusedLinesKept)
        log += "……还有 " + std::to_string(missing.size() - dev::kRefusedLinesKept) + " 个手机上没有的包名，没有列出\r\n";
    if (!log.empty()) view::AppendLog(log);
    std::string status = "导入 " + std::to_string(list.names.size()) + " 个包名，手机上没有 " +
                         std::to_string(missing.size()) + " 个，不是包名的行 " + std::to_string(list.refusedCount) +
                         " 行";
    if (hidden) status += "；已勾选的应用中有 " + std::to_string(hidden) + " 个不在当前列表中";
    Status(status);
    return false;
}

bool OnExportList(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    if (!Open()) return false;
    std::vector<std::string> names = gManager->rows.ExportNames();
    std::string path;
    if (names.empty()) {
        Status("没有可导出的应用");
        return false;
    }
    if (!view::ChooseSaveFile(&path) || !Open()) return false;
    std::string error;
    std::vector<std::string> labels;
    for (const std::string& n : names) labels.push_back(gManager->rows.LabelUtf8(n));
    if (!dev::WritePackageListFile(path, names, &error, "", labels)) {
        Status(error);
        view::Tell(error, "导出列表");
        return false;
    }
    Status("已导出 " + std::to_string(names.size()) + " 个包名到 " + path);
    return false;
}

bool OnShowRecord(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    if (!Open()) return false;
    if (gManager->serial.empty()) {
        Status("请先选择设备");
        return false;
    }
    // The phone's history as its last read found it: the record is read by
    // the jobs, never on the window's thread.
    const std::vector<dev::RecordEntry>& history = gManager->history;
    std::string text;
    size_t shown = 0;
    for (auto it = history.rbegin(); it != history.rend() && shown < kRecordLines; ++it, ++shown) {
        dev::PackageResult r;
        r.name = it->package;
        r.outcome = it->outcome;
        text += dev::LocalTimeText(it->time) + "  " + gManager->rows.Display(it->package) + "  " + dev::ActionVerb(it->action) + "  " +
                dev::OutcomeMessage(it->action, r) + "\r\n";
    }
    if (history.empty()) text = "这台设备还没有操作记录。\r\n";
    else if (history.size() > shown)
        text += "……共 " + std::to_string(history.size()) + " 条，只显示最近的 " + std::to_string(shown) + " 条\r\n";
    text += "\r\n记录文件：" + gManager->jobs->Record().Path();
    view::Tell(text, "操作记录");
    return false;
}

// 全部撤销 first reads the phone afresh (its states and its identity, in one
// adb run): undo is worked out from what the phone shows now, not from the
// list on screen, and only for the phone the list was read from.
bool OnUndoAll(int32_t, const int64_t*, int64_t*) {
    Entered entered;
    if (!Open() || gManager->jobs->Running()) return false;
    if (gManager->serial.empty() || !gManager->rows.HasPackages()) {
        Status("请先选择设备");
        return false;
    }
    gManager->undoPhone = gManager->phone;
    JobRequest request;
    request.preferred = gManager->serial;
    request.preferredServer = gManager->server;
    request.user = gManager->user;
    request.readPackages = true;
    request.forUndo = true;
    StartJob(request, "正在读取手机现在的状态...");
    return false;
}

namespace {

// The undo read has ended: refuse another phone, else ask and undo.
void ContinueUndo(const JobResult& r) {
    const dev::PackageSnapshot& s = r.read.snapshot;
    if (r.readSerial.empty() || !s.complete || r.user != gManager->user) {
        Status("无法读取手机现在的状态，没有撤销");
        return;
    }
    const dev::PhoneId& meant = gManager->undoPhone;
    if (!meant.key.empty() && !dev::SameIdentity(meant.key, r.phone.key)) {
        std::string why = "连接在 " + r.readSerial + " 上的手机（" + (r.phone.key.empty() ? "标识读不出" : r.phone.key) +
                          "）不是刚才列表里的那一台（" + meant.key + "），没有撤销。";
        Status(why);
        view::Tell(why + "\r\n\r\n列表现在显示的是这台手机；它的操作记录另算。", "全部撤销");
        return;
    }
    const std::vector<dev::UndoItem>& undo = r.undo;
    if (undo.empty()) {
        Status("没有需要撤销的操作");
        view::Tell("本工具在这台设备上改动过的应用都已是改动前的状态（或之后被别的方式改过），没有需要撤销的操作。",
                   "全部撤销");
        return;
    }
    Step restore{dev::Action::Restore, {}, {}}, enable{dev::Action::Enable, {}, {}}, disable{dev::Action::Disable, {}, {}},
        remove{dev::Action::Delete, {}, {}};
    std::vector<std::string> names, what;
    for (const dev::UndoItem& u : undo) {
        if (u.restore) restore.names.push_back(u.package);
        if (u.enable) enable.names.push_back(u.package);
        if (u.disable) disable.names.push_back(u.package);
        if (u.remove) remove.names.push_back(u.package);
        names.push_back(u.package);
        what.push_back(u.remove    ? "删除（本工具恢复前它是删除的）"
                       : u.restore ? (u.enable ? "恢复并启用" : u.disable ? "恢复并禁用" : "恢复")
                       : u.enable  ? "启用"
                                   : "禁用（本工具启用前它是禁用的）");
    }
    if (!view::Ask("将把下列应用恢复到本工具改动它们之前的状态：\r\n\r\n" + NameLines(names, &what) + "\r\n确定吗？", "全部撤销") ||
        !Open())
        return;
    JobRequest request;
    request.preferred = gManager->serial;
    request.preferredServer = gManager->server;
    request.targets = {dev::Target{gManager->server, gManager->serial, r.user, r.phone.key}};
    request.phone = r.phone.key;
    request.knownApi = s.api;
    request.model = s.model;
    request.readPackages = true;
    request.user = r.user;
    request.steps = {restore, enable, disable, remove};
    StartJob(request, "正在撤销...");
}

} // namespace

} // namespace app
