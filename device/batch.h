// What the package manager does with devices, as synchronous calls that are
// safe from any thread: list devices, read every package of a user, run one
// action on a list of packages (one adb process per device, the states read
// back afterwards, the record written), and the same on several devices at
// once. A window runs them on a Worker (thread.h).
#pragma once

#include <functional>
#include <string>
#include <vector>
#include "actions.h"
#include "adb.h"
#include "apkcopies.h"
#include "devices.h"
#include "packages.h"
#include "record.h"

namespace dev {

struct DeviceList {
    std::vector<Device> devices;
    std::string error;   // empty when adb answered
};
// The phones of the adb server `adb` goes to; each device carries that server.
DeviceList ListDevices(const Adb& adb, const Cancel* cancel = nullptr);

struct PackageRead {
    PackageSnapshot snapshot;
    std::string error;   // empty when every section arrived
};
// `api`: the phone's API level when known (BuildReadScript).
PackageRead ReadPackages(const Adb& adb, const std::string& serial, int user, const Cancel* cancel = nullptr,
                         Users users = Users::Skip, int api = 0);

// Called once per package, from the thread that runs its device's batch
// (calls are never concurrent): the device, the result so far (what the
// command printed; the final result also weighs the read-back), how many
// packages of the device have been reported and how many there are.
using BatchProgress =
    std::function<void(const std::string& serial, const PackageResult& r, size_t reported, size_t total)>;

struct BatchResult;

struct BatchOptions {
    int user = 0;
    // The phone's identity (PhoneKey) as the list the user chose from was
    // read; a batch that finds another phone on the serial sends nothing.
    // Empty: whichever phone answers.
    std::string phone;
    int knownApi = 0;                      // from an earlier read; 0 when unknown
    const Cancel* cancel = nullptr;        // stops after the package in progress
    const Cancel* abort = nullptr;         // ends every adb run at once (the program is ending)
    const ActionRecord* record = nullptr;  // where the outcomes go, if anywhere
    std::string model;                     // for the record when the read-back has none
    BatchProgress progress;
    // A delete first copies every user app's APKs to the computer (a user
    // app loses its APK with the delete); one whose copy fails is not sent.
    // A restore that finds no APK left on the phone reinstalls the copy.
    bool keepApks = true;
    std::string copiesRoot;                // empty: ApkCopiesRoot()
    CopyProgress copyProgress;             // as the copies go, from the batch's thread
    // RunOnDevices: called as each device's batch ends, from its thread
    // (calls are never concurrent), so its outcomes can be shown before the
    // slowest phone's.
    std::function<void(const BatchResult&)> finished;
};

// A batch first reads the phone (its states and identity) and writes one
// intent line per package to the record, before anything is sent: a phone
// goes on with a script it has received even when the tool dies, and the
// next complete read settles what the intents do not. It reads the states
// again in the same adb process just before its first package, so the
// record knows what each package was before the tool touched it, and what
// was so already; and reads them again after its last. Each package's
// outcome line is appended as soon as its end arrives, and settled by a
// later line of the same batch when the read back tells otherwise.
struct BatchResult {
    std::string serial;
    Server server;                        // the adb server of the device
    Action action = Action::Disable;
    std::vector<PackageResult> results;   // one per name, in order
    PackageSnapshot before;               // the states just before
    PackageSnapshot after;                // the states read back
    std::string error;                    // what stopped the batch or the read-back, if anything
    std::string recordError;              // why the record could not be written, empty when it was
};

BatchResult RunBatch(const Adb& adb, const std::string& serial, Action action, const std::vector<std::string>& names,
                     const BatchOptions& options);

// The same batch on every device at once, each in its own adb process on a
// thread of its own; results in the order of `serials`.
std::vector<BatchResult> RunOnDevices(const Adb& adb, const std::vector<std::string>& serials, Action action,
                                      const std::vector<std::string>& names, const BatchOptions& options);

// A phone as adb reaches it: its serial on the adb server that serves it.
struct Target {
    Target() = default;
    Target(dev::Server s, std::string serial_, int user_ = -1, std::string phone_ = std::string())
        : server(std::move(s)), serial(std::move(serial_)), user(user_), phone(std::move(phone_)) {}
    Server server;
    std::string serial;
    int user = -1;       // the phone's user to act for; -1: the options' user
    std::string phone;   // its identity as last read (BatchOptions::phone); empty: any
};
// The same across adb servers: each device's runs go to its own server.
std::vector<BatchResult> RunOnDevices(const Adb& adb, const std::vector<Target>& targets, Action action,
                                      const std::vector<std::string>& names, const BatchOptions& options);

} // namespace dev
