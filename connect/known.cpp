#include "known.h"

#include <cstdlib>
#include "device/lockedfile.h"
#include "text/text.h"

namespace conn {

namespace {

// A computer pairs with few phones; the oldest go first past this many.
constexpr size_t kKeptPhones = 32;
constexpr char kHeading[] = "# phones paired for wireless debugging: name<TAB>last connect address\r\n";

std::string Format(const std::vector<KnownPhone>& phones) {
    std::string s = kHeading;
    for (const KnownPhone& p : phones)
        s += (p.guid.empty() ? "-" : p.guid) + "\t" + p.address.host + ":" + std::to_string(p.address.port) + "\r\n";
    return s;
}

bool Same(const KnownPhone& a, const KnownPhone& b) {
    if (!a.guid.empty() && !b.guid.empty()) return a.guid == b.guid;
    return a.address.host == b.address.host;
}

} // namespace

std::string KnownPhones::DefaultPath() { return dev::ToolDataFile("wireless.txt"); }

std::vector<KnownPhone> KnownPhones::Read() const {
    std::vector<KnownPhone> phones;
    dev::ForEachWholeLine(dev::ReadShared(path_), [&](const std::string& line) {
        std::vector<std::string> f = text::SplitTabs(line);
        if (f.size() < 2 || text::StartsWith(line, "#")) return;
        KnownPhone p;
        p.guid = f[0] == "-" ? std::string() : text::Trim(f[0]);
        size_t colon = f[1].rfind(':');
        if (colon == std::string::npos) return;
        p.address.host = text::Trim(f[1].substr(0, colon));
        p.address.port = std::atoi(f[1].c_str() + colon + 1);
        if (!p.address.host.empty()) phones.push_back(p);
    });
    return phones;
}

bool KnownPhones::Remember(const KnownPhone& phone, std::string* why) const {
    std::vector<KnownPhone> phones = Read();
    KnownPhone merged = phone;
    for (auto it = phones.begin(); it != phones.end();) {
        if (!Same(*it, phone)) {
            ++it;
            continue;
        }
        // A pairing tells the name, a connect the port: keep what the other knew.
        if (merged.guid.empty()) merged.guid = it->guid;
        if (merged.address.port == 0 && it->address.host == merged.address.host) merged.address.port = it->address.port;
        it = phones.erase(it);
    }
    phones.push_back(merged);
    if (phones.size() > kKeptPhones) phones.erase(phones.begin(), phones.end() - kKeptPhones);
    return dev::RewriteLocked(path_, Format(phones), why);
}

Reconnection ReconnectKnown(const dev::Adb& adb, const KnownPhones& known, const dev::Cancel* cancel) {
    Reconnection done;
    std::vector<KnownPhone> phones = known.Read();
    if (phones.empty()) return done;
    Discovery seen;
    dev::DeviceList listed;
    dev::RunEach(2, [&](size_t i) {
        if (i == 0) seen = Discover(adb, cancel);
        else listed = dev::ListDevices(adb, cancel);
    });
    std::vector<std::pair<KnownPhone, Address>> wanted;
    for (const KnownPhone& k : phones) {
        const NetworkPhone* here = nullptr;
        for (const NetworkPhone& p : seen.phones)
            if (p.connectPort && (k.guid.empty() ? p.host == k.address.host : p.name == k.guid)) here = &p;
        if (!here) continue;
        bool listedAlready = false;
        for (const dev::Device& d : listed.devices)
            listedAlready = listedAlready || d.serial == here->ConnectAddress().Text() ||
                            (!k.guid.empty() && text::StartsWith(d.serial, (k.guid + ".").c_str()));
        if (!listedAlready) wanted.push_back({k, here->ConnectAddress()});
    }
    std::vector<ConnectResult> results(wanted.size());
    dev::RunEach(wanted.size(), [&](size_t i) { results[i] = Connect(adb, wanted[i].second, {}, cancel); });
    for (size_t i = 0; i < wanted.size(); i++) {
        if (results[i].Ok()) {
            done.connected.push_back(results[i].serial);
            known.Remember(KnownPhone{wanted[i].first.guid, wanted[i].second});
        } else {
            done.failures.push_back("无线连接 " + wanted[i].second.Text() + "：" + results[i].message);
        }
    }
    return done;
}

} // namespace conn
