// Getting a phone to show up, below the windows: what adb prints for
// wireless debugging read into outcomes, the whole pairing against the
// simulated phones (a code that is wrong, one that expired, the pairing port
// used to connect), phones remembered and brought back, and another
// program's adb server on adb's port named and ended.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "connect/hints.h"
#include "connect/known.h"
#include "connect/otheradb.h"
#include "connect/wireless.h"
#include "tests/support/files.h"
#include "tests/support/rival.h"

namespace {

using namespace conn;

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

dev::AdbResult Ran(const std::string& out, const std::string& err = "", DWORD exit = 0) {
    dev::AdbResult r;
    r.started = true;
    r.out = out;
    r.err = err;
    r.exitCode = exit;
    return r;
}

TEST(Wireless, AddressesAndCodesAsOwnersTypeThem) {
    Address a;
    std::string why;
    ASSERT_TRUE(ParseAddress(" 192.168.1.23 : 41234 ", &a, &why)) << why;
    EXPECT_EQ(a.Text(), "192.168.1.23:41234");
    // A Chinese input method's full-width colon and digits.
    ASSERT_TRUE(ParseAddress("192.168.1.23：４１２３４", &a, &why)) << why;
    EXPECT_EQ(a.port, 41234);
    EXPECT_FALSE(ParseAddress("192.168.1.23", &a, &why));
    EXPECT_TRUE(Contains(why, "端口")) << why;
    EXPECT_FALSE(ParseAddress("192.168.1.23:70000", &a, &why));
    EXPECT_FALSE(ParseAddress("192.168.1.23&calc:5555", &a, &why));
    std::string code;
    ASSERT_TRUE(ParseCode("482 915", &code, &why)) << why;
    EXPECT_EQ(code, "482915");
    EXPECT_FALSE(ParseCode("48291", &code, &why));
    EXPECT_FALSE(ParseCode("48291x", &code, &why));
}

// The listing of the adb client (packages/modules/adb docs/dev/adb_wifi.md),
// Bonjour's types with their trailing dot, a plain adb service beside them.
TEST(Wireless, ServicesAreGroupedIntoPhonesByAddress) {
    std::vector<NetworkPhone> phones = GroupByPhone(ParseMdnsServices(
        "List of discovered mdns services\r\n"
        "adb-14141FDF600081\t_adb._tcp\t192.168.86.38:5555\r\n"
        "adb-14141FDF600081-QXjCrW\t_adb-tls-pairing._tcp.\t192.168.86.38:33861\r\n"
        "adb-14141FDF600081-TnSdi9\t_adb-tls-connect._tcp.\t192.168.86.38:33015\r\n"
        "adb-R58M123-AbCdEf\t_adb-tls-connect._tcp\t192.168.86.40:37123\r\n\r\n"));
    ASSERT_EQ(phones.size(), 2u);
    EXPECT_EQ(phones[0].name, "adb-14141FDF600081-TnSdi9");
    EXPECT_EQ(phones[0].PairAddress().Text(), "192.168.86.38:33861");
    EXPECT_EQ(phones[0].ConnectAddress().Text(), "192.168.86.38:33015");
    EXPECT_EQ(phones[1].pairPort, 0);
    EXPECT_EQ(FindByAddress(phones, Address{"192.168.86.38", 33861}), &phones[0]);
    EXPECT_EQ(FindByAddress(phones, Address{"192.168.86.38", 1}), nullptr);
}

// Both places adb has put a pairing's answer, and the connect answers that
// need telling apart.
TEST(Wireless, PairAndConnectAnswersBecomeOutcomes) {
    Address pairAt{"192.168.1.23", 41234}, connectAt{"192.168.1.23", 37123};
    PairResult ok = ReadPairOutput(Ran("Successfully paired to 192.168.1.23:41234 [guid=adb-R58M123-AbCdEf]\n"), pairAt);
    EXPECT_EQ(ok.outcome, PairOutcome::Paired);
    EXPECT_EQ(ok.guid, "adb-R58M123-AbCdEf");
    EXPECT_EQ(ReadPairOutput(Ran("Failed: Wrong password or connection was dropped.\n"), pairAt).outcome,
              PairOutcome::WrongCode);
    EXPECT_EQ(ReadPairOutput(Ran("", "error: Failed: Wrong password or connection was dropped.\n", 1), pairAt).outcome,
              PairOutcome::WrongCode);
    EXPECT_EQ(ReadPairOutput(Ran("", "adb.exe: unknown command pair\n", 1), pairAt).outcome, PairOutcome::OldAdb);
    dev::AdbResult missing;
    missing.startError = "找不到 adb.exe";
    EXPECT_EQ(ReadPairOutput(missing, pairAt).outcome, PairOutcome::AdbFailed);

    std::vector<Address> pairing = {pairAt};
    ConnectResult c = ReadConnectOutput(Ran("connected to 192.168.1.23:37123\n"), connectAt, pairing);
    EXPECT_EQ(c.outcome, ConnectOutcome::Connected);
    EXPECT_EQ(c.serial, "192.168.1.23:37123");
    EXPECT_EQ(ReadConnectOutput(Ran("already connected to 192.168.1.23:37123\n"), connectAt, pairing).outcome,
              ConnectOutcome::Already);
    EXPECT_EQ(ReadConnectOutput(Ran("failed to authenticate to 192.168.1.23:37123\n"), connectAt, pairing).outcome,
              ConnectOutcome::NotPaired);
    EXPECT_EQ(ReadConnectOutput(Ran("failed to connect to 192.168.1.23:41234\n"), pairAt, pairing).outcome,
              ConnectOutcome::PairingPort);
    EXPECT_EQ(ReadConnectOutput(Ran("failed to connect to 192.168.1.23:41234\n"), pairAt, {}).outcome,
              ConnectOutcome::Unreachable);
    // Chinese Windows' own words for a refused socket (UTF-8 from adb).
    EXPECT_EQ(ReadConnectOutput(Ran("cannot connect to 192.168.1.23:37123: \xe7\x94\xb1\xe4\xba\x8e (10061)\n"),
                                connectAt, pairing)
                  .outcome,
              ConnectOutcome::Refused);
}

// --- against the simulated phones ---------------------------------------------

std::string Scratch() {
    std::string dir = test::ExeDir() + "\\connect_scratch";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

dev::Adb TheAdb() { return dev::Adb(test::ExeDir() + "\\..\\adb_1.0.40\\adb.exe"); }

// A phone on the network with wireless debugging on and its pairing dialog
// open, plus the list of packages the layer reads.
std::string NetworkPhone(const std::string& tools = "34.0.5", const std::string& wireless =
                                                                  "wireless guid=adb-R58M123-AbCdEf pair-port=41234 code=482915") {
    return "platform-tools " + tools + "\nconnect-ms 0\ncommand-ms 0\nvm-ms 0\nscript-ms 0\nchange-ms 0\n"
           "device 192.168.1.23:37123 wifi product:p model:Pixel_7 device:d\napi 34\nprop ro.serialno R58M123\n" +
           wireless + "\npackage com.user.app enabled third-party\npackage com.sys.plain enabled system\n";
}

class Simulated : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = Scratch() + "\\profile.txt";
        log_ = Scratch() + "\\log.txt";
        DeleteFileA(log_.c_str());
        SetEnvironmentVariableA("ADBSIM_STATE", state_.c_str());
        SetEnvironmentVariableA("ADBSIM_LOG", log_.c_str());
        known_ = Scratch() + "\\wireless.txt";
        DeleteFileA(known_.c_str());
    }
    void Write(const std::string& profile) { test::WriteFileText(state_, profile); }
    std::string State() const { return test::ReadFileBytes(state_); }
    size_t AdbRuns() const {
        size_t n = 0;
        for (char c : test::ReadFileBytes(log_)) n += c == '\n';
        return n;
    }
    std::string state_, log_, known_;
};

// Discover, a wrong code, the right one: paired, connected to the same
// phone's connect service without being asked, listed, read, remembered.
TEST_F(Simulated, PairingWithTheCodeConnectsTheSamePhone) {
    Write(NetworkPhone());
    dev::Adb adb = TheAdb();
    Discovery d = Discover(adb);
    ASSERT_TRUE(d.error.empty()) << d.error;
    ASSERT_EQ(d.phones.size(), 1u);
    EXPECT_EQ(d.phones[0].PairAddress().Text(), "192.168.1.23:41234");
    EXPECT_TRUE(dev::ListDevices(adb).devices.empty()) << "not connected yet";

    KnownPhones known(known_);
    Joining wrong = PairAndConnect(adb, d.phones[0].PairAddress(), "111111", nullptr, &known);
    EXPECT_EQ(wrong.pair.outcome, PairOutcome::WrongCode) << wrong.message;
    EXPECT_TRUE(Contains(wrong.message, "配对码不对")) << wrong.message;
    EXPECT_TRUE(known.Read().empty());

    Joining j = PairAndConnect(adb, d.phones[0].PairAddress(), "482915", nullptr, &known);
    ASSERT_EQ(j.pair.outcome, PairOutcome::Paired) << j.message;
    ASSERT_TRUE(j.connectTried && j.connect.Ok()) << j.message;
    EXPECT_EQ(j.connect.serial, "192.168.1.23:37123");
    std::vector<dev::Device> listed = dev::ListDevices(adb).devices;
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].state, dev::DeviceState::Ready);
    dev::PackageRead read = dev::ReadPackages(adb, listed[0].serial, 0);
    ASSERT_TRUE(read.snapshot.complete) << read.error;
    EXPECT_EQ(read.snapshot.packages.size(), 2u);
    std::vector<KnownPhone> kept = known.Read();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].guid, "adb-R58M123-AbCdEf");
    EXPECT_EQ(kept[0].address.Text(), "192.168.1.23:37123");

    // Gone (the phone slept, the owner switched it off and on): the next
    // reconnection brings it back without a code; a second finds nothing to do.
    ASSERT_EQ(TheAdb().Run({"disconnect", "192.168.1.23:37123"}).exitCode, 0u);
    ASSERT_TRUE(dev::ListDevices(adb).devices.empty());
    Reconnection r = ReconnectKnown(adb, known);
    ASSERT_EQ(r.connected.size(), 1u) << (r.failures.empty() ? "" : r.failures[0]);
    EXPECT_EQ(r.connected[0], "192.168.1.23:37123");
    EXPECT_TRUE(ReconnectKnown(adb, known).connected.empty());
    size_t runs = AdbRuns();
    EXPECT_TRUE(ReconnectKnown(adb, KnownPhones(Scratch() + "\\none.txt")).connected.empty());
    EXPECT_EQ(AdbRuns(), runs) << "no known phone: no adb run at all";
}

// The owner left the 无线调试 page: the dialog and its code are gone. adb
// says the same as for a wrong code; discovery tells the two apart. The
// newer client puts the failure on standard error with exit 1.
TEST_F(Simulated, AnExpiredCodeIsToldFromAWrongOne) {
    for (const char* tools : {"34.0.5", "35.0.2"}) {
        Write(NetworkPhone(tools));
        Address pairAt{"192.168.1.23", 41234};
        ASSERT_EQ(Discover(TheAdb()).phones.at(0).pairPort, 41234);
        std::string s = State();
        s.replace(s.find(" pair-port=41234 code=482915"), 28, "");
        Write(s);
        Joining j = PairAndConnect(TheAdb(), pairAt, "482915", nullptr, nullptr);
        EXPECT_EQ(j.pair.outcome, PairOutcome::Expired) << tools << ": " << j.message;
        EXPECT_TRUE(Contains(j.message, "配对码已失效")) << j.message;
        EXPECT_FALSE(j.connectTried);
    }
}

// Connecting before pairing, to the pairing port, and to a port nobody is at.
TEST_F(Simulated, ConnectFailuresSayWhatToDo) {
    Write(NetworkPhone());
    dev::Adb adb = TheAdb();
    Address pairAt{"192.168.1.23", 41234}, connectAt{"192.168.1.23", 37123};
    ConnectResult notPaired = Connect(adb, connectAt, {});
    EXPECT_EQ(notPaired.outcome, ConnectOutcome::NotPaired) << notPaired.said;
    EXPECT_TRUE(Contains(notPaired.message, "还没有和手机配对")) << notPaired.message;
    ConnectResult pairing = Connect(adb, pairAt, {pairAt});
    EXPECT_EQ(pairing.outcome, ConnectOutcome::PairingPort) << pairing.said;
    EXPECT_TRUE(Contains(pairing.message, "配对用的端口")) << pairing.message;
    ConnectResult nobody = Connect(adb, Address{"192.168.1.23", 40000}, {pairAt});
    EXPECT_EQ(nobody.outcome, ConnectOutcome::Refused) << nobody.said;
    EXPECT_TRUE(dev::ListDevices(adb).devices.empty());
}

// --- another program's adb server ---------------------------------------------


// A phone-assistant program's own adb serving on the port: clients fail
// with the real texts, the program is named, and once the owner agreed and
// it is ended, adb works.
TEST_F(Simulated, AnotherProgramsServerIsNamedAndEnded) {
    Write(NetworkPhone() + "device USB123 device product:p model:M device:d\n");
    test::Rival rival(TheAdb().Path(), Scratch() + "\\suite_adb.exe");
    ASSERT_TRUE(rival.Serving());
    unsigned short port = rival.Port();

    dev::DeviceList list = dev::ListDevices(TheAdb());
    ASSERT_FALSE(list.error.empty());
    VersionClash clash = FindVersionClash(list.error);
    ASSERT_TRUE(clash.found) << list.error;
    EXPECT_EQ(clash.serverVersion, 31);
    EXPECT_EQ(clash.clientVersion, 41);

    // The IP helper's table holds the listener; Wine 8 gives no owner (0),
    // so the owner the table would name on Windows is given as it is there.
    bool listed = false;
    for (const Listener& l : ListenersOfThisComputer()) listed = listed || l.port == port;
    EXPECT_TRUE(listed);
    PortOwner owner = FindPortOwner(port, {{port, rival.Pid()}});
    ASSERT_TRUE(owner.Known());
    EXPECT_EQ(owner.name, "suite_adb.exe");
    EXPECT_FALSE(IsOurs(owner, TheAdb().Path()));
    AdbTrouble t = ExplainAdbTrouble(list.error, std::string(), owner);
    EXPECT_EQ(t.kind, AdbTrouble::OtherServer);
    EXPECT_TRUE(Contains(t.message, "端口 " + std::to_string(port) + " 被 suite_adb.exe 占用，它自带的 adb 与本工具的版本不同"))
        << t.message;
    // Without an owner the program is described, not named.
    PortOwner unknown;
    unknown.port = port;
    EXPECT_TRUE(Contains(ExplainAdbTrouble(list.error, "", unknown).message, "另一个程序的 adb"));

    std::string why;
    ASSERT_TRUE(EndProcess(owner, &why)) << why;
    EXPECT_TRUE(rival.Ended());
    list = dev::ListDevices(TheAdb());
    EXPECT_TRUE(list.error.empty()) << list.error;
    EXPECT_EQ(list.devices.size(), 1u);
    EXPECT_FALSE(EndProcess(owner, &why)) << "a process that is gone is said so";
}

TEST(Hints, NoPhoneSaysTheChecksInOrderOnOneLine) {
    std::string hint = NoPhoneHint();
    size_t debug = hint.find("USB 调试"), allow = hint.find("允许"), cable = hint.find("数据线"),
           driver = hint.find("驱动"), charge = hint.find("仅充电");
    ASSERT_NE(charge, std::string::npos) << hint;
    EXPECT_TRUE(debug < allow && allow < cable && cable < driver && driver < charge) << hint;
    EXPECT_EQ(hint.find('\n'), std::string::npos);
    EXPECT_TRUE(Contains(NoPhoneDetails(), "HarmonyOS"));
    AdbTrouble missing = ExplainAdbTrouble("找不到 C:\\t\\adb_1.0.40\\adb.exe：请把 platform-tools ...", "", PortOwner{});
    EXPECT_EQ(missing.kind, AdbTrouble::Missing);
    EXPECT_TRUE(Contains(missing.message, kPlatformToolsUrl));
    EXPECT_EQ(ExplainAdbTrouble("adb：cannot connect to daemon", "", PortOwner{}).kind, AdbTrouble::ServerDown);
    EXPECT_EQ(ExplainAdbTrouble("", "", PortOwner{}).kind, AdbTrouble::None);
}

} // namespace
