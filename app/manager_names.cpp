#include "manager_names.h"

#include "manager_jobs.h"
#include "runtime/services.h"

namespace app::mgr {

void NameJobs::Post() {
    bool post;
    {
        dev::Hold hold(lock_);
        post = !posted_;
        posted_ = true;
    }
    if (post && target_) rt::kServices.auxiliary(rt::kAuxPostEvent, target_, kPostedNames);
}

void NameJobs::Stop() {
    worker_.RequestCancel();
    worker_.Wait();
    dev::Hold hold(lock_);
    arrived_ = NamesArrived();
}

void NameJobs::LoadCache() {
    if (loaded_ || Running()) return;
    loaded_ = worker_.Start([this](const dev::Cancel&) { cache_.Load(); });
}

std::map<std::string, appnames::AppLabel> NameJobs::Cached(const dev::PackageSnapshot& s) {
    Stop();
    if (!loaded_) {
        cache_.Load();
        loaded_ = true;
    }
    std::map<std::string, appnames::AppLabel> names;
    for (const dev::Package& p : s.packages) {
        appnames::CachedName c;
        if (!cache_.Latest(p.name, p.path, &c) || !c.hasName) continue;
        appnames::AppLabel& label = names[p.name];
        label.hasName = true;
        label.name = c.name;
        label.icon = c.icon;
        label.fromCache = true;
    }
    return names;
}

bool NameJobs::Start(const dev::Adb& adb, const std::string& serial, const dev::PackageSnapshot& s) {
    Stop();
    {
        dev::Hold hold(lock_);
        arrived_ = NamesArrived();
        arrived_.total = s.packages.size();
        posted_ = false;
    }
    return worker_.Start(
        [this, adb, serial, s](const dev::Cancel& cancel) {
            if (!loaded_) cache_.Load();
            loaded_ = true;
            appnames::NameReadOptions o;
            o.cache = &cache_;
            o.cancel = &cancel;
            o.arrived = [this, &s](size_t index, const appnames::AppLabel& label) {
                dev::Hold hold(lock_);
                arrived_.labels.emplace_back(s.packages[index].name, label);
            };
            o.progress = [this](size_t done, size_t total) {
                {
                    dev::Hold hold(lock_);
                    arrived_.done = done;
                    arrived_.total = total;
                }
                Post();
            };
            appnames::NameRead r = appnames::ReadAppNames(adb, serial, s, o);
            dev::Hold hold(lock_);
            arrived_.cancelled = r.cancelled;
            arrived_.error = r.error;
        },
        [this] {
            {
                dev::Hold hold(lock_);
                arrived_.ended = true;
                posted_ = false;   // the end is always told
            }
            Post();
        });
}

NamesArrived NameJobs::Take() {
    dev::Hold hold(lock_);
    NamesArrived a = std::move(arrived_);
    arrived_ = NamesArrived();
    arrived_.done = a.done;
    arrived_.total = a.total;
    posted_ = false;
    return a;
}

} // namespace app::mgr
