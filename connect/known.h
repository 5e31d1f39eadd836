// The phones this computer has paired with over wireless debugging, kept
// between runs (%LOCALAPPDATA%\adbtool\wireless.txt, one phone a line:
// its connect service's name and its last connect address), so that 刷新
// and `adbctl connect` bring them back without a code.
#pragma once

#include <string>
#include <vector>
#include "wireless.h"

namespace conn {

struct KnownPhone {
    std::string guid;        // the phone's name for its connect service; empty when connected by address only
    Address address;         // the last connect address; port 0 before the first connect
};

class KnownPhones {
public:
    explicit KnownPhones(std::string path = DefaultPath()) : path_(std::move(path)) {}
    static std::string DefaultPath();
    const std::string& Path() const { return path_; }

    std::vector<KnownPhone> Read() const;
    // Adds the phone or brings its entry up to date (the same name, else the
    // same address); the newest last. False (with the reason) when the file
    // cannot be written: the phone then works, but is not brought back.
    bool Remember(const KnownPhone& phone, std::string* why = nullptr) const;

private:
    std::string path_;
};

// What a reconnection did: the phones it connected and those it could not.
struct Reconnection {
    std::vector<std::string> connected;   // serials adb now lists
    std::vector<std::string> failures;    // one line each, in Chinese
};

// Connects every known phone whose connect service discovery sees and that
// adb does not list as connected already. No adb run at all when no phone is
// known; phones not seen on the network are left alone (their port changes
// each time wireless debugging is switched on, and connecting to an address
// nobody answers keeps adb waiting for many seconds).
Reconnection ReconnectKnown(const dev::Adb& adb, const KnownPhones& known, const dev::Cancel* cancel = nullptr);

} // namespace conn
