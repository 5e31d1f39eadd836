#include "commands.h"

#include <windows.h>
#include <algorithm>
#include <set>
#include "knowledge/risk.h"
#include "search/pinyin.h"
#include "device/lists.h"
#include "device/names.h"
#include "apk/respool.h"
#include "text/text.h"
#include "connect/hints.h"
#include "phone.h"
#include "report.h"
#include "wireless.h"

namespace cli {

namespace {

constexpr size_t kLongestPath = 32768;

std::wstring ExeFolder() {
    std::wstring path(kLongestPath, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(n);
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool IsFile(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string Environment(const wchar_t* name) {
    wchar_t value[256];
    DWORD n = GetEnvironmentVariableW(name, value, 256);
    return n > 0 && n < 256 ? Narrow(std::wstring(value, n)) : std::string();
}

dev::Action ActionOf(Command c) {
    switch (c) {
    case Command::Enable: return dev::Action::Enable;
    case Command::Delete: return dev::Action::Delete;
    case Command::Restore: return dev::Action::Restore;
    default: return dev::Action::Disable;
    }
}

// The phones a command works on, or the exit status that ends it.
struct Chosen {
    std::vector<dev::Device> phones;
    int exit = -1;
};

// The device list is every command's first adb run, and runs alone: it
// starts the adb server when none runs, before any calls side by side (two
// clients that both find no server both start one, and one of them fails).
Chosen ChoosePhones(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel) {
    Chosen c;
    dev::DeviceList list = phone::Devices(adb, &cancel);
    if (cancel.Requested()) {
        c.exit = kExitCancelled;
        return c;
    }
    if (!list.error.empty()) {
        if (!TellAdbTrouble(list.error, std::string(), out)) out.Error(text::OneLine(list.error));
        c.exit = kExitNoPhone;
        return c;
    }
    std::vector<dev::Device> ready;
    for (const dev::Device& d : list.devices)
        if (d.state == dev::DeviceState::Ready) ready.push_back(d);
    std::string serial = o.all ? std::string() : !o.device.empty() ? o.device : Environment(L"ANDROID_SERIAL");
    if (!serial.empty()) {
        for (const dev::Device& d : list.devices) {
            if (d.serial != serial) continue;
            if (d.state == dev::DeviceState::Ready) {
                c.phones.push_back(d);
            } else {
                out.Error(dev::DeviceLabel(d));
                c.exit = kExitNoPhone;
            }
            return c;
        }
        out.Error("没有找到序列号为“" + serial + "”的手机，adbctl devices 列出连接的手机");
        c.exit = kExitNoPhone;
        return c;
    }
    // Phones that are not ready are named with what to do about them.
    for (const dev::Device& d : list.devices)
        if (d.state != dev::DeviceState::Ready && (o.all || ready.empty())) out.Error(dev::DeviceLabel(d));
    if (ready.empty()) {
        out.Error(list.devices.empty() ? conn::NoPhoneHint() : "没有可用的手机");
        if (list.devices.empty()) out.Error(conn::NoPhoneDetails());
        c.exit = kExitNoPhone;
    } else if (ready.size() > 1 && !o.all) {
        out.Error("连接了 " + std::to_string(ready.size()) + " 台手机：用 --device 序列号 选一台，或用 --all 操作全部");
        c.exit = kExitUsage;
    } else {
        c.phones = ready;
    }
    return c;
}

std::vector<std::string> Serials(const std::vector<dev::Device>& phones) {
    std::vector<std::string> s;
    for (const dev::Device& d : phones) s.push_back(d.serial);
    return s;
}

bool ReadAll(const std::vector<std::string>& serials, const std::vector<dev::PackageRead>& reads, Output& out) {
    bool ok = true;
    for (size_t i = 0; i < reads.size(); i++) {
        if (reads[i].snapshot.complete) continue;
        out.Error("[" + serials[i] + "] 读取应用列表失败：" + text::OneLine(reads[i].error));
        ok = false;
    }
    return ok;
}

dev::ActionRecord RecordOf(const Options& o) {
    return o.recordFile.empty() ? dev::ActionRecord() : dev::ActionRecord(AnsiPath(o.recordFile));
}

// A complete read of a phone settles what the record left open on it (a
// batch cut off, a tool that ended before its batch told).
void SettleRead(const Options& o, const std::vector<std::string>& serials, const std::vector<dev::PackageRead>& reads,
                Output& out) {
    dev::ActionRecord record = RecordOf(o);
    for (size_t i = 0; i < serials.size(); i++) {
        std::string why;
        if (!phone::Settle(record, serials[i], o.user, reads[i].snapshot, &why)) out.Error("操作记录无法写入：" + why);
    }
}

// The names cache the window keeps, or --names-file; read.
appnames::NameCache NamesOf(const Options& o) {
    appnames::NameCache cache(o.namesFile.empty() ? appnames::NameCache::DefaultPath() : AnsiPath(o.namesFile));
    cache.Load();
    return cache;
}

// Whether --state, --kind and --filter let the package through; the filter
// looks in its name too (`label`, null when not read).
bool Matches(const dev::Package& p, const appnames::AppLabel* label, const Options& o) {
    if (!o.state.empty() && o.state != dev::StateWord(p.state)) return false;
    if (o.kind == "system" && p.kind != dev::PackageKind::System) return false;
    if (o.kind == "user" && p.kind != dev::PackageKind::User) return false;
    if (o.filter.empty()) return true;
    auto lower = [](auto s) {
        for (auto& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<typename decltype(s)::value_type>(c - 'A' + 'a');
        return s;
    };
    std::string f = lower(o.filter);
    if (lower(p.name).find(f) != std::string::npos || lower(p.path).find(f) != std::string::npos) return true;
    if (!label || !label->hasName) return false;
    // Names as the window finds them: as they are, or by pinyin ("wx" 微信).
    return search::MatchesPinyin(search::MakePinyinKey(std::wstring(label->name.begin(), label->name.end())),
                                 search::PinyinQuery(Widen(o.filter)));
}

// Every phone's names, "正在读取应用名称 120/369" meanwhile on a console.
std::vector<appnames::NameRead> ReadLabels(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel,
                                      const std::vector<std::string>& serials,
                                      const std::vector<dev::PackageRead>& reads) {
    auto shown = [&](size_t done, size_t total) {
        out.Progress("正在读取应用名称 " + std::to_string(done) + "/" + std::to_string(total));
    };
    size_t total = 0;
    for (const dev::PackageRead& r : reads) total += r.snapshot.complete ? r.snapshot.packages.size() : 0;
    shown(0, total);
    std::vector<appnames::NameRead> names = phone::AppNames(adb, serials, reads, NamesOf(o), &cancel, shown);
    out.EndProgress();
    return names;
}

int ListCommand(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel) {
    Chosen c = ChoosePhones(o, adb, out, cancel);
    if (c.exit >= 0) return c.exit;
    std::vector<std::string> serials = Serials(c.phones);
    std::vector<dev::PackageRead> reads = phone::Packages(adb, serials, o.user, &cancel);
    if (cancel.Requested()) return kExitCancelled;
    SettleRead(o, serials, reads, out);
    // Stopped while reading names, the list is printed with the names read so far.
    std::vector<appnames::NameRead> names;
    if (o.appNames) names = ReadLabels(o, adb, out, cancel, serials, reads);
    Report report(out, o.json, o.all, o.appNames);
    for (size_t i = 0; i < reads.size(); i++) {
        const std::vector<dev::Package>& packages = reads[i].snapshot.packages;
        const std::vector<appnames::AppLabel>* labels = i < names.size() ? &names[i].apps : nullptr;
        for (size_t k = 0; k < packages.size(); k++) {
            const appnames::AppLabel* label = labels && k < labels->size() ? &(*labels)[k] : nullptr;
            if (Matches(packages[k], label, o))
                report.Package(serials[i], packages[k], knowledge::RiskReason(packages[k].name), label);
        }
    }
    bool complete = ReadAll(serials, reads, out);
    for (size_t i = 0; i < names.size(); i++)
        if (!names[i].error.empty() && !names[i].cancelled)
            out.Error("[" + serials[i] + "] 读取应用名称失败：" + text::OneLine(names[i].error));
    if (cancel.Requested()) {
        out.Error("已取消：没有读完应用名称，其余的应用没有名称");
        return kExitCancelled;
    }
    return complete ? kExitDone : kExitNoPhone;
}

int DevicesCommand(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel) {
    dev::DeviceList list = phone::Devices(adb, &cancel);
    if (cancel.Requested()) return kExitCancelled;
    if (!list.error.empty()) {
        if (!TellAdbTrouble(list.error, std::string(), out)) out.Error(text::OneLine(list.error));
        return kExitNoPhone;
    }
    Report report(out, o.json, false);
    for (const dev::Device& d : list.devices) report.Device(d);
    if (!list.devices.empty()) return kExitDone;
    out.Error(conn::NoPhoneHint());
    out.Error(conn::NoPhoneDetails());
    return kExitNoPhone;
}

// --- actions ------------------------------------------------------------------

// The names of the command line and of the list file, each once, in order.
struct Names {
    std::vector<std::string> names;
    std::vector<dev::ListLine> refused;   // lines of the file that name no package
};

int ReadNames(const Options& o, Output& out, Names* n) {
    std::set<std::string> seen;
    for (const std::string& name : o.names)
        if (seen.insert(name).second) n->names.push_back(name);
    if (o.fromFile.empty()) return -1;
    dev::PackageList list;
    std::string error;
    if (!dev::ReadPackageListFile(o.fromFile, &list, &error)) {
        out.Error(Narrow(o.fromFile) + "：" + error);
        return kExitUsage;
    }
    for (const std::string& name : list.names)
        if (seen.insert(name).second) n->names.push_back(name);
    n->refused = list.refused;
    if (n->names.empty() && n->refused.empty()) {
        out.Error(Narrow(o.fromFile) + "：文件里没有包名");
        return kExitUsage;
    }
    return -1;
}

// Why a package is not sent without --yes, or empty.
std::string NeedsYes(dev::Action a, const std::string& name, const dev::PackageSnapshot* now) {
    if (a != dev::Action::Disable && a != dev::Action::Delete) return std::string();
    std::string verb = dev::ActionVerb(a);
    if (const std::string* risk = knowledge::RiskReason(name))
        return "没有" + verb + "：" + *risk + "；确定要" + verb + "请加 --yes";
    const dev::Package* p = now ? dev::FindPackage(*now, name) : nullptr;
    // Said before anything is sent: what the phone's Android version will not do.
    if (a == dev::Action::Delete && p && p->kind == dev::PackageKind::System && now->api >= dev::kRootOnlyDeleteApi)
        return "没有删除：这台手机是 Android " + now->release +
               "，从 Android 17 起 adb 不能为单个用户删除系统应用；加 --yes 改用禁用，或用 adbctl disable";
    if (a == dev::Action::Delete && p && p->kind == dev::PackageKind::User)
        return "没有删除：这是用户自己安装的应用，删除会连安装包一起删掉；加 --yes 会先把安装包复制到电脑（restore 和 undo "
               "用它重新安装），复制不成功的不删除";
    if (a == dev::Action::Delete && p && p->kind == dev::PackageKind::System && now->api > 0 && now->api < dev::kRestoreApi)
        return "没有删除：这台手机是 Android " + now->release + "，删除的系统应用无法用 restore 找回，只有恢复出厂设置才能找回；"
               "确定要删除请加 --yes";
    return std::string();
}

// Done, or the phone already shows the action's state ("already so").
bool Settled(dev::Action a, const dev::BatchResult& b, const dev::PackageResult& r) {
    if (r.outcome == dev::Outcome::Done || r.outcome == dev::Outcome::Already) return true;
    if (r.outcome == dev::Outcome::BadName || r.outcome == dev::Outcome::Cancelled || !b.after.complete) return false;
    const dev::Package* p = dev::FindPackage(b.after, r.name);
    return p && dev::ShowsDone(a, p->state);
}

// One phone's part of an action: what goes to the phone, the outcome
// already decided for what does not, and the order of the lines.
struct PhonePlan {
    phone::Job job;
    const dev::PackageSnapshot* now = nullptr;   // the phone as read before, when it was
    std::vector<Outcome> refused;
    std::vector<std::string> order;   // every name of this phone, as printed
};

// What happened to `name` on the plan's phone: refused here, only shown (a
// dry run), or the batch's result.
Outcome LineFor(const Options& o, dev::Action action, const PhonePlan& plan, const dev::BatchResult* b,
                const std::string& name) {
    for (const Outcome& r : plan.refused)
        if (r.package == name) return r;
    Outcome line;
    line.device = plan.job.serial;
    line.package = name;
    line.action = action;
    if (o.dryRun) {
        line.outcome = "dry-run";
        // What the batch would send: it knows the phone's release when it read the phone first.
        line.command = dev::ActionCommand(action, o.user, name, plan.job.knownApi);
        line.message = "将发送：" + line.command;
        line.ok = true;
        return line;
    }
    if (!b) return line;
    for (const dev::PackageResult& r : b->results) {
        if (r.name != name) continue;
        line.outcome = dev::OutcomeWord(r.outcome);
        line.message = dev::OutcomeMessage(action, r);
        line.detail = r.text;
        line.ok = Settled(action, *b, r);
        line.before = r.beforeKnown ? dev::StateWord(r.before) : "";
        dev::Action instead;
        if (!line.ok && dev::InsteadAction(action, r.outcome, &instead)) line.instead = dev::ActionWord(instead);
        break;
    }
    return line;
}

// What a run left to say after its lines: the packages that did not end as
// asked, and those of them another action would do.
struct Carried {
    std::set<std::pair<std::string, std::string>> failed;   // (serial, package)
    struct Instead {
        std::string serial, package;
        dev::Action action;
    };
    std::vector<Instead> instead;
};

// Runs each plan's action (one adb process per phone, all at once; nothing
// on a dry run) and prints every outcome in each plan's order; the exit status.
// `known`: the names cache, null with --no-names.
int Carry(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel, dev::Action action,
          const std::vector<PhonePlan>& plans, const appnames::NameCache* known, Carried* carried = nullptr) {
    std::vector<phone::Job> jobs;
    for (const PhonePlan& p : plans)
        if (!p.job.names.empty()) jobs.push_back(p.job);
    std::vector<dev::BatchResult> batches;
    if (!o.dryRun && !jobs.empty()) {
        size_t total = 0, reported = 0;
        for (const phone::Job& j : jobs) total += j.names.size();
        phone::RunSettings s;
        s.user = o.user;
        s.cancel = &cancel;
        dev::ActionRecord record = RecordOf(o);
        s.record = &record;
        s.progress = [&](const std::string& serial, const dev::PackageResult& r) {
            reported++;
            std::u16string label = known ? phone::KnownName(*known, r.name, std::string()) : std::u16string();
            out.Progress("[" + std::to_string(reported) + "/" + std::to_string(total) + "] " +
                         (o.all ? serial + " " : std::string()) +
                         (label.empty() ? r.name : text::Utf8ToGbk(apk::Utf16ToUtf8(label)) + " (" + r.name + ")"));
        };
        batches = phone::Run(adb, jobs, action, s);
        out.EndProgress();
    }
    Report report(out, o.json, o.all, known != nullptr);
    bool failed = false, adbFailed = false;
    size_t next = 0;
    for (const PhonePlan& plan : plans) {
        const dev::BatchResult* b =
            plan.job.names.empty() || next >= batches.size() ? nullptr : &batches[next++];
        for (const std::string& name : plan.order) {
            Outcome line = LineFor(o, action, plan, b, name);
            if (known) {
                const dev::Package* p = plan.now ? dev::FindPackage(*plan.now, name) : nullptr;
                line.label = phone::KnownName(*known, name, p ? p->path : std::string());
            }
            failed = failed || !line.ok;
            adbFailed = adbFailed || line.outcome == dev::OutcomeWord(dev::Outcome::DeviceGone) ||
                        line.outcome == dev::OutcomeWord(dev::Outcome::NotSent);
            if (carried && !line.ok) carried->failed.insert({plan.job.serial, name});
            dev::Action instead;
            if (carried && !line.instead.empty() && dev::ActionFromWord(line.instead, &instead))
                carried->instead.push_back({plan.job.serial, name, instead});
            report.Result(line);
        }
        // A user the shell may not reach refuses every package alike: said once.
        bool denied = b && !b->results.empty();
        for (const dev::PackageResult& r : b ? b->results : std::vector<dev::PackageResult>())
            denied = denied && r.outcome == dev::Outcome::UserDenied;
        if (denied) out.Error("[" + b->serial + "] 用户 " + std::to_string(o.user) + "：" + dev::kUserDenied);
        else if (b && !b->error.empty()) out.Error("[" + b->serial + "] " + text::OneLine(b->error));
        if (b && !b->recordError.empty()) out.Error("[" + b->serial + "] " + text::OneLine(b->recordError));
    }
    if (cancel.Requested()) {
        out.Error("已取消：当前这个应用完成后停止，其余的没有发送");
        return kExitCancelled;
    }
    if (adbFailed) return kExitNoPhone;
    return failed ? kExitFailed : kExitDone;
}

// Where the phone refused the action but another does it (a phone that will
// not disable a system app deletes it; Android 17 disables what it will not
// delete): with --yes, which answers the window's questions for a script,
// the other action runs on each phone's refused packages and its lines
// follow; without, the way is said. The exit status counts what did not end
// as asked after that.
int CarryInstead(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel, const Carried& first,
                 const appnames::NameCache* known, int exit) {
    for (dev::Action instead : {dev::Action::Delete, dev::Action::Disable}) {
        std::vector<PhonePlan> plans;
        std::set<std::string> names;
        for (const Carried::Instead& i : first.instead) {
            if (i.action != instead) continue;
            names.insert(i.package);
            if (plans.empty() || plans.back().job.serial != i.serial) {
                plans.emplace_back();
                plans.back().job.serial = i.serial;
            }
            plans.back().job.names.push_back(i.package);
            plans.back().order.push_back(i.package);
        }
        if (plans.empty()) continue;
        std::string verb = dev::ActionVerb(instead);
        std::string what = instead == dev::Action::Delete ? "手机不允许禁用 " + std::to_string(names.size()) + " 个系统应用，但允许删除"
                                                          : "手机不允许删除 " + std::to_string(names.size()) + " 个应用，但允许禁用";
        if (!o.yes || o.dryRun) {
            out.Error(what + "：要" + verb + "它们请用 adbctl " + dev::ActionWord(instead) + "，或加 --yes 自动改用" + verb);
            continue;
        }
        out.Error(what + "：改用" + verb);
        Carried second;
        int again = Carry(o, adb, out, cancel, instead, plans, known, &second);
        if (again == kExitCancelled || again == kExitNoPhone) return again;
        // A package the other action did counts as done.
        std::set<std::pair<std::string, std::string>> failed = first.failed;
        for (const PhonePlan& p : plans)
            for (const std::string& n : p.job.names)
                if (!second.failed.count({p.job.serial, n})) failed.erase({p.job.serial, n});
        for (const auto& f : second.failed) failed.insert(f);
        exit = failed.empty() ? kExitDone : kExitFailed;
    }
    return exit;
}

int ActionCommand(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel) {
    dev::Action action = ActionOf(o.command);
    Names n;
    int exit = ReadNames(o, out, &n);
    if (exit >= 0) return exit;
    Chosen c = ChoosePhones(o, adb, out, cancel);
    if (c.exit >= 0) return c.exit;

    appnames::NameCache known = o.appNames ? NamesOf(o) : appnames::NameCache(std::string());
    Report report(out, o.json, o.all, o.appNames);
    for (const dev::ListLine& l : n.refused) report.RefusedLine(l.number, l.text, l.reason);
    // Only the deletion of user apps needs the phone's kinds before anything is sent.
    std::vector<std::string> serials = Serials(c.phones);
    std::vector<dev::PackageRead> reads;
    if (action == dev::Action::Delete && !o.yes) {
        reads = phone::Packages(adb, serials, o.user, &cancel);
        if (!ReadAll(serials, reads, out)) return kExitNoPhone;
    }
    std::vector<PhonePlan> plans;
    for (size_t i = 0; i < serials.size(); i++) {
        PhonePlan plan;
        plan.job.serial = serials[i];
        const dev::PackageSnapshot* now = reads.empty() ? nullptr : &reads[i].snapshot;
        if (now) plan.job.knownApi = now->api;
        plan.now = now;
        for (const std::string& name : n.names) {
            std::string why = o.yes ? std::string() : NeedsYes(action, name, now);
            if (why.empty()) {
                plan.job.names.push_back(name);
                continue;
            }
            Outcome r;
            r.device = serials[i];
            r.package = name;
            r.action = action;
            r.outcome = "not-confirmed";
            r.message = why;
            plan.refused.push_back(r);
        }
        plan.order = n.names;
        plans.push_back(plan);
    }
    Carried carried;
    exit = Carry(o, adb, out, cancel, action, plans, o.appNames ? &known : nullptr, &carried);
    if (!carried.instead.empty() && exit != kExitCancelled && exit != kExitNoPhone)
        exit = CarryInstead(o, adb, out, cancel, carried, o.appNames ? &known : nullptr, exit);
    return exit == kExitDone && !n.refused.empty() ? kExitFailed : exit;
}

// --- undo and record ------------------------------------------------------------

int UndoCommand(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel) {
    Chosen c = ChoosePhones(o, adb, out, cancel);
    if (c.exit >= 0) return c.exit;
    std::vector<std::string> serials = Serials(c.phones);
    std::vector<dev::PackageRead> reads = phone::Packages(adb, serials, o.user, &cancel);
    if (!ReadAll(serials, reads, out)) return kExitNoPhone;
    dev::ActionRecord record = RecordOf(o);
    appnames::NameCache known = o.appNames ? NamesOf(o) : appnames::NameCache(std::string());

    // Each package back to its state before the tool first changed it, in
    // the window's order: restore (a restored package may still need
    // enabling or disabling), enable, disable, and delete what was deleted.
    struct Step {
        dev::Action action;
        bool dev::UndoItem::*wanted;
    };
    const Step steps[] = {{dev::Action::Restore, &dev::UndoItem::restore},
                          {dev::Action::Enable, &dev::UndoItem::enable},
                          {dev::Action::Disable, &dev::UndoItem::disable},
                          {dev::Action::Delete, &dev::UndoItem::remove}};
    std::vector<std::vector<dev::UndoItem>> items(serials.size());
    bool any = false;
    SettleRead(o, serials, reads, out);   // what the record left open, settled by this read first
    for (size_t i = 0; i < serials.size(); i++) {
        items[i] = phone::UndoItems(record, serials[i], o.user, reads[i].snapshot);
        if (items[i].empty()) out.Error((o.all ? "[" + serials[i] + "] " : std::string()) + "没有需要撤销的操作");
        any = any || !items[i].empty();
    }
    if (!any) return kExitDone;
    int exit = kExitDone;
    for (const Step& step : steps) {
        std::vector<PhonePlan> plans(serials.size());
        bool some = false;
        for (size_t i = 0; i < serials.size(); i++) {
            plans[i].job.serial = serials[i];
            plans[i].job.knownApi = reads[i].snapshot.api;
            // The phone undo was worked out for, and no other on its serial.
            plans[i].job.phone = dev::PhoneKey(reads[i].snapshot);
            plans[i].now = &reads[i].snapshot;
            for (const dev::UndoItem& u : items[i])
                if (u.*step.wanted) plans[i].job.names.push_back(u.package);
            plans[i].order = plans[i].job.names;
            some = some || !plans[i].job.names.empty();
        }
        if (!some) continue;
        exit = std::max(exit, Carry(o, adb, out, cancel, step.action, plans, o.appNames ? &known : nullptr));
        if (exit == kExitCancelled) break;
    }
    return exit;
}

// Each phone's users, as its owner knows them; a user adb may not reach is said so.
int UsersCommand(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel) {
    Chosen c = ChoosePhones(o, adb, out, cancel);
    if (c.exit >= 0) return c.exit;
    std::vector<std::string> serials = Serials(c.phones);
    std::vector<phone::PhoneUsers> all = phone::Users(adb, serials);
    Report report(out, o.json, o.all);
    int exit = kExitDone;
    for (size_t i = 0; i < serials.size(); i++) {
        const dev::PackageSnapshot& s = all[i].read.snapshot;
        if (s.users.empty()) {
            out.Error("[" + serials[i] + "] 读取用户失败：" + text::OneLine(all[i].read.error));
            exit = kExitNoPhone;
            continue;
        }
        for (const dev::PhoneUser& u : s.users) {
            bool reachable = std::find(all[i].unreachable.begin(), all[i].unreachable.end(), u.id) == all[i].unreachable.end();
            report.User(serials[i], u, reachable);
        }
    }
    return exit;
}

// The record of each phone, newest first. Told which phone, it needs no adb:
// the phone is then known by the serial adb reaches it by.
int RecordCommand(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel) {
    std::string serial = o.all ? std::string() : !o.device.empty() ? o.device : Environment(L"ANDROID_SERIAL");
    std::vector<dev::PhoneId> phones;
    if (!serial.empty()) {
        phones.push_back(phone::Identify(serial, nullptr));
    } else {
        Chosen c = ChoosePhones(o, adb, out, cancel);
        if (c.exit >= 0) return c.exit;
        std::vector<std::string> serials = Serials(c.phones);
        std::vector<dev::PackageRead> reads = phone::Packages(adb, serials, o.user, &cancel);
        if (cancel.Requested()) return kExitCancelled;
        SettleRead(o, serials, reads, out);
        for (size_t i = 0; i < serials.size(); i++)
            phones.push_back(phone::Identify(serials[i], reads[i].snapshot.complete ? &reads[i].snapshot : nullptr));
    }
    dev::ActionRecord record = RecordOf(o);
    appnames::NameCache known = o.appNames ? NamesOf(o) : appnames::NameCache(std::string());
    Report report(out, o.json, o.all, o.appNames);
    for (const dev::PhoneId& p : phones) {
        std::vector<dev::RecordEntry> history = phone::History(record, p, o.user);
        // A long record stops at Ctrl+C (or a closed pipe) between its lines.
        for (auto it = history.rbegin(); it != history.rend() && !cancel.Requested(); ++it)
            report.RecordLine(*it, p.serial, o.appNames ? phone::KnownName(known, it->package, "") : std::u16string());
        if (cancel.Requested()) return kExitCancelled;
        if (history.empty()) out.Error((o.all ? "[" + p.serial + "] " : std::string()) + "这台设备还没有操作记录");
    }
    return kExitDone;
}

} // namespace

std::string AnsiPath(const std::wstring& path) {
    BOOL lost = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.data(), static_cast<int>(path.size()), nullptr, 0,
                                nullptr, &lost);
    if (lost) {
        // The short name (8.3) is plain ASCII where the volume keeps one.
        std::wstring shortPath(kLongestPath, L'\0');
        DWORD m = GetShortPathNameW(path.c_str(), &shortPath[0], static_cast<DWORD>(shortPath.size()));
        if (m > 0 && m < shortPath.size()) return AnsiPath(shortPath.substr(0, m));
    }
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.data(), static_cast<int>(path.size()), &s[0], n, nullptr,
                        nullptr);
    return s;
}

std::wstring FindAdb(const std::wstring& given) {
    if (!given.empty()) return given;
    std::wstring beside = ExeFolder() + L"\\adb_1.0.40\\adb.exe";
    if (IsFile(beside)) return beside;
    std::wstring found(kLongestPath, L'\0');
    DWORD n = SearchPathW(nullptr, L"adb", L".exe", static_cast<DWORD>(found.size()), &found[0], nullptr);
    return n > 0 && n < found.size() ? found.substr(0, n) : std::wstring();
}

int RunCommand(const Options& o, Output& out, const dev::Cancel& cancel) {
    if (o.command == Command::Help || o.command == Command::Version) {
        out.out.WriteGbk(o.command == Command::Help ? HelpText() : VersionText());
        return kExitDone;
    }
    if (o.command == Command::OtherAdb) return OtherAdbCommand(o, out);
    std::wstring adbPath = FindAdb(o.adb);
    // The record needs no phone when it is told which one.
    bool needsAdb = o.command != Command::Record || (!o.all && o.device.empty() && Environment(L"ANDROID_SERIAL").empty());
    if (adbPath.empty() && needsAdb) {
        out.Error("找不到 adb：请把 platform-tools 里的 adb.exe、AdbWinApi.dll 和 AdbWinUsbApi.dll 放进 " +
                  Narrow(ExeFolder()) + "\\adb_1.0.40，或用 --adb 指定 adb.exe（在 " + conn::kPlatformToolsUrl +
                  " 下载 platform-tools）");
        return kExitNoPhone;
    }
    dev::Adb adb(AnsiPath(adbPath));
    switch (o.command) {
    case Command::Devices: return DevicesCommand(o, adb, out, cancel);
    case Command::List: return ListCommand(o, adb, out, cancel);
    case Command::Undo: return UndoCommand(o, adb, out, cancel);
    case Command::Record: return RecordCommand(o, adb, out, cancel);
    case Command::Users: return UsersCommand(o, adb, out, cancel);
    case Command::Discover: return DiscoverCommand(o, adb, out, cancel);
    case Command::Pair: return PairCommand(o, adb, out, cancel);
    case Command::Connect: return ConnectCommand(o, adb, out, cancel);
    default: return ActionCommand(o, adb, out, cancel);
    }
}

} // namespace cli
