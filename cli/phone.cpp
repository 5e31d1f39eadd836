#include "phone.h"

#include "device/users.h"

namespace cli::phone {

dev::DeviceList Devices(const dev::Adb& adb, const dev::Cancel* cancel) { return dev::ListDevices(adb, cancel); }

std::vector<dev::PackageRead> Packages(const dev::Adb& adb, const std::vector<std::string>& serials, int user,
                                       const dev::Cancel* cancel) {
    std::vector<dev::PackageRead> reads(serials.size());
    dev::RunEach(serials.size(), [&](size_t i) { reads[i] = dev::ReadPackages(adb, serials[i], user, cancel); });
    return reads;
}

std::vector<PhoneUsers> Users(const dev::Adb& adb, const std::vector<std::string>& serials) {
    std::vector<PhoneUsers> all(serials.size());
    dev::RunEach(serials.size(), [&](size_t i) {
        all[i].read = dev::ReadPackages(adb, serials[i], 0, nullptr, dev::Users::List);
        std::vector<int> others;
        for (const dev::PhoneUser& u : all[i].read.snapshot.users)
            if (u.id != 0) others.push_back(u.id);
        all[i].unreachable = dev::FindUnreachableUsers(adb, serials[i], others, all[i].read.snapshot.api, nullptr);
    });
    return all;
}

std::vector<appnames::NameRead> AppNames(const dev::Adb& adb, const std::vector<std::string>& serials,
                                    const std::vector<dev::PackageRead>& reads, const appnames::NameCache& cache,
                                    const dev::Cancel* cancel, const std::function<void(size_t, size_t)>& progress) {
    std::vector<appnames::NameRead> names(serials.size());
    std::vector<appnames::NameCache> caches(serials.size(), cache);
    std::vector<size_t> done(serials.size(), 0);
    size_t total = 0;
    for (const dev::PackageRead& r : reads) total += r.snapshot.complete ? r.snapshot.packages.size() : 0;
    dev::Lock progressLock;
    dev::RunEach(serials.size(), [&](size_t i) {
        if (!reads[i].snapshot.complete) return;
        appnames::NameReadOptions o;
        o.cache = &caches[i];
        o.cancel = cancel;
        // Icons too, though adbctl shows none: what it leaves in the cache
        // it shares with the window serves the window's list as well.
        o.icons = true;
        if (progress)
            o.progress = [&, i](size_t n, size_t) {
                dev::Hold hold(progressLock);
                done[i] = n;
                size_t all = 0;
                for (size_t d : done) all += d;
                progress(all, total);
            };
        names[i] = appnames::ReadAppNames(adb, serials[i], reads[i].snapshot, o);
    });
    return names;
}

std::u16string KnownName(const appnames::NameCache& cache, const std::string& package, const std::string& path) {
    appnames::CachedName c;
    bool known = (!path.empty() && cache.Latest(package, path, &c)) || cache.Latest(package, "", &c);
    return known && c.hasName ? c.name : std::u16string();
}

std::vector<dev::BatchResult> Run(const dev::Adb& adb, const std::vector<Job>& jobs, dev::Action action,
                                  const RunSettings& settings) {
    dev::BatchOptions o;
    o.user = settings.user;
    o.cancel = settings.cancel;
    o.record = settings.record;
    if (settings.progress)
        o.progress = [&](const std::string& serial, const dev::PackageResult& r, size_t, size_t) {
            settings.progress(serial, r);
        };
    // The usual case, one list for every phone, is the device layer's own.
    bool sameNames = true;
    std::vector<std::string> serials;
    for (const Job& j : jobs) {
        serials.push_back(j.serial);
        sameNames = sameNames && j.names == jobs[0].names;
    }
    if (sameNames && jobs.size() > 1) {
        std::vector<dev::Target> targets;
        for (const Job& j : jobs) targets.push_back(dev::Target{adb.Server(), j.serial, -1, j.phone});
        return dev::RunOnDevices(adb, targets, action, jobs[0].names, o);
    }

    std::vector<dev::BatchResult> results(jobs.size());
    dev::Lock progressLock;
    dev::BatchOptions each = o;
    if (o.progress)
        each.progress = [&](const std::string& serial, const dev::PackageResult& r, size_t done, size_t total) {
            dev::Hold hold(progressLock);
            o.progress(serial, r, done, total);
        };
    dev::RunEach(jobs.size(), [&](size_t i) {
        dev::BatchOptions mine = each;
        mine.knownApi = jobs[i].knownApi;
        mine.phone = jobs[i].phone;
        results[i] = dev::RunBatch(adb, jobs[i].serial, action, jobs[i].names, mine);
    });
    return results;
}

dev::PhoneId Identify(const std::string& serial, const dev::PackageSnapshot* now) {
    if (now) return dev::IdentifyPhone(serial, *now);
    dev::PhoneId id;
    id.serial = serial;
    return id;
}

std::vector<dev::RecordEntry> History(const dev::ActionRecord& record, const dev::PhoneId& phone, int user) {
    return dev::PhoneHistory(record.ReadAll(), phone, user);
}

bool Settle(const dev::ActionRecord& record, const std::string& serial, int user, const dev::PackageSnapshot& now,
            std::string* why) {
    if (!now.complete) return true;
    return record.Append(dev::SettleUncertain(record.ReadAll(), dev::IdentifyPhone(serial, now), user, now), why);
}

std::vector<dev::UndoItem> UndoItems(const dev::ActionRecord& record, const std::string& serial, int user,
                                     const dev::PackageSnapshot& now) {
    return dev::UndoSet(record.ReadAll(), dev::IdentifyPhone(serial, now), user, &now);
}

} // namespace cli::phone
