// The device layer against the simulated device bridge: phones of every
// Android version the layer reads differently, protected and policy-bound
// packages, two phones chosen with -s, an unauthorized one, restore before
// Android 8, hostile names on the phone, cancel in the middle of a batch, the
// record and undo, and several phones at once.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>
#include "device/batch.h"
#include "device/devices.h"
#include "device/names.h"
#include "tests/support/child.h"
#include "tests/support/files.h"

namespace {

using namespace dev;

std::string Scratch() {
    std::string dir = test::ExeDir() + "\\device_scratch";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::string ReadFileText(const std::string& path) { return test::ReadFileBytes(path); }

// A profile in a scratch file that the simulated adb reads and changes, and
// its log of command lines.
class Phones {
public:
    explicit Phones(const std::string& profile) : state_(Scratch() + "\\profile.txt"), log_(Scratch() + "\\log.txt") {
        FILE* f = std::fopen(state_.c_str(), "wb");
        std::fwrite(profile.data(), 1, profile.size(), f);
        std::fclose(f);
        DeleteFileA(log_.c_str());
        SetEnvironmentVariableA("ADBSIM_STATE", state_.c_str());
        SetEnvironmentVariableA("ADBSIM_LOG", log_.c_str());
    }
    size_t AdbRuns() const {
        std::string log = ReadFileText(log_);
        size_t n = 0;
        for (char c : log) n += c == '\n';
        return n;
    }
    std::string Log() const { return ReadFileText(log_); }

private:
    std::string state_, log_;
};

Adb TheAdb() { return Adb(test::ExeDir() + "\\..\\adb_1.0.40\\adb.exe"); }

// One phone of the given API level; quick, so the tests measure nothing.
std::string OnePhone(int api, const std::string& serial = "SER1", const std::string& extra = "") {
    return "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nvm-ms 0\nscript-ms 0\nchange-ms 0\n"
           "device " + serial + " device product:p model:Phone_" + std::to_string(api) + " device:d\n"
           "api " + std::to_string(api) + "\n"
           "package com.user.app enabled third-party\n"
           "package com.sys.plain enabled system\n"
           "package com.sys.locked enabled system protected\n"
           "package com.sys.managed enabled system delete-fails=DELETE_FAILED_DEVICE_POLICY_MANAGER\n" + extra;
}

std::vector<Outcome> Outcomes(const BatchResult& b) {
    std::vector<Outcome> o;
    for (const PackageResult& r : b.results) o.push_back(r.outcome);
    return o;
}

PackageState StateOf(const PackageSnapshot& s, const char* name) {
    const Package* p = FindPackage(s, name);
    EXPECT_NE(p, nullptr) << name;
    return p ? p->state : PackageState::Enabled;
}

TEST(DeviceLayer, EveryAndroidVersionOneProcessPerBatchAndTheStatesReadBack) {
    for (int api : {23, 25, 28, 34}) {
        SCOPED_TRACE("API " + std::to_string(api));
        Phones phones(OnePhone(api));
        Adb adb = TheAdb();
        PackageRead read = ReadPackages(adb, "SER1", 0);
        ASSERT_EQ(read.error, "");
        EXPECT_EQ(read.snapshot.api, api);
        EXPECT_EQ(FindPackage(read.snapshot, "com.sys.plain")->kind, PackageKind::System);
        EXPECT_EQ(FindPackage(read.snapshot, "com.user.app")->kind, PackageKind::User);
        EXPECT_FALSE(FindPackage(read.snapshot, "com.user.app")->path.empty());

        BatchOptions o;
        size_t before = phones.AdbRuns();
        BatchResult off = RunBatch(adb, "SER1", Action::Disable,
                                   {"com.user.app", "com.sys.locked", "com.not.there", "com.x;reboot"}, o);
        EXPECT_EQ(phones.AdbRuns(), before + 2)
            << "the read before the intents are written, then one adb process for the batch and its read-back";
        EXPECT_EQ(Outcomes(off), (std::vector<Outcome>{Outcome::Done, Outcome::Protected, Outcome::UnknownPackage,
                                                        Outcome::BadName}))
            << off.results[1].text << " | " << off.results[2].text;
        EXPECT_EQ(StateOf(off.after, "com.user.app"), PackageState::Disabled);
        EXPECT_EQ(StateOf(off.after, "com.sys.locked"), PackageState::Enabled);
        EXPECT_EQ(phones.Log().find("reboot"), std::string::npos) << "a bad name is never sent";

        BatchResult del = RunBatch(adb, "SER1", Action::Delete, {"com.sys.plain", "com.sys.managed"}, o);
        EXPECT_EQ(Outcomes(del), (std::vector<Outcome>{Outcome::Done, Outcome::DeviceAdmin}))
            << del.results[1].text;
        EXPECT_EQ(StateOf(del.after, "com.sys.plain"), PackageState::Deleted);

        // Restore: sent when the API level is not known yet, refused by the phone before Android 8.
        BatchResult back = RunBatch(adb, "SER1", Action::Restore, {"com.sys.plain"}, o);
        EXPECT_EQ(back.results[0].outcome, api >= 26 ? Outcome::Done : Outcome::NeedsAndroid8) << back.results[0].text;
        EXPECT_EQ(StateOf(back.after, "com.sys.plain"), api >= 26 ? PackageState::Enabled : PackageState::Deleted);

        BatchResult on = RunBatch(adb, "SER1", Action::Enable, {"com.user.app"}, o);
        EXPECT_EQ(on.results[0].outcome, Outcome::Done) << on.results[0].text;
        EXPECT_EQ(StateOf(on.after, "com.user.app"), PackageState::Enabled);
    }
}

std::vector<std::string> ShippedProfiles() {
    std::vector<std::string> files;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((std::string(KEEL_PROFILE_DIR) + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(std::string(KEEL_PROFILE_DIR) + "\\" + found.cFileName);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return files;
}

// What a profile says of one phone's packages: its protected ones, the ones
// whose uninstall fails (with the code), and the ones deleted for user 0.
struct ProfileFacts {
    std::vector<std::string> protectedOnes, deleted;
    std::vector<std::pair<std::string, std::string>> deleteFails;
};

ProfileFacts FactsOf(const std::string& profile, const std::string& serial) {
    ProfileFacts f;
    bool mine = true;   // lines before the first device line are every phone's
    size_t start = 0;
    while (start < profile.size()) {
        size_t end = profile.find('\n', start);
        std::string line = profile.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? profile.size() : end + 1;
        if (line.compare(0, 7, "device ") == 0) mine = line.compare(7, serial.size() + 1, serial + " ") == 0;
        if (!mine || line.compare(0, 8, "package ") != 0) continue;
        std::string name = line.substr(8, line.find(' ', 8) - 8);
        if (line.find(" protected") != std::string::npos) f.protectedOnes.push_back(name);
        if (line.find(" uninstalled ") != std::string::npos) f.deleted.push_back(name);
        size_t code = line.find("delete-fails=");
        if (code != std::string::npos) f.deleteFails.push_back({name, line.substr(code + 13, line.find(' ', code) - code - 13)});
    }
    return f;
}

// Every phone of every shipped profile: listed, with a hint when it is not
// ready; when ready, read whole, its protected and undeletable packages
// refused as the phone's Android version says it, a deleted one restored
// (or refused before Android 8), and a user app disabled and enabled again,
// each time with the state read back.
TEST(DeviceLayer, EveryShippedProfile) {
    std::vector<std::string> profiles = ShippedProfiles();
    ASSERT_FALSE(profiles.empty()) << "no profiles in " << KEEL_PROFILE_DIR;
    Adb adb = TheAdb();
    for (const std::string& file : profiles) {
        SCOPED_TRACE(file);
        Phones phones(ReadFileText(file));
        DeviceList list = ListDevices(adb);
        ASSERT_FALSE(list.devices.empty()) << list.error;
        for (const Device& d : list.devices) {
            SCOPED_TRACE(d.serial);
            if (d.state != DeviceState::Ready) {
                EXPECT_FALSE(StateHint(d).empty());
                EXPECT_FALSE(ReadPackages(adb, d.serial, 0).error.empty());
                continue;
            }
            PackageRead read = ReadPackages(adb, d.serial, 0);
            ASSERT_TRUE(read.snapshot.complete) << read.error;
            EXPECT_GT(read.snapshot.api, 0);
            ASSERT_FALSE(read.snapshot.packages.empty());
            const Package* app = nullptr;
            for (const Package& p : read.snapshot.packages) {
                EXPECT_TRUE(IsPackageName(p.name)) << p.name;
                if (!app && p.kind == PackageKind::User && p.state == PackageState::Enabled) app = &p;
            }
            ProfileFacts facts = FactsOf(ReadFileText(file), d.serial);
            BatchOptions o;
            if (!facts.protectedOnes.empty()) {
                BatchResult b = RunBatch(adb, d.serial, Action::Disable, facts.protectedOnes, o);
                for (const PackageResult& r : b.results) {
                    EXPECT_EQ(r.outcome, Outcome::Protected) << r.name << ": " << r.text;
                    EXPECT_EQ(OutcomeMessage(Action::Disable, r), "失败，系统不允许禁用受保护的应用");
                }
            }
            for (const auto& fails : facts.deleteFails) {
                const Package* p = FindPackage(read.snapshot, fails.first);
                if (!p || p->state == PackageState::Deleted) continue;   // another user's only
                // Each maker's refusal is an outcome of its own.
                const std::pair<const char*, Outcome> kRefusals[] = {
                    {"DELETE_FAILED_DEVICE_POLICY_MANAGER", Outcome::DeviceAdmin},
                    {"DELETE_FAILED_USER_RESTRICTED", Outcome::Restricted},
                    {"DELETE_FAILED_OWNER_BLOCKED", Outcome::RefusedByPolicy},
                    {"DELETE_FAILED_INTERNAL_ERROR", Outcome::InternalError},
                    {"DELETE_FAILED_ABORTED", Outcome::NotAllowed},
                    {"-1000", Outcome::MakerCode},
                    {"DELETE_FAILED_USED_SHARED_LIBRARY", Outcome::SharedLibrary}};
                Outcome want = Outcome::Other;
                for (const auto& refusal : kRefusals)
                    if (fails.second == refusal.first) want = refusal.second;
                BatchResult b = RunBatch(adb, d.serial, Action::Delete, {fails.first}, o);
                EXPECT_EQ(b.results[0].outcome, want) << fails.first << ": " << b.results[0].text;
                EXPECT_EQ(OutcomeMessage(Action::Delete, b.results[0]).find("失败："), std::string::npos)
                    << "said in the owner's words, not the phone's";
                EXPECT_NE(StateOf(b.after, fails.first.c_str()), PackageState::Deleted) << fails.first;
            }
            // Sent without knowing the API level: the phone itself answers.
            bool old = read.snapshot.api < kRestoreApi;
            std::string restore = !facts.deleted.empty() ? facts.deleted[0] : old ? read.snapshot.packages[0].name : "";
            if (!restore.empty()) {
                BatchResult b = RunBatch(adb, d.serial, Action::Restore, {restore}, o);
                EXPECT_EQ(b.results[0].outcome, old ? Outcome::NeedsAndroid8 : Outcome::Done)
                    << restore << ": " << b.results[0].text;
            }
            if (!app) continue;
            o.knownApi = read.snapshot.api;
            BatchResult off = RunBatch(adb, d.serial, Action::Disable, {app->name}, o);
            EXPECT_EQ(off.results[0].outcome, Outcome::Done) << off.results[0].text;
            EXPECT_EQ(StateOf(off.after, app->name.c_str()), PackageState::Disabled);
            BatchResult on = RunBatch(adb, d.serial, Action::Enable, {app->name}, o);
            EXPECT_EQ(on.results[0].outcome, Outcome::Done) << on.results[0].text;
            EXPECT_EQ(StateOf(on.after, app->name.c_str()), PackageState::Enabled);
        }
    }
}

TEST(DeviceLayer, RestoreOnAnOldPhoneIsRefusedWithoutAskingIt) {
    Phones phones(OnePhone(23) + "package com.gone uninstalled system\n");
    BatchOptions o;
    o.knownApi = 23;
    std::vector<std::string> said;
    o.progress = [&](const std::string&, const PackageResult& r, size_t, size_t) {
        said.push_back(OutcomeMessage(Action::Restore, r));
    };
    BatchResult b = RunBatch(TheAdb(), "SER1", Action::Restore, {"com.gone"}, o);
    EXPECT_EQ(b.results[0].outcome, Outcome::NeedsAndroid8);
    EXPECT_EQ(said, (std::vector<std::string>{"失败，恢复需要 Android 8 或更高版本"}));
    EXPECT_EQ(phones.AdbRuns(), 0u);
}

// adb hands a phone before Android 7 at most 4 KB of command: a long list
// goes in pieces, each within it, and only the last reads the states back.
TEST(DeviceLayer, ALongListGoesInPiecesThatAdbCanCarry) {
    std::string profile = "platform-tools 28.0.2\nconnect-ms 0\ncommand-ms 0\nvm-ms 0\nchange-ms 0\n"
                          "device OLD1 device model:Old\napi 23\n";
    std::vector<std::string> names;
    for (int i = 0; i < 120; i++) {
        names.push_back("com.example.long.package.name" + std::to_string(i));
        profile += "package " + names.back() + " enabled third-party\n";
    }
    Phones phones(profile);
    std::vector<size_t> sizes = SplitIntoScripts(Action::Disable, 0, names, ScriptLimit(0), ReadBefore::Yes);
    size_t pieces = sizes.size();
    for (size_t p = 0, first = 0; p < pieces; first += sizes[p], p++) {
        std::vector<std::string> piece(names.begin() + first, names.begin() + first + sizes[p]);
        EXPECT_LE(BuildActionScript(Action::Disable, 0, piece, p + 1 == pieces ? ReadBack::Yes : ReadBack::No,
                                    p == 0 ? ReadBefore::Yes : ReadBefore::No)
                      .size(),
                  ScriptLimit(0));
    }
    ASSERT_GT(pieces, 1u);
    BatchResult b = RunBatch(TheAdb(), "OLD1", Action::Disable, names, BatchOptions());
    EXPECT_EQ(phones.AdbRuns(), 1 + pieces) << "the read before the intents, then the pieces";
    ASSERT_TRUE(b.after.complete) << b.error;
    for (const PackageResult& r : b.results) {
        EXPECT_EQ(r.outcome, Outcome::Done) << r.name << ": " << r.text;
        EXPECT_EQ(StateOf(b.after, r.name.c_str()), PackageState::Disabled);
    }
    std::string log = phones.Log();
    EXPECT_EQ(log.find("name119 2>&1"), log.rfind("name119 2>&1")) << "each package sent once";
}

TEST(DeviceLayer, TwoPhonesChosenBySerialAndTheUnauthorizedOnesHint) {
    Phones phones(OnePhone(34, "AAA111", "package com.only.on.a enabled third-party\n") +
                  "device BBB222 device product:q model:Other device:e\napi 30\n"
                  "package com.only.on.b enabled third-party\n"
                  "device CCC333 unauthorized\n");
    Adb adb = TheAdb();
    DeviceList list = ListDevices(adb);
    ASSERT_EQ(list.devices.size(), 3u) << list.error;
    EXPECT_EQ(DeviceLabel(list.devices[2]), "CCC333（未授权：请在手机上点“允许 USB 调试”（没有弹出时：在开发者选项里点“撤销 USB 调试授权”，再重新插线））");

    PackageRead a = ReadPackages(adb, "AAA111", 0);
    PackageRead b = ReadPackages(adb, "BBB222", 0);
    EXPECT_NE(FindPackage(a.snapshot, "com.only.on.a"), nullptr);
    EXPECT_EQ(FindPackage(a.snapshot, "com.only.on.b"), nullptr);
    EXPECT_NE(FindPackage(b.snapshot, "com.only.on.b"), nullptr);
    EXPECT_EQ(b.snapshot.api, 30);

    PackageRead c = ReadPackages(adb, "CCC333", 0);
    EXPECT_FALSE(c.snapshot.complete);
    EXPECT_NE(c.error.find("unauthorized"), std::string::npos) << c.error;
    BatchResult gone = RunBatch(adb, "CCC333", Action::Disable, {"com.user.app"}, BatchOptions());
    EXPECT_EQ(gone.results[0].outcome, Outcome::NotSent) << "nothing reached the phone";
    EXPECT_NE(gone.error.find("unauthorized"), std::string::npos) << gone.error;
}

TEST(DeviceLayer, AWorkProfileIsAUserOfItsOwn) {
    Phones phones(OnePhone(34, "SER1", "user 0 c13 Owner\nuser 10 1030 Work profile\npackage com.work.mail enabled third-party u10=enabled\n"));
    Adb adb = TheAdb();
    PackageRead work = ReadPackages(adb, "SER1", 10, nullptr, Users::List);
    ASSERT_TRUE(work.snapshot.complete) << work.error;
    ASSERT_EQ(work.snapshot.users.size(), 2u);
    EXPECT_EQ(work.snapshot.users[1].id, 10);
    EXPECT_EQ(StateOf(work.snapshot, "com.work.mail"), PackageState::Enabled);

    BatchOptions o;
    o.user = 10;
    BatchResult b = RunBatch(adb, "SER1", Action::Disable, {"com.work.mail"}, o);
    EXPECT_EQ(b.results[0].outcome, Outcome::Done) << b.results[0].text;
    EXPECT_EQ(StateOf(b.after, "com.work.mail"), PackageState::Disabled);
    EXPECT_EQ(StateOf(ReadPackages(adb, "SER1", 0).snapshot, "com.work.mail"), PackageState::Enabled);
}

TEST(DeviceLayer, HostileNamesInThePhonesOwnListAreNeverTaken) {
    Phones phones(OnePhone(34, "SER1", "package com.evil;reboot enabled third-party\npackage com.evil$(id) enabled third-party\n"));
    PackageRead read = ReadPackages(TheAdb(), "SER1", 0);
    ASSERT_TRUE(read.snapshot.complete) << read.error;
    std::vector<std::string> rejected = read.snapshot.rejected;
    std::sort(rejected.begin(), rejected.end());
    EXPECT_EQ(rejected, (std::vector<std::string>{"com.evil$(id)", "com.evil;reboot"}));
    for (const Package& p : read.snapshot.packages) EXPECT_TRUE(IsPackageName(p.name)) << p.name;
}

std::string RecordPath(const char* name) {
    std::string path = Scratch() + "\\" + name;
    DeleteFileA(path.c_str());
    return path;
}

TEST(DeviceLayer, TheRecordKnowsWhatUndoMustBringBack) {
    Phones phones(OnePhone(34));
    Adb adb = TheAdb();
    ActionRecord record(RecordPath("undo.log"));
    BatchOptions o;
    o.record = &record;
    RunBatch(adb, "SER1", Action::Disable, {"com.user.app", "com.sys.locked"}, o);
    BatchResult del = RunBatch(adb, "SER1", Action::Delete, {"com.sys.plain"}, o);

    std::vector<RecordEntry> all = record.ReadAll();
    PhoneId phone = IdentifyPhone("SER1", del.after);
    // Every package's intent went out before its outcome.
    ASSERT_EQ(all.size(), 6u);
    for (size_t i : {0, 1, 4}) EXPECT_EQ(all[i].outcome, Outcome::Intent) << all[i].package;
    EXPECT_EQ(PhoneHistory(all, phone, 0).size(), 3u);
    EXPECT_EQ(all[0].model, "Phone_34");
    EXPECT_EQ(LastActions(all, phone, 0).at("com.sys.locked").outcome, Outcome::Protected);
    std::vector<UndoItem> undo = UndoSet(all, phone, 0, &del.after);
    ASSERT_EQ(undo.size(), 2u);
    EXPECT_EQ(undo[0].package, "com.sys.plain");
    EXPECT_TRUE(undo[0].restore);
    EXPECT_EQ(undo[1].package, "com.user.app");
    EXPECT_TRUE(undo[1].enable);

    RunBatch(adb, "SER1", Action::Restore, {"com.sys.plain"}, o);
    BatchResult last = RunBatch(adb, "SER1", Action::Enable, {"com.user.app"}, o);
    EXPECT_TRUE(UndoSet(record.ReadAll(), phone, 0, &last.after).empty());
}

// Cancel asked for while the first package runs: the batch stops after it,
// and every outcome and record line agrees with what the phone shows.
TEST(DeviceLayer, CancelStopsAfterThePackageInProgressAndTheRecordMatchesThePhone) {
    std::string profile = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 200\n"
                          "device SER1 device model:Slow\napi 34\n";
    std::vector<std::string> names;
    for (int i = 0; i < 8; i++) {
        names.push_back("com.p" + std::to_string(i));
        profile += "package " + names.back() + " enabled third-party\n";
    }
    Phones phones(profile);
    ActionRecord record(RecordPath("cancel.log"));
    Cancel cancel;
    BatchOptions o;
    o.cancel = &cancel;
    o.record = &record;
    o.progress = [&](const std::string&, const PackageResult&, size_t, size_t) { cancel.Request(); };
    BatchResult b = RunBatch(TheAdb(), "SER1", Action::Disable, names, o);

    ASSERT_TRUE(b.after.complete) << b.error;
    EXPECT_EQ(b.results[0].outcome, Outcome::Done);
    size_t done = 0;
    for (const PackageResult& r : b.results) {
        bool disabled = StateOf(b.after, r.name.c_str()) == PackageState::Disabled;
        EXPECT_EQ(r.outcome == Outcome::Done, disabled) << r.name;
        EXPECT_TRUE(r.outcome == Outcome::Done || r.outcome == Outcome::Cancelled) << r.name;
        done += r.outcome == Outcome::Done;
    }
    EXPECT_LE(done, 2u) << "the package in progress, and at most the one the phone had begun";
    // Every intent is settled by what the phone shows.
    std::vector<RecordEntry> history = PhoneHistory(record.ReadAll(), IdentifyPhone("SER1", b.after), 0);
    EXPECT_EQ(history.size(), names.size());
    for (const RecordEntry& e : history) {
        EXPECT_NE(e.outcome, Outcome::Intent) << e.package;
        EXPECT_EQ(e.outcome == Outcome::Done, StateOf(b.after, e.package.c_str()) == PackageState::Disabled) << e.package;
    }
}

TEST(DeviceLayer, OneBatchOnSeveralPhonesAtOnce) {
    std::string profile = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 0\n";
    std::vector<std::string> serials = {"P1", "P2", "P3", "P4"};
    for (const std::string& s : serials)
        profile += "device " + s + " device model:M" + s + "\napi 34\npackage com.a enabled third-party\n"
                   "package com.b enabled system\n";
    Phones phones(profile);
    size_t reports = 0;
    BatchOptions o;
    o.progress = [&](const std::string&, const PackageResult&, size_t, size_t) { reports++; };
    std::vector<BatchResult> all = RunOnDevices(TheAdb(), serials, Action::Disable, {"com.a", "com.b"}, o);
    ASSERT_EQ(all.size(), 4u);
    for (size_t i = 0; i < all.size(); i++) {
        EXPECT_EQ(all[i].serial, serials[i]);
        EXPECT_EQ(Outcomes(all[i]), (std::vector<Outcome>{Outcome::Done, Outcome::Done})) << serials[i];
        EXPECT_EQ(all[i].after.model, "M" + serials[i]);
    }
    EXPECT_EQ(reports, 8u);
}

// The tool killed mid-batch (Task Manager, a crash). Its adb client dies
// with it. A phone that stops with its client has done what the record's
// finished lines say and perhaps the package in progress; one that keeps
// going does the whole list. Either way the intents written before the batch
// let the next read settle every package as the phone shows it, and undo
// brings back exactly what the phone did.
TEST_CHILD(batch_to_record) {
    const std::vector<std::string>& a = test::ChildArgs();
    ActionRecord record(a[0]);
    BatchOptions o;
    o.record = &record;
    std::vector<std::string> names(a.begin() + 1, a.end());
    RunBatch(TheAdb(), "SER1", Action::Disable, names, o);
    return 0;
}

std::string SlowPhone(const std::vector<std::string>& names, const std::string& extra = "") {
    std::string profile = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 150\n"
                          "device SER1 device model:Slow\napi 34\n" + extra;
    for (const std::string& n : names) profile += "package " + n + " enabled third-party\n";
    return profile;
}

size_t DoneLines(const std::vector<RecordEntry>& lines) {
    size_t n = 0;
    for (const RecordEntry& e : lines) n += e.outcome == Outcome::Done;
    return n;
}

// The phone's read once it has stopped changing.
PackageSnapshot Settled(const std::string& serial) {
    PackageSnapshot last;
    for (int i = 0; i < 200; i++) {
        PackageRead now = ReadPackages(TheAdb(), serial, 0);
        if (now.snapshot.complete && last.complete && now.snapshot.packages.size() == last.packages.size() &&
            std::equal(now.snapshot.packages.begin(), now.snapshot.packages.end(), last.packages.begin(),
                       [](const Package& a, const Package& b) { return a.name == b.name && a.state == b.state; }))
            return now.snapshot;
        last = now.snapshot;
        Sleep(400);
    }
    return last;
}

TEST(DeviceFaults, AToolKilledMidBatchLeavesIntentsThatTheNextReadSettlesAndUndoBringsAllBack) {
    std::vector<std::string> names;
    for (int i = 0; i < 10; i++) names.push_back("com.k" + std::to_string(i));
    for (bool keepsGoing : {false, true}) {
        SCOPED_TRACE(keepsGoing ? "a phone that keeps going" : "a phone that stops with its client");
        Phones phones(SlowPhone(names, keepsGoing ? "keeps-going\n" : ""));
        std::string path = RecordPath("killed.log");
        std::string line = "\"" + test::ExeDir() + "\\test_device.exe\" --child=batch_to_record \"" + path + "\"";
        for (const std::string& n : names) line += " " + n;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        ActionRecord record(path);
        for (int i = 0; i < 6000 && DoneLines(record.ReadAll()) < 3; i++) Sleep(10);
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, INFINITE);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        std::vector<RecordEntry> kept = record.ReadAll();
        ASSERT_GE(DoneLines(kept), 3u) << "each finished package was written as it ended";
        size_t intents = 0;
        for (const RecordEntry& e : kept) intents += e.outcome == Outcome::Intent;
        EXPECT_EQ(intents, names.size()) << "every package's intent before anything was sent";

        // The next start: a complete read settles what the record left open.
        PackageSnapshot now = Settled("SER1");
        ASSERT_TRUE(now.complete);
        size_t disabled = 0;
        for (const std::string& n : names) disabled += StateOf(now, n.c_str()) == PackageState::Disabled;
        if (keepsGoing) EXPECT_EQ(disabled, names.size()) << "the phone finished the list on its own";
        else EXPECT_LT(disabled, names.size()) << "the client died with the tool, and the phone stopped with it";
        PhoneId phone = IdentifyPhone("SER1", now);
        std::vector<RecordEntry> settled = SettleUncertain(kept, phone, 0, now);
        ASSERT_TRUE(record.Append(settled));
        std::vector<RecordEntry> history = PhoneHistory(record.ReadAll(), phone, 0);
        ASSERT_EQ(history.size(), names.size());
        for (const RecordEntry& e : history) {
            bool off = StateOf(now, e.package.c_str()) == PackageState::Disabled;
            EXPECT_EQ(e.outcome, off ? Outcome::Done : Outcome::NotSent) << e.package;
        }
        std::vector<UndoItem> undo = UndoSet(record.ReadAll(), phone, 0, &now);
        EXPECT_EQ(undo.size(), disabled) << "undo brings back what the phone did";
        std::vector<std::string> back;
        for (const UndoItem& u : undo) {
            EXPECT_TRUE(u.enable) << u.package;
            back.push_back(u.package);
        }
        BatchOptions o;
        o.record = &record;
        BatchResult b = RunBatch(TheAdb(), "SER1", Action::Enable, back, o);
        for (const std::string& n : names) EXPECT_EQ(StateOf(b.after, n.c_str()), PackageState::Enabled) << n;
        EXPECT_TRUE(UndoSet(record.ReadAll(), phone, 0, &b.after).empty());
    }
}

// Cancel on a phone that keeps going after its client is ended: the read
// back just after the cancel may come before the phone is done; the next
// read settles every package the phone finished as the tool's.
TEST(DeviceFaults, ACancelledBatchOnAPhoneThatKeepsGoingIsSettledByTheNextRead) {
    std::vector<std::string> names;
    for (int i = 0; i < 8; i++) names.push_back("com.g" + std::to_string(i));
    Phones phones(SlowPhone(names, "keeps-going\n"));
    ActionRecord record(RecordPath("going.log"));
    Cancel cancel;
    BatchOptions o;
    o.cancel = &cancel;
    o.record = &record;
    o.progress = [&](const std::string&, const PackageResult&, size_t, size_t) { cancel.Request(); };
    BatchResult b = RunBatch(TheAdb(), "SER1", Action::Disable, names, o);
    EXPECT_EQ(b.results[0].outcome, Outcome::Done);

    PackageSnapshot now = Settled("SER1");
    for (const std::string& n : names) EXPECT_EQ(StateOf(now, n.c_str()), PackageState::Disabled) << n;
    PhoneId phone = IdentifyPhone("SER1", now);
    ASSERT_TRUE(record.Append(SettleUncertain(record.ReadAll(), phone, 0, now)));
    for (const RecordEntry& e : PhoneHistory(record.ReadAll(), phone, 0)) EXPECT_EQ(e.outcome, Outcome::Done) << e.package;
    EXPECT_EQ(UndoSet(record.ReadAll(), phone, 0, &now).size(), names.size());
}

// Two boards share the serial 0123456789ABCDEF: one is swapped for the other
// between the read the user chose from and the batch. The batch sends nothing.
TEST(DeviceFaults, ABatchMeantForOnePhoneSendsNothingToAnotherOnTheSameSerial) {
    std::string board = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 0\n"
                        "device 0123456789ABCDEF device model:Board\napi 34\nprop ro.serialno 0123456789ABCDEF\n"
                        "package com.user.app enabled third-party\n";
    PhoneId first;
    {
        Phones phones(board + "prop android_id 1111aaaa\n");
        PackageRead read = ReadPackages(TheAdb(), "0123456789ABCDEF", 0);
        ASSERT_TRUE(read.snapshot.complete) << read.error;
        first = IdentifyPhone("0123456789ABCDEF", read.snapshot);
    }
    Phones phones(board + "prop android_id 2222bbbb\n");
    ActionRecord record(RecordPath("swapped.log"));
    BatchOptions o;
    o.record = &record;
    o.phone = first.key;
    BatchResult b = RunBatch(TheAdb(), "0123456789ABCDEF", Action::Disable, {"com.user.app"}, o);
    EXPECT_EQ(b.results[0].outcome, Outcome::OtherPhone);
    EXPECT_NE(b.error.find("1111aaaa"), std::string::npos) << b.error;
    EXPECT_TRUE(record.ReadAll().empty());
    EXPECT_EQ(phones.Log().find("disable-user"), std::string::npos) << "nothing was sent";
    EXPECT_EQ(StateOf(ReadPackages(TheAdb(), "0123456789ABCDEF", 0).snapshot, "com.user.app"), PackageState::Enabled);
}

TEST(DeviceFaults, ARecordThatCannotBeWrittenIsSaidAndTheActionStillCompletes) {
    Phones phones(OnePhone(34));
    // A folder where the record should be, as a redirected profile folder
    // that refuses the file: opening it for writing fails.
    std::string path = RecordPath("unwritable.log");
    CreateDirectoryA(path.c_str(), nullptr);
    ActionRecord record(path);
    BatchOptions o;
    o.record = &record;
    BatchResult b = RunBatch(TheAdb(), "SER1", Action::Disable, {"com.user.app"}, o);
    RemoveDirectoryA(path.c_str());
    EXPECT_EQ(b.results[0].outcome, Outcome::Done);
    EXPECT_EQ(StateOf(b.after, "com.user.app"), PackageState::Disabled);
    EXPECT_EQ(b.recordError.find("操作记录无法写入："), 0u) << b.recordError;
    EXPECT_NE(b.recordError.find(path), std::string::npos) << b.recordError;
}

// Disabled by the user long ago, "disabled" again in a batch: recorded as
// so already, and undo leaves it disabled.
TEST(DeviceFaults, APackageDisabledBeforeTheBatchIsNeverEnabledByUndo) {
    Phones phones(OnePhone(34, "SER1", "package com.pre.off disabled-user third-party\n"));
    ActionRecord record(RecordPath("before.log"));
    BatchOptions o;
    o.record = &record;
    BatchResult b = RunBatch(TheAdb(), "SER1", Action::Disable, {"com.pre.off", "com.user.app"}, o);
    EXPECT_EQ(Outcomes(b), (std::vector<Outcome>{Outcome::Already, Outcome::Done}));
    std::vector<RecordEntry> all = PhoneHistory(record.ReadAll(), IdentifyPhone("SER1", b.after), 0);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].outcome, Outcome::Already);
    EXPECT_TRUE(all[0].beforeKnown);
    EXPECT_EQ(all[0].before, PackageState::Disabled);
    std::vector<UndoItem> undo = UndoSet(all, IdentifyPhone("SER1", b.after), 0, &b.after);
    ASSERT_EQ(undo.size(), 1u);
    EXPECT_EQ(undo[0].package, "com.user.app");
}

// Wireless debugging: a new port at every connection, the same phone.
TEST(DeviceFaults, APhoneReconnectedOnAnotherAddressKeepsItsHistory) {
    auto wireless = [](const std::string& address, const std::string& serialNo, const char* state = "enabled") {
        return "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 0\ndevice " + address +
               " device product:p model:Pixel_8 device:d\napi 34\nprop ro.serialno " + serialNo +
               "\npackage com.user.app " + state + " third-party\n";
    };
    ActionRecord record(RecordPath("wireless.log"));
    BatchOptions o;
    o.record = &record;
    {
        Phones phones(wireless("192.168.1.5:41234", "SNW1"));
        RunBatch(TheAdb(), "192.168.1.5:41234", Action::Disable, {"com.user.app"}, o);
    }
    {
        Phones phones(wireless("192.168.1.5:38877", "SNW1", "disabled-user"));
        PackageRead read = ReadPackages(TheAdb(), "192.168.1.5:38877", 0);
        ASSERT_TRUE(read.snapshot.complete) << read.error;
        PhoneId phone = IdentifyPhone("192.168.1.5:38877", read.snapshot);
        EXPECT_EQ(LastActions(record.ReadAll(), phone, 0).count("com.user.app"), 1u);
        EXPECT_EQ(UndoSet(record.ReadAll(), phone, 0, &read.snapshot).size(), 1u);
    }
    {
        // Another phone later on the first address: none of that history is its.
        Phones phones(wireless("192.168.1.5:41234", "SNW2", "disabled-user"));
        PackageRead read = ReadPackages(TheAdb(), "192.168.1.5:41234", 0);
        PhoneId phone = IdentifyPhone("192.168.1.5:41234", read.snapshot);
        EXPECT_TRUE(LastActions(record.ReadAll(), phone, 0).empty());
        EXPECT_TRUE(UndoSet(record.ReadAll(), phone, 0, &read.snapshot).empty());
    }
}

// The package service stops answering (system_server restarting): the read
// says so and a failed delete is never taken for a done one.
TEST(DeviceFaults, ThePackageServiceFailingDuringAReadChangesNothing) {
    for (int api : {23, 26, 34}) {
        SCOPED_TRACE("API " + std::to_string(api));
        {
            Phones phones(OnePhone(api, "SER1", "package-service fails-after 1\n"));
            PackageRead read = ReadPackages(TheAdb(), "SER1", 0);
            EXPECT_FALSE(read.snapshot.complete);
            EXPECT_EQ(read.error.find(kServiceNotAnswering), 0u) << read.error;
        }
        // The read before and the delete are answered, the read back is not;
        // the delete itself fails.
        Phones phones(OnePhone(api, "SER1",
                               "package-service fails-after 5\n"
                               "package com.sys.broken enabled system delete-fails=DELETE_FAILED_INTERNAL_ERROR\n"));
        ActionRecord record(RecordPath("service.log"));
        BatchOptions o;
        o.record = &record;
        BatchResult b = RunBatch(TheAdb(), "SER1", Action::Delete, {"com.sys.broken"}, o);
        EXPECT_NE(b.results[0].outcome, Outcome::Done) << b.results[0].text;
        for (const RecordEntry& e : record.ReadAll()) EXPECT_NE(e.outcome, Outcome::Done);
    }
}

// Closing the program while a batch waits on a phone that stopped answering:
// the batch ends at once, and what finished is in the record.
TEST(DeviceFaults, AnAbortEndsABatchOnAHungPhoneAtOnce) {
    std::vector<std::string> names;
    for (int i = 0; i < 6; i++) names.push_back("com.h" + std::to_string(i));
    Phones phones(SlowPhone(names, "hang-after 2\n"));
    ActionRecord record(RecordPath("abort.log"));
    Cancel twoDone, abort;
    BatchOptions o;
    o.record = &record;
    o.abort = &abort;
    o.progress = [&](const std::string&, const PackageResult&, size_t reported, size_t) {
        if (reported == 2) twoDone.Request();
    };
    DWORD aborted = 0;
    std::thread ender([&] {
        WaitForSingleObject(twoDone.Event(), INFINITE);
        Sleep(300);   // the phone hangs on the third package
        aborted = GetTickCount();
        abort.Request();   // the program ends
    });
    BatchResult b = RunBatch(TheAdb(), "SER1", Action::Disable, names, o);
    DWORD returned = GetTickCount();
    ender.join();
    EXPECT_LT(returned - aborted, 5000u) << "not the 30 s grace nor a read back of a hung phone";
    std::vector<RecordEntry> all = PhoneHistory(record.ReadAll(), PhoneId{"", "", "SER1", ""}, 0);
    ASSERT_EQ(all.size(), names.size());
    EXPECT_EQ(all[0].outcome, Outcome::Done);
    EXPECT_EQ(all[1].outcome, Outcome::Done);
    // The package in flight on the hung phone, and those after it, claim
    // nothing: intents for the next read to settle.
    for (size_t i = 2; i < all.size(); i++) EXPECT_EQ(all[i].outcome, Outcome::Intent) << all[i].package;
    EXPECT_EQ(b.results[2].outcome, Outcome::Intent) << "shown as not known, not as cancelled";
}

// With no adb server running, two clients that both need one both try to
// start it and the one that comes second fails, as real adb does; an
// `adb start-server` first, as the window runs it, leaves nothing to race.
TEST(DeviceLayer, TwoClientsRaceToStartTheServerUnlessItIsStartedFirst) {
    Phones phones("server-start-ms 2500\n" + OnePhone(34));
    const Adb adb = TheAdb();
    struct EndServer {
        const Adb& adb;
        ~EndServer() { adb.Run({"kill-server"}); }
    } endServer{adb};
    adb.Run({"kill-server"});   // one left by an earlier run of this test
    auto listAndRead = [&adb] {
        std::vector<AdbResult> r(2);
        RunEach(2, [&](size_t i) { r[i] = i == 0 ? adb.Run({"devices", "-l"}) : adb.Shell(std::string(), "echo hi"); });
        return r;
    };

    std::vector<AdbResult> raced = listAndRead();
    ASSERT_EQ((raced[0].exitCode == 0) + (raced[1].exitCode == 0), 1) << raced[0].err << raced[1].err;
    const AdbResult& won = raced[0].exitCode == 0 ? raced[0] : raced[1];
    const AdbResult& lost = raced[0].exitCode == 0 ? raced[1] : raced[0];
    EXPECT_EQ(won.err, "* daemon not running; starting now at tcp:5037\r\n* daemon started successfully\r\n");
    EXPECT_EQ(lost.exitCode, 1u);
    EXPECT_EQ(lost.err, "* daemon not running; starting now at tcp:5037\r\ncould not read ok from ADB Server\r\n"
                        "* failed to start daemon\r\nadb.exe: cannot connect to daemon\r\n");
    EXPECT_TRUE(lost.out.empty()) << lost.out;

    adb.Run({"kill-server"});
    AdbResult start = adb.Run({"start-server"});
    EXPECT_EQ(start.exitCode, 0u);
    EXPECT_EQ(start.err, "* daemon not running; starting now at tcp:5037\r\n* daemon started successfully\r\n");
    std::vector<AdbResult> after = listAndRead();
    for (const AdbResult& r : after) {
        EXPECT_EQ(r.exitCode, 0u) << r.err;
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(ParseDevices(after[0].out).size(), 1u);
    EXPECT_EQ(after[1].out, "hi\n");
}

// A second computer's adb server serves its own phones: they are listed with
// their server, a batch across both servers reaches each phone through its
// own (a serial may repeat across computers), and a server that is not there
// fails as adb does without touching the others.
TEST(DeviceServers, PhonesOfTwoServersListedAndChangedEachThroughItsOwn) {
    std::string phone = "package com.a enabled third-party\npackage com.b enabled third-party\n";
    Phones phones("platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 0\n"
                  "device LOCAL1 device model:Here\napi 34\n" + phone);
    std::string remoteState = Scratch() + "\\profile-10.0.0.2-5038.txt";
    {
        FILE* f = std::fopen(remoteState.c_str(), "wb");
        std::string remote = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 0\n"
                             "device LOCAL1 device model:There\napi 33\n" + phone +
                             "device FAR2 device model:Far\napi 30\n" + phone;
        std::fwrite(remote.data(), 1, remote.size(), f);
        std::fclose(f);
    }
    Server there{"10.0.0.2", 5038};

    DeviceList here = ListDevices(TheAdb());
    DeviceList away = ListDevices(TheAdb().Through(there));
    ASSERT_EQ(here.devices.size(), 1u) << here.error;
    ASSERT_EQ(away.devices.size(), 2u) << away.error;
    EXPECT_TRUE(here.devices[0].server.Local());
    EXPECT_EQ(away.devices[1].server, there);
    EXPECT_EQ(DeviceLabel(here.devices[0]), "Here LOCAL1");
    EXPECT_EQ(DeviceLabel(away.devices[0]), "There LOCAL1 @ 10.0.0.2:5038");
    EXPECT_NE(phones.Log().find("adb.exe -H 10.0.0.2 -P 5038 devices -l"), std::string::npos) << phones.Log();

    std::vector<Target> targets = {{Server(), "LOCAL1"}, {there, "LOCAL1"}, {there, "FAR2"}};
    std::vector<BatchResult> all = RunOnDevices(TheAdb(), targets, Action::Disable, {"com.b"}, BatchOptions());
    ASSERT_EQ(all.size(), 3u);
    for (size_t i = 0; i < all.size(); i++) {
        EXPECT_EQ(all[i].server, targets[i].server) << i;
        EXPECT_EQ(Outcomes(all[i]), std::vector<Outcome>{Outcome::Done}) << i << " " << all[i].error;
    }
    EXPECT_EQ(all[0].after.model, "Here");
    EXPECT_EQ(all[1].after.model, "There");
    std::string local = ReadFileText(Scratch() + "\\profile.txt"), remote = ReadFileText(remoteState);
    EXPECT_NE(local.find("package com.b disabled-user"), std::string::npos) << local;
    size_t disabled = 0;
    for (size_t at = remote.find("package com.b disabled-user"); at != std::string::npos;
         at = remote.find("package com.b disabled-user", at + 1))
        disabled++;
    EXPECT_EQ(disabled, 2u) << remote;

    DeviceList gone = ListDevices(TheAdb().Through(Server{"10.0.0.9", 5037}));
    EXPECT_TRUE(gone.devices.empty());
    EXPECT_EQ(gone.error, "adb：* cannot start server on remote host adb.exe: cannot connect to daemon at "
                          "tcp:10.0.0.9:5037: cannot connect to 10.0.0.9:5037: No connection could be made because "
                          "the target machine actively refused it. (10061)");
    DeleteFileA(remoteState.c_str());
}

// What the user types in 添加远程 adb 服务器, and the list kept between runs.
TEST(DeviceServers, AddressesAreReadAsTypedAndTheListSurvivesARun) {
    struct Case {
        const char* text;
        const char* host;   // null: refused
        int port;
    } cases[] = {
        {"192.168.1.20", "192.168.1.20", 5037}, {" lab-pc:5038 ", "lab-pc", 5038}, {"lab-pc 6000", "lab-pc", 6000},
        {"[fe80::1]:5039", "fe80::1", 5039},    {"fe80::1", "fe80::1", 5037},      {"", nullptr, 0},
        {"pc:0", nullptr, 0},                   {"pc:65536", nullptr, 0},         {"pc:50x", nullptr, 0},
        {"my pc:5037", nullptr, 0},             {"a/b", nullptr, 0},              {"[fe80::1", nullptr, 0},
    };
    for (const Case& c : cases) {
        Server s;
        std::string why;
        bool ok = ParseServer(c.text, &s, &why);
        EXPECT_EQ(ok, c.host != nullptr) << c.text << " " << why;
        if (!c.host) {
            EXPECT_FALSE(why.empty()) << c.text;
            continue;
        }
        EXPECT_EQ(s.host, c.host) << c.text;
        EXPECT_EQ(s.port, c.port) << c.text;
    }

    std::string path = Scratch() + "\\servers\\servers.txt";
    DeleteFileA(path.c_str());
    EXPECT_TRUE(ReadServers(path).empty());
    std::vector<Server> servers = {{"lab-pc", 5037}, {"fe80::1", 5039}};
    std::string why;
    ASSERT_TRUE(WriteServers(path, servers, &why)) << why;
    // A line someone typed by hand, a repeat and a comment are read as meant.
    FILE* f = std::fopen(path.c_str(), "ab");
    std::fputs("lab-pc:5037\r\n# old\r\nnot a server:x\r\n10.0.0.3\n", f);
    std::fclose(f);
    std::vector<Server> back = ReadServers(path);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0], servers[0]);
    EXPECT_EQ(back[1], servers[1]);
    EXPECT_EQ(back[2], (Server{"10.0.0.3", 5037}));
}

} // namespace
