#include "wireless.h"

#include <nlohmann/json.hpp>
#include "connect/hints.h"
#include "connect/known.h"
#include "connect/otheradb.h"
#include "connect/wireless.h"
#include "text/text.h"

namespace cli {

namespace {

using Json = nlohmann::ordered_json;

std::string Utf8(const std::string& gbk) { return text::GbkToUtf8(gbk); }
void Emit(Output& out, const Json& j) { out.JsonLine(j.dump(-1, ' ', false, Json::error_handler_t::replace)); }

const char* PairWord(conn::PairOutcome o) {
    switch (o) {
    case conn::PairOutcome::Paired: return "paired";
    case conn::PairOutcome::WrongCode: return "wrong-code";
    case conn::PairOutcome::Expired: return "expired";
    case conn::PairOutcome::Unreachable: return "unreachable";
    case conn::PairOutcome::BadAddress: return "bad-address";
    case conn::PairOutcome::OldAdb: return "old-adb";
    case conn::PairOutcome::AdbFailed: break;
    }
    return "adb-failed";
}

const char* ConnectWord(conn::ConnectOutcome o) {
    switch (o) {
    case conn::ConnectOutcome::Connected: return "connected";
    case conn::ConnectOutcome::Already: return "already";
    case conn::ConnectOutcome::NotPaired: return "not-paired";
    case conn::ConnectOutcome::PairingPort: return "pairing-port";
    case conn::ConnectOutcome::Refused: return "refused";
    case conn::ConnectOutcome::Unreachable: return "unreachable";
    case conn::ConnectOutcome::BadAddress: return "bad-address";
    case conn::ConnectOutcome::AdbFailed: break;
    }
    return "adb-failed";
}

// adb that did not run or answer is exit 3; the phone's refusals are 1.
int ExitOf(conn::PairOutcome o) { return o == conn::PairOutcome::AdbFailed || o == conn::PairOutcome::OldAdb ? kExitNoPhone : kExitFailed; }
int ExitOf(conn::ConnectOutcome o) { return o == conn::ConnectOutcome::AdbFailed ? kExitNoPhone : kExitFailed; }

bool Address(const std::string& typed, conn::Address* a, Output& out) {
    std::string why;
    if (conn::ParseAddress(typed, a, &why)) return true;
    out.Error("adbctl：" + why);
    return false;
}

void PrintConnect(const Options& o, const conn::Address& a, const conn::ConnectResult& c, Output& out) {
    if (o.json) {
        Emit(out, Json{{"address", a.Text()},
                       {"outcome", ConnectWord(c.outcome)},
                       {"ok", c.Ok()},
                       {"serial", c.Ok() ? Json(c.serial) : Json(nullptr)},
                       {"message", Utf8(c.message)},
                       {"detail", text::IsUtf8(c.said) ? c.said : Utf8(c.said)}});
        return;
    }
    if (c.Ok()) out.Data(c.serial + "\t" + c.message);
    else out.Error(c.message);
}

} // namespace

int DiscoverCommand(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel) {
    conn::Discovery d = conn::Discover(adb, &cancel);
    if (!d.error.empty()) {
        out.Error(text::OneLine(d.error));
        return kExitNoPhone;
    }
    for (const conn::NetworkPhone& p : d.phones) {
        if (o.json) {
            Emit(out, Json{{"name", p.name},
                           {"host", p.host},
                           {"pairPort", p.pairPort ? Json(p.pairPort) : Json(nullptr)},
                           {"connectPort", p.connectPort ? Json(p.connectPort) : Json(nullptr)}});
            continue;
        }
        out.Data(p.host + "\t" + (p.pairPort ? "可配对 " + p.PairAddress().Text() : std::string("-")) + "\t" +
                 (p.connectPort ? "可连接 " + p.ConnectAddress().Text() : std::string("-")) + "\t" + p.name);
    }
    if (!d.phones.empty()) return kExitDone;
    out.Error("网络上没有发现打开了“无线调试”的手机：手机和电脑要连同一个 Wi-Fi；在手机上打开 设置 → 开发者选项 → 无线调试");
    return kExitNoPhone;
}

int PairCommand(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel) {
    conn::Address pairAt, connectAt;
    std::string code, why;
    if (!Address(o.arguments[0], &pairAt, out)) return kExitUsage;
    if (!conn::ParseCode(o.arguments[1], &code, &why)) {
        out.Error("adbctl：" + why);
        return kExitUsage;
    }
    if (!o.connectTo.empty() && !Address(o.connectTo, &connectAt, out)) return kExitUsage;
    conn::KnownPhones known;
    conn::Joining j =
        conn::PairAndConnect(adb, pairAt, code, o.connectTo.empty() ? nullptr : &connectAt, &known, &cancel);
    bool connected = j.connectTried && j.connect.Ok();
    if (o.json) {
        Emit(out, Json{{"address", pairAt.Text()},
                       {"outcome", PairWord(j.pair.outcome)},
                       {"guid", j.pair.guid.empty() ? Json(nullptr) : Json(j.pair.guid)},
                       {"connect", j.connectTried ? Json(ConnectWord(j.connect.outcome)) : Json(nullptr)},
                       {"ok", connected},
                       {"serial", connected ? Json(j.connect.serial) : Json(nullptr)},
                       {"message", Utf8(j.message)}});
    } else if (connected) {
        out.Data(j.connect.serial + "\t" + j.message);
    } else {
        out.Error(j.message);
        if (j.needsConnectAddress) out.Error("已配对：adbctl connect IP:端口 连接它（地址在手机“无线调试”页面上）");
    }
    if (connected) return kExitDone;
    if (j.pair.outcome != conn::PairOutcome::Paired) return ExitOf(j.pair.outcome);
    return j.connectTried ? ExitOf(j.connect.outcome) : kExitFailed;
}

int ConnectCommand(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel) {
    conn::KnownPhones known;
    if (o.arguments.empty()) {
        // No address: every phone paired before that is on the network now.
        conn::Reconnection r = conn::ReconnectKnown(adb, known, &cancel);
        for (const std::string& serial : r.connected) {
            if (o.json) Emit(out, Json{{"serial", serial}, {"outcome", "connected"}, {"ok", true}});
            else out.Data(serial + "\t已重新连接");
        }
        for (const std::string& f : r.failures) out.Error(f);
        if (!r.failures.empty()) return kExitFailed;
        if (r.connected.empty()) out.Error("没有要重新连接的手机（配对过、开着无线调试、在同一网络里、还没有连接的）");
        return kExitDone;
    }
    conn::Address at;
    if (!Address(o.arguments[0], &at, out)) return kExitUsage;
    // What discovery sees tells a pairing port used by mistake from a closed one.
    std::vector<conn::Address> pairing;
    for (const conn::NetworkPhone& p : conn::Discover(adb, &cancel).phones)
        if (p.pairPort) pairing.push_back(p.PairAddress());
    conn::ConnectResult c = conn::Connect(adb, at, pairing, &cancel);
    if (c.Ok()) known.Remember(conn::KnownPhone{std::string(), at});
    PrintConnect(o, at, c, out);
    return c.Ok() ? kExitDone : ExitOf(c.outcome);
}

int OtherAdbCommand(const Options& o, Output& out) {
    conn::PortOwner owner = conn::FindPortOwner(dev::AdbServerPort());
    std::string port = std::to_string(dev::AdbServerPort());
    bool ours = conn::IsOurs(owner, dev::Adb::DefaultPath());
    if (o.json)
        Emit(out, Json{{"port", owner.port},
                       {"pid", owner.pid ? Json(owner.pid) : Json(nullptr)},
                       {"program", owner.name.empty() ? Json(nullptr) : Json(Utf8(owner.name))},
                       {"path", owner.path.empty() ? Json(nullptr) : Json(Utf8(owner.path))},
                       {"ours", ours}});
    else if (owner.Known())
        out.Data(port + "\t" + std::to_string(owner.pid) + "\t" + owner.name + (owner.path.empty() ? "" : "\t" + owner.path));
    if (!owner.Known()) {
        out.Error(owner.pid ? "看不出端口 " + port + " 的主人" : "看不出哪个程序在端口 " + port + " 上监听（也可能没有）");
        return o.endOther ? kExitNoPhone : kExitDone;
    }
    if (!o.endOther) return kExitDone;
    if (ours) {
        out.Error("端口 " + port + " 上是本工具自己的 adb，没有结束它");
        return kExitDone;
    }
    std::string why;
    if (!conn::EndProcess(owner, &why)) {
        out.Error("没有结束 " + owner.name + "：" + why);
        return kExitFailed;
    }
    out.Error("已结束 " + owner.name + "（进程 " + std::to_string(owner.pid) + "）；它所属的软件可能会再启动它，最好也退出那个软件");
    return kExitDone;
}

bool TellAdbTrouble(const std::string& listError, const std::string& adbText, Output& out) {
    conn::PortOwner owner;
    if (conn::FindVersionClash(adbText + "\n" + listError).found || text::Contains(listError, "daemon"))
        owner = conn::FindPortOwner(dev::AdbServerPort());
    conn::AdbTrouble t = conn::ExplainAdbTrouble(listError, adbText, owner);
    if (t.kind == conn::AdbTrouble::None) return false;
    out.Error(text::OneLine(t.message, 600));
    if (t.kind == conn::AdbTrouble::OtherServer && owner.Known())
        out.Error("要结束它的 adb 服务：adbctl other-adb --end");
    return true;
}

} // namespace cli
