// What adbctl prints for each record it reports: a device, a package, the
// outcome of an action on a package, a line of the action record. Text
// lines are tab-separated and in the user's words; --json gives one object
// per line with fixed field names (UTF-8). Apps' names come as UTF-16 and
// reach the output as they are, never through GBK, which lacks many of
// their characters.
#pragma once

#include <string>
#include "console.h"
#include "device/actions.h"
#include "appnames/appnames.h"
#include "device/devices.h"
#include "device/packages.h"
#include "device/record.h"

namespace cli {

// What happened to one package on one phone, as printed.
struct Outcome {
    std::string device;        // the phone's serial
    std::string package;
    dev::Action action = dev::Action::Disable;
    std::string outcome;       // dev::OutcomeWord, or "dry-run", "not-confirmed"
    std::string message;       // the manager's text (GBK)
    std::string detail;        // what the phone said, if anything
    std::string command;       // a dry run: what would be sent
    std::string before;        // the state just before ("enabled"...), empty when not read
    std::u16string label;      // the app's name as the cache knows it, empty when it knows none
    bool ok = false;           // done, or the phone already shows it so
    std::string instead;       // the action that works where the phone refused this one ("delete"), or empty
};

class Report {
public:
    // `names`: lines give the apps' names (--no-names: they do not).
    Report(Output& out, bool json, bool prefixPhone, bool names = false)
        : out_(out), json_(json), prefix_(prefixPhone), names_(names) {}

    void Device(const dev::Device& d);
    // `label` as read from the phone; null when none was read (ignored without names).
    void Package(const std::string& serial, const dev::Package& p, const std::string* risk, const appnames::AppLabel* label);
    void Result(const Outcome& o);
    // A line of a list file that names no package.
    void RefusedLine(int number, const std::string& text, const std::string& reason);
    // A line of the record of the phone adb reaches as `serial`; `label` the
    // app's name as the cache knows it (ignored without names).
    void RecordLine(const dev::RecordEntry& e, const std::string& serial, const std::u16string& label);
    // A user of a phone: its number, the name its owner knows it by, the
    // phone's own name for it, and whether adb may reach it (false: it refused).
    void User(const std::string& serial, const dev::PhoneUser& u, bool reachable);

private:
    std::string Prefix(const std::string& serial) const { return prefix_ ? "[" + serial + "] " : std::string(); }

    Output& out_;
    bool json_;
    bool prefix_;
    bool names_;
};


} // namespace cli
