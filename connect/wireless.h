// Wireless debugging (Android 11 and later): what `adb mdns services`,
// `adb pair` and `adb connect` print, read into records; every failure told
// in the owner's words; and the one step the window and adbctl both take:
// pair with the six-digit code, then connect to the same phone's connect
// service without asking for its address again.
#pragma once

#include <string>
#include <vector>
#include "device/adb.h"
#include "device/batch.h"

namespace conn {

// A phone's service on the network: its address and port.
struct Address {
    std::string host;
    int port = 0;
    std::string Text() const;   // "192.168.1.23:41234"
    bool operator==(const Address& o) const { return host == o.host && port == o.port; }
};

// "192.168.1.23:41234" as the phone's dialog shows it (blanks and a full-width
// colon forgiven); the port is required: both services change theirs every
// time wireless debugging is switched on. False with the reason in Chinese.
bool ParseAddress(const std::string& text, Address* address, std::string* why);
// The pairing code the phone shows: six digits (blanks between them forgiven).
bool ParseCode(const std::string& text, std::string* code, std::string* why);

// `adb mdns services`: "INSTANCE\tTYPE\tIP:PORT" a line after its heading.
enum class ServiceKind { Pairing, Connect, Plain };
struct MdnsService {
    std::string instance;
    ServiceKind kind = ServiceKind::Plain;
    Address address;
};
std::vector<MdnsService> ParseMdnsServices(const std::string& out);

// A phone on the network as discovery sees it, its services put together by address.
struct NetworkPhone {
    std::string name;        // the connect service's instance ("adb-SERIAL-xxxxxx"), else the pairing one's
    std::string host;
    int pairPort = 0;        // 0: no pairing dialog open on the phone
    int connectPort = 0;     // 0: wireless debugging's connect service not seen
    Address PairAddress() const { return Address{host, pairPort}; }
    Address ConnectAddress() const { return Address{host, connectPort}; }
};
std::vector<NetworkPhone> GroupByPhone(const std::vector<MdnsService>& services);

struct Discovery {
    std::vector<NetworkPhone> phones;
    std::string error;       // adb's failure, in Chinese; empty when it answered
};
// One `adb mdns services`: the adb server keeps what it has seen, so this
// answers at once and can be asked every few seconds.
Discovery Discover(const dev::Adb& adb, const dev::Cancel* cancel = nullptr);
// The phone of the list that offers this pairing or connect address, or null.
const NetworkPhone* FindByAddress(const std::vector<NetworkPhone>& phones, const Address& address);

enum class PairOutcome {
    Paired,
    WrongCode,       // wrong code, or the phone's dialog closed meanwhile (adb cannot tell them apart)
    Expired,         // the dialog is gone from the network: the code is no longer good
    Unreachable,     // the pairing client could not start
    BadAddress,
    OldAdb,          // an adb from before pairing (platform-tools 30)
    AdbFailed,       // adb did not run or did not answer
};
struct PairResult {
    PairOutcome outcome = PairOutcome::AdbFailed;
    std::string guid;        // the phone's own name for its connect service, when paired
    std::string said;        // what adb printed, one line
    std::string message;     // for the owner, in Chinese
};
// adb's answer, which goes to standard output with exit 0 up to
// platform-tools 34 and to standard error as "error: Failed: ..." with exit 1
// after (packages/modules/adb services.cpp pair_service, 2023).
PairResult ReadPairOutput(const dev::AdbResult& r, const Address& address);
PairResult Pair(const dev::Adb& adb, const Address& address, const std::string& code,
                const dev::Cancel* cancel = nullptr);

enum class ConnectOutcome {
    Connected,
    Already,
    NotPaired,       // "failed to authenticate": this computer is not paired with the phone
    PairingPort,     // the pairing dialog's port used to connect
    Refused,         // nothing listens there: wireless debugging off, or its port changed
    Unreachable,     // no answer: another network, a sleeping phone, a firewall
    BadAddress,
    AdbFailed,
};
struct ConnectResult {
    ConnectOutcome outcome = ConnectOutcome::AdbFailed;
    std::string serial;      // how adb lists the phone once connected ("192.168.1.23:37123")
    std::string said;
    std::string message;
    bool Ok() const { return outcome == ConnectOutcome::Connected || outcome == ConnectOutcome::Already; }
};
// `pairingPorts`: ports known to be pairing dialogs' (discovery, the pair just made).
ConnectResult ReadConnectOutput(const dev::AdbResult& r, const Address& address, const std::vector<Address>& pairingPorts);
ConnectResult Connect(const dev::Adb& adb, const Address& address, const std::vector<Address>& pairingPorts,
                      const dev::Cancel* cancel = nullptr);

class KnownPhones;

// Pairs, then connects the same phone: its connect service as discovery
// finds it (by the name the pairing reported, else by its address), unless
// `connectAddress` gives one. A phone adb connected by itself after the
// pairing (it does so for phones it finds by mDNS) is taken as it is. The
// phone goes into `known` (when given) once paired, with its connect
// address once connected.
struct Joining {
    PairResult pair;
    ConnectResult connect;
    bool connectTried = false;
    bool needsConnectAddress = false;   // paired, but no connect service was found: ask for the address
    std::string message;                // the whole outcome for the owner
};
Joining PairAndConnect(const dev::Adb& adb, const Address& pairAddress, const std::string& code,
                       const Address* connectAddress, const KnownPhones* known, const dev::Cancel* cancel = nullptr);

} // namespace conn
