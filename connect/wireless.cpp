#include "wireless.h"

#include <cstdlib>
#include "known.h"
#include "text/text.h"

namespace conn {

namespace {

// A pairing answers within a second or two; a dialog that closed meanwhile
// makes adb wait for its connection to be dropped.
constexpr DWORD kPairTimeoutMs = 30000;
// adb waits up to 10 s for a phone's handshake (packages/modules/adb
// transport.cpp register_socket_transport), longer for a connect() that
// gets no answer at all.
constexpr DWORD kConnectTimeoutMs = 25000;
constexpr DWORD kDiscoverTimeoutMs = 10000;
// After a pairing the phone announces its connect service again; discovery
// is asked this often, this many times, before the owner is asked for it.
constexpr DWORD kAnnounceWaitMs = 500;
constexpr int kAnnounceTries = 6;
constexpr int kHighestPort = 65535;

// The mDNS service types of wireless debugging (packages/modules/adb adb_mdns.h).
constexpr char kPairingType[] = "_adb-tls-pairing._tcp";
constexpr char kConnectType[] = "_adb-tls-connect._tcp";

std::string Said(const dev::AdbResult& r) { return text::OneLine(text::Trim(r.out + "\n" + r.err), 200); }

// Full-width characters a Chinese input method types: the colon, digits and blanks.
std::string Halfwidth(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == 0xA3 && i + 1 < s.size()) {   // GBK's full-width ASCII row
            unsigned char d = static_cast<unsigned char>(s[i + 1]);
            if (d >= 0xA1 && d <= 0xFE) {
                out += static_cast<char>(d - 0x80);
                i++;
                continue;
            }
        }
        if (c == 0xA1 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xA1) {   // ideographic space
            out += ' ';
            i++;
            continue;
        }
        out += s[i];
        if (c >= 0x81 && i + 1 < s.size()) out += s[++i];
    }
    return out;
}

bool ParsePort(const std::string& text, int* port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *port = std::atoi(text.c_str());
    return *port > 0 && *port <= kHighestPort;
}

bool HostCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-' ||
           c == '_';
}

// The mDNS type without the trailing dot Bonjour's listing adds.
ServiceKind KindOf(std::string type) {
    if (!type.empty() && type.back() == '.') type.pop_back();
    if (type == kPairingType) return ServiceKind::Pairing;
    if (type == kConnectType) return ServiceKind::Connect;
    return ServiceKind::Plain;
}

bool Mentions(const dev::AdbResult& r, const char* what) {
    return text::Contains(r.out, what) || text::Contains(r.err, what);
}

// The text after `head` up to the end of its line.
std::string After(const std::string& s, const char* head) {
    size_t at = s.find(head);
    if (at == std::string::npos) return std::string();
    at += std::char_traits<char>::length(head);
    size_t end = s.find_first_of("\r\n", at);
    return s.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// The serial of a phone adb connected by itself after a pairing: its
// connect service's name ("adb-SERIAL-xxxxxx._adb-tls-connect._tcp").
const dev::Device* ConnectedByName(const std::vector<dev::Device>& devices, const std::string& guid) {
    if (guid.empty()) return nullptr;
    for (const dev::Device& d : devices)
        if (text::StartsWith(d.serial, (guid + ".").c_str()) && d.state == dev::DeviceState::Ready) return &d;
    return nullptr;
}

} // namespace

std::string Address::Text() const { return host + ":" + std::to_string(port); }

bool ParseAddress(const std::string& typed, Address* address, std::string* why) {
    std::string s = text::Trim(Halfwidth(typed));
    std::string compact;
    for (char c : s)
        if (c != ' ' && c != '\t') compact += c;
    if (compact.empty()) return *why = "请填写手机上显示的 IP 地址和端口，例如 192.168.1.23:41234", false;
    size_t colon = compact.rfind(':');
    if (colon == std::string::npos)
        return *why = "地址要带端口，例如 " + compact + ":41234（端口在手机上地址的冒号后面）", false;
    std::string host = compact.substr(0, colon);
    int port = 0;
    if (!ParsePort(compact.substr(colon + 1), &port)) return *why = "端口应是 1 到 65535 之间的数字", false;
    if (host.empty() || host.size() > 253) return *why = "冒号前面应是手机的 IP 地址", false;
    for (char c : host)
        if (!HostCharacter(c)) return *why = "地址里有不能用的字符：" + text::OneLine(typed, 60), false;
    address->host = host;
    address->port = port;
    return true;
}

bool ParseCode(const std::string& typed, std::string* code, std::string* why) {
    std::string digits;
    for (char c : Halfwidth(typed)) {
        if (c == ' ' || c == '\t' || c == '-') continue;
        if (c < '0' || c > '9') return *why = "配对码只有数字：请照手机上显示的六位数字输入", false;
        digits += c;
    }
    if (digits.size() != 6) return *why = "配对码是手机上显示的六位数字", false;
    *code = digits;
    return true;
}

std::vector<MdnsService> ParseMdnsServices(const std::string& out) {
    std::vector<MdnsService> services;
    for (const std::string& line : text::SplitLines(out)) {
        // Tabs between the fields; the heading and blank lines have none.
        std::vector<std::string> f = text::SplitTabs(line);
        if (f.size() < 3) continue;
        MdnsService s;
        s.instance = text::Trim(f[0]);
        s.kind = KindOf(text::Trim(f[1]));
        std::string why;
        if (s.instance.empty() || !ParseAddress(text::Trim(f[2]), &s.address, &why)) continue;
        services.push_back(s);
    }
    return services;
}

std::vector<NetworkPhone> GroupByPhone(const std::vector<MdnsService>& services) {
    std::vector<NetworkPhone> phones;
    for (const MdnsService& s : services) {
        if (s.kind == ServiceKind::Plain) continue;
        NetworkPhone* p = nullptr;
        for (NetworkPhone& o : phones)
            if (o.host == s.address.host) p = &o;
        if (!p) {
            phones.push_back(NetworkPhone());
            p = &phones.back();
            p->host = s.address.host;
        }
        if (s.kind == ServiceKind::Pairing) {
            p->pairPort = s.address.port;
            if (p->name.empty()) p->name = s.instance;
        } else {
            p->connectPort = s.address.port;
            p->name = s.instance;
        }
    }
    return phones;
}

Discovery Discover(const dev::Adb& adb, const dev::Cancel* cancel) {
    Discovery d;
    dev::AdbRun how;
    how.cancel = cancel;
    how.timeoutMs = kDiscoverTimeoutMs;
    dev::AdbResult r = adb.Run({"mdns", "services"}, how);
    std::string failure = dev::RunFailure(r);
    if (!failure.empty()) d.error = failure;
    else if (Mentions(r, "unknown command"))
        d.error = "这个 adb 太旧，找不到无线调试的手机：请换用 platform-tools 30 或更新版本里的 adb.exe。";
    else if (r.exitCode != 0) d.error = "adb 无法查找网络上的手机：" + Said(r);
    else d.phones = GroupByPhone(ParseMdnsServices(r.out));
    return d;
}

const NetworkPhone* FindByAddress(const std::vector<NetworkPhone>& phones, const Address& a) {
    for (const NetworkPhone& p : phones)
        if (p.host == a.host && (p.pairPort == a.port || p.connectPort == a.port)) return &p;
    return nullptr;
}

PairResult ReadPairOutput(const dev::AdbResult& r, const Address& a) {
    PairResult p;
    p.said = Said(r);
    std::string failure = dev::RunFailure(r);
    if (!failure.empty()) {
        p.message = failure;
        return p;
    }
    std::string all = r.out + "\n" + r.err;
    if (text::Contains(all, "Successfully paired to")) {
        p.outcome = PairOutcome::Paired;
        std::string guid = After(all, "[guid=");
        p.guid = guid.substr(0, guid.find(']'));
        p.message = "已与 " + a.host + " 配对";
        return p;
    }
    if (Mentions(r, "Wrong password or connection was dropped")) {
        p.outcome = PairOutcome::WrongCode;
        p.message = "配对失败：配对码不对，或手机上的配对码已失效。配对码只在手机上“使用配对码配对设备”的对话框开着时有效："
                    "请在手机上重新打开它，输入新显示的六位配对码。";
    } else if (Mentions(r, "Failed to parse address") || Mentions(r, "Invalid port")) {
        p.outcome = PairOutcome::BadAddress;
        p.message = "配对地址不对：请照手机配对对话框里显示的“IP 地址和端口”输入。";
    } else if (Mentions(r, "Unable to start pairing client") || Mentions(r, "unable to create pairing client")) {
        p.outcome = PairOutcome::Unreachable;
        p.message = "无法开始配对：电脑连不上 " + a.Text() +
                    "。请确认电脑和手机连着同一个 Wi-Fi，并在 Windows 防火墙里允许 adb.exe（专用网络）。";
    } else if (Mentions(r, "unknown command")) {
        p.outcome = PairOutcome::OldAdb;
        p.message = "这个 adb 太旧，不会无线配对：请换用 platform-tools 30 或更新版本里的 adb.exe。";
    } else {
        p.message = "配对失败：" + (p.said.empty() ? "adb 出错（退出码 " + std::to_string(r.exitCode) + "）" : p.said);
    }
    return p;
}

PairResult Pair(const dev::Adb& adb, const Address& a, const std::string& code, const dev::Cancel* cancel) {
    dev::AdbRun how;
    how.cancel = cancel;
    how.timeoutMs = kPairTimeoutMs;
    return ReadPairOutput(adb.Run({"pair", a.Text(), code}, how), a);
}

ConnectResult ReadConnectOutput(const dev::AdbResult& r, const Address& a, const std::vector<Address>& pairingPorts) {
    ConnectResult c;
    c.said = Said(r);
    std::string failure = dev::RunFailure(r);
    if (!failure.empty()) {
        c.message = failure;
        return c;
    }
    bool pairing = false;
    for (const Address& p : pairingPorts) pairing = pairing || p == a;
    std::string where = a.Text();
    // Every answer of the server goes to standard output with exit 0
    // (packages/modules/adb client/transport_emulator.cpp connect_device).
    if (Mentions(r, "already connected to")) {
        c.outcome = ConnectOutcome::Already;
        c.serial = text::Trim(After(r.out, "already connected to "));
        c.message = where + " 已经连接";
    } else if (Mentions(r, "connected to") && !Mentions(r, "failed") && !Mentions(r, "cannot")) {
        c.outcome = ConnectOutcome::Connected;
        c.serial = text::Trim(After(r.out, "connected to "));
        c.message = "已连接 " + where;
    } else if (Mentions(r, "failed to authenticate")) {
        c.outcome = ConnectOutcome::NotPaired;
        c.message = "手机拒绝了连接（failed to authenticate）：这台电脑还没有和手机配对。请先在手机上点“使用配对码配对设备”，"
                    "输入显示的配对码配对。";
    } else if (pairing) {
        c.outcome = ConnectOutcome::PairingPort;
        c.message = where + " 是配对用的端口，不能用来连接：连接要用手机“无线调试”页面上“IP 地址和端口”里的端口，"
                    "不是配对对话框里的那个。";
    } else if (Mentions(r, "(10061)") || Mentions(r, "Connection refused")) {
        c.outcome = ConnectOutcome::Refused;
        c.message = "手机没有在 " + where + " 等待连接：无线调试可能已关闭，或者端口变了（每次打开无线调试端口都会变）。"
                    "请看手机“无线调试”页面上现在的 IP 地址和端口。";
    } else if (Mentions(r, "failed to connect") || Mentions(r, "(10060)") || Mentions(r, "timed out") ||
               Mentions(r, "failed to resolve")) {
        c.outcome = ConnectOutcome::Unreachable;
        c.message = "连不上 " + where + "：请确认电脑和手机连着同一个 Wi-Fi、手机没有锁屏休眠，"
                    "并在 Windows 防火墙里允许 adb.exe（专用网络）。";
    } else if (Mentions(r, "couldn't parse") || Mentions(r, "bad port")) {
        c.outcome = ConnectOutcome::BadAddress;
        c.message = "地址不对：请照手机“无线调试”页面上的“IP 地址和端口”输入。";
    } else {
        c.message = "连接失败：" + (c.said.empty() ? "adb 出错（退出码 " + std::to_string(r.exitCode) + "）" : c.said);
    }
    if (c.Ok() && c.serial.empty()) c.serial = where;
    return c;
}

ConnectResult Connect(const dev::Adb& adb, const Address& a, const std::vector<Address>& pairingPorts,
                      const dev::Cancel* cancel) {
    dev::AdbRun how;
    how.cancel = cancel;
    how.timeoutMs = kConnectTimeoutMs;
    return ReadConnectOutput(adb.Run({"connect", a.Text()}, how), a, pairingPorts);
}

namespace {

// The connect service of the phone just paired: by the name the pairing
// reported, else the one at the same address.
bool FindConnectService(const std::vector<NetworkPhone>& phones, const std::string& guid, const std::string& host,
                        Address* found) {
    for (const NetworkPhone& p : phones)
        if (!guid.empty() && p.name == guid && p.connectPort) return *found = p.ConnectAddress(), true;
    for (const NetworkPhone& p : phones)
        if (p.host == host && p.connectPort) return *found = p.ConnectAddress(), true;
    return false;
}

} // namespace

Joining PairAndConnect(const dev::Adb& adb, const Address& pairAddress, const std::string& code,
                       const Address* connectAddress, const KnownPhones* known, const dev::Cancel* cancel) {
    Joining j;
    j.pair = Pair(adb, pairAddress, code, cancel);
    if (j.pair.outcome == PairOutcome::WrongCode) {
        // adb says the same for a wrong code and for a dialog that closed;
        // discovery tells them apart: a closed dialog is no longer announced.
        Discovery now = Discover(adb, cancel);
        const NetworkPhone* p = FindByAddress(now.phones, pairAddress);
        if (now.error.empty() && (!p || p->pairPort != pairAddress.port)) {
            j.pair.outcome = PairOutcome::Expired;
            j.pair.message = "配对码已失效：手机上的配对对话框已经关闭（离开“无线调试”页面或切到别的应用时，很多手机会关掉它）。"
                             "请在手机上重新点“使用配对码配对设备”，然后马上输入新显示的配对码。";
        }
    }
    j.message = j.pair.message;
    if (j.pair.outcome != PairOutcome::Paired) return j;
    if (known) known->Remember(KnownPhone{j.pair.guid, Address{pairAddress.host, 0}});

    Address target;
    bool found = connectAddress != nullptr;
    if (found) target = *connectAddress;
    for (int i = 0; i < kAnnounceTries && !(cancel && cancel->Requested()); i++) {
        if (i > 0) Sleep(kAnnounceWaitMs);
        // adb connects a paired phone it finds by mDNS by itself: a second
        // connect by address would list it twice.
        dev::DeviceList listed = dev::ListDevices(adb, cancel);
        if (const dev::Device* d = ConnectedByName(listed.devices, j.pair.guid)) {
            j.connectTried = true;
            j.connect.outcome = ConnectOutcome::Already;
            j.connect.serial = d->serial;
            j.message = j.pair.message + "，已连接";
            return j;
        }
        if (found) break;
        found = FindConnectService(Discover(adb, cancel).phones, j.pair.guid, pairAddress.host, &target);
        if (found) break;
    }
    if (!found) {
        j.needsConnectAddress = true;
        j.message = j.pair.message + "。请输入手机“无线调试”页面上显示的 IP 地址和端口（不是配对用的那个），再按 连接。";
        return j;
    }
    j.connectTried = true;
    j.connect = Connect(adb, target, {pairAddress}, cancel);
    if (j.connect.Ok() && known) known->Remember(KnownPhone{j.pair.guid, target});
    j.message = j.connect.Ok() ? j.pair.message + "，已连接 " + target.Text() : j.pair.message + "；" + j.connect.message;
    return j;
}

} // namespace conn
