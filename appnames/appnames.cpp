#include "appnames.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include "device/actions.h"
#include "apkfetch.h"
#include "device/thread.h"
#include "apk/cursor.h"
#include "apk/respool.h"
#include "apk/appname.h"
#include "text/text.h"
#include "apk/zip.h"

namespace appnames {

namespace {

// Most APKs' central directories end within the last 16 KB or come right
// before it: one read finds the end record and often the whole directory.
constexpr uint64_t kFirstTail = 16 * 1024;
// A stored table smaller than this is sent as it is: gzip's own start-up on
// the phone costs more than it saves.
constexpr uint64_t kGzipFrom = 64 * 1024;
// The bytes one adb run is expected to bring (a third of a second of USB 2):
// with kParallelRuns at once, it bounds what the computer holds at once.
constexpr uint64_t kRunBytes = 8u << 20;
// adb runs of one round at the same time: the phone's tool starts and gzip
// go on in parallel (phones have four to eight cores) while the output
// shares the cable.
constexpr size_t kParallelRuns = 4;
// Gzip shrinks a resource table to a third or less; the budget counts that.
constexpr uint64_t kGzipShrink = 3;
// Tail, directory, full tail, entries, icon, and the split's own tail and
// directory: no package needs more rounds than this.
constexpr int kMaxRounds = 10;
constexpr uint32_t kIconMaxSize = 1u << 20;
constexpr DWORD kRunTimeoutMs = 300000;

// A stored table at least this large is read in parts (TablePlan): what
// lies outside the value strings is most of a table but compresses to a
// tenth, and a label needs only a few of the strings.
constexpr uint64_t kPartialFrom = 256 * 1024;
// The table's own header and its value pool's header come in this many
// bytes from the table's start.
constexpr uint64_t kTableHead = 256;
// A label or a file name: a string is read in a window this long.
constexpr uint64_t kStringWindow = 512;

enum class Step { Stat, Tail, FullTail, Directory, Entries, TableBody, TableStrings, Ready, Failed };
enum class What { Locale, Stat, List, Tail, FullTail, Directory, Manifest, Table, TableHead, TablePart, Icon };

struct ApkFile {
    std::string path;
    uint64_t size = 0, mtime = 0;
    Step step = Step::Stat;
    bool asked = false;        // a request for the current step is out
    bool tailWithStat = false;
    apk::ByteRange directory;
    std::vector<apk::ZipEntry> entries;
    std::string manifest, table;
    int pending = 0;           // entry pieces still to come
    // A table read in parts: where its data starts in the file, its value
    // pool's layout, and the ranges (relative to the table) still to read.
    uint64_t tableAt = 0;
    uint32_t poolAt = 0, poolHeader = 0, poolSize = 0, stringCount = 0, styleCount = 0, stringsStart = 0;
    std::vector<apk::ByteRange> parts;
};

enum class Phase { Files, Icon, Done };

struct Job {
    const dev::Package* package = nullptr;
    std::vector<ApkFile> files;   // the base APK, then the language split
    bool listWanted = false, listed = false;
    bool cacheChecked = false;
    NameKey key;                  // set when the cache was asked
    bool interrupted = false;     // a piece never came: nothing is cached
    Phase phase = Phase::Files;
    apk::ZipEntry icon;
    AppLabel label;
    bool reported = false;        // options.arrived has had it
};

struct Ask {
    PieceRequest request;
    size_t job = 0, file = 0;
    // The files of a `stat` or `ls` that serves many packages at once: one
    // process on the phone instead of one per package.
    std::vector<std::pair<size_t, size_t>> targets;
    What what = What::Stat;
    uint64_t expect = 0;          // bytes a range piece has (what the file holds of it)
};

struct Reader {
    const dev::Adb& adb;
    const std::string& serial;
    const dev::PackageSnapshot& snapshot;
    const NameReadOptions& options;
    NameRead& result;
    std::vector<Job> jobs;
    std::string locale;
    bool localeWanted = false;
    apk::ResRequest request;

    std::string Folder(const std::string& path) const { return path.substr(0, path.find_last_of('/')); }

    std::string SplitName() const {
        std::string lang = locale.substr(0, locale.find_first_of("-_"));
        for (char& c : lang) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return lang.empty() ? "split_config.zh.apk" : "split_config." + lang + ".apk";
    }

    Ask Range(size_t job, size_t file, What what, apk::ByteRange r, bool gzip) {
        const ApkFile& f = jobs[job].files[file];
        Ask a;
        a.job = job;
        a.file = file;
        a.what = what;
        a.request.file = f.path;
        a.request.offset = r.offset;
        a.request.size = r.size;
        a.request.gzip = gzip && snapshot.api >= kApiGzip;
        a.expect = r.offset < f.size ? std::min(r.size, f.size - r.offset) : 0;
        return a;
    }

    Ask Command(size_t job, size_t file, What what, const std::string& command) {
        Ask a;
        a.job = job;
        a.file = file;
        a.what = what;
        a.request.command = command;
        return a;
    }

    // What a package needs next; nothing while a request is out.
    void AsksOf(size_t j, std::vector<Ask>* asks) {
        Job& job = jobs[j];
        if (job.phase == Phase::Icon) {
            if (!job.files[0].asked) asks->push_back(Range(j, 0, What::Icon, apk::LocalGuess(job.icon), false));
            job.files[0].asked = true;
            return;
        }
        for (size_t k = 0; k < job.files.size(); k++) {
            ApkFile& f = job.files[k];
            if (f.asked || f.step == Step::Ready || f.step == Step::Failed) continue;
            // The base's bytes wait for the cache's answer.
            if (k == 0 && f.step != Step::Stat && !job.cacheChecked) continue;
            std::string quoted = "'" + f.path + "'";
            switch (f.step) {
            case Step::Stat:
                asks->push_back(Command(j, k, What::Stat, quoted));
                if (k == 0 && job.listWanted) asks->push_back(Command(j, k, What::List, "'" + Folder(f.path) + "'"));
                f.tailWithStat = k > 0 || !(options.cache && options.cache->KnowsPath(f.path));
                if (f.tailWithStat) asks->push_back(Command(j, k, What::Tail, "tail -c " + std::to_string(kFirstTail) + " " + quoted));
                break;
            case Step::Tail:
                asks->push_back(Command(j, k, What::Tail, "tail -c " + std::to_string(kFirstTail) + " " + quoted));
                break;
            case Step::FullTail:
                asks->push_back(Range(j, k, What::FullTail, apk::TailRange(f.size), false));
                break;
            case Step::Directory:
                asks->push_back(Range(j, k, What::Directory, f.directory, f.directory.size >= kGzipFrom));
                break;
            case Step::Entries: {
                const apk::ZipEntry* m = k == 0 ? FindEntry(f.entries, "AndroidManifest.xml") : nullptr;
                const apk::ZipEntry* t = FindEntry(f.entries, "resources.arsc");
                if (m) asks->push_back(Range(j, k, What::Manifest, apk::LocalGuess(*m), false)), f.pending++;
                if (t && t->method == 0 && t->size >= kPartialFrom) {
                    apk::ByteRange head = apk::LocalGuess(*t);
                    head.size = std::min<uint64_t>(head.size, apk::kZipLocalHeaderSize + t->name.size() + t->centralExtra +
                                                                  64 + kTableHead);
                    asks->push_back(Range(j, k, What::TableHead, head, false)), f.pending++;
                } else if (t) {
                    asks->push_back(Range(j, k, What::Table, apk::LocalGuess(*t), t->method == 0 && t->size >= kGzipFrom)),
                        f.pending++;
                }
                break;
            }
            case Step::TableBody:
            case Step::TableStrings:
                for (const apk::ByteRange& part : f.parts) {
                    apk::ByteRange at = {f.tableAt + part.offset, part.size};
                    asks->push_back(Range(j, k, What::TablePart, at, part.size >= kGzipFrom)), f.pending++;
                }
                break;
            default: break;
            }
            f.asked = true;
        }
    }

    // After a file's last piece of a round: its next step.
    void PieceDone(Job& job, ApkFile& f) {
        if (--f.pending > 0) return;
        f.asked = false;
        if (f.step == Step::Entries && f.tableAt) return PlanBody(f);
        if (f.step == Step::TableBody) return PlanStrings(job, f);
        f.parts.clear();
        f.step = Step::Ready;
    }

    // The table's header and its value pool's: what to read of it and
    // what not (the pool's string data).
    bool TakeTableHead(ApkFile& f, const std::string& local) {
        const apk::ZipEntry* t = FindEntry(f.entries, "resources.arsc");
        apk::ByteRange data;
        if (!t || !apk::DataRange(*t, local, &data) || data.offset < t->localOffset) return false;
        apk::Cursor c(local);
        c.Seek(static_cast<size_t>(data.offset - t->localOffset));
        size_t start = c.pos();
        uint16_t type = c.U16();
        uint16_t header = c.U16();
        uint32_t size = c.U32();
        c.Seek(start + header);
        uint16_t poolType = c.U16();
        f.poolHeader = c.U16();
        f.poolSize = c.U32();
        f.stringCount = c.U32();
        f.styleCount = c.U32();
        c.U32();
        f.stringsStart = c.U32();
        if (!c.ok() || type != 0x0002 || header < 12 || poolType != 0x0001 || size != t->size ||
            f.poolSize > size - header || f.stringCount > apk::kResMaxStrings || f.styleCount > apk::kResMaxStrings ||
            f.stringsStart > f.poolSize || f.poolHeader + 4ull * (f.stringCount + f.styleCount) > f.poolSize)
            return false;
        f.poolAt = header;
        f.tableAt = data.offset;
        return true;
    }

    void PlanBody(ApkFile& f) {
        const apk::ZipEntry* t = FindEntry(f.entries, "resources.arsc");
        uint64_t offsetsEnd = f.poolAt + f.poolHeader + 4ull * (f.stringCount + f.styleCount);
        uint64_t poolEnd = f.poolAt + f.poolSize;
        f.table.assign(t->size, '\0');
        f.parts = {{0, offsetsEnd}};
        if (poolEnd < t->size) f.parts.push_back({poolEnd, t->size - poolEnd});
        f.step = Step::TableBody;
    }

    // Every string value of `id` (following references) a phone in the
    // request's language could show; `all` ignores the language (file names).
    void Needed(const apk::ResourceTable& t, uint32_t id, bool all, int depth, std::vector<uint32_t>* out) const {
        if (!id || depth > apk::kResMaxReferenceDepth) return;
        for (const apk::ResValue& v : t.Values(id)) {
            if (v.type == apk::kResTypeReference) Needed(t, v.data, all, depth + 1, out);
            else if (v.type == apk::kResTypeString &&
                     (all || v.config.locale.language.empty() || v.config.locale.language == request.locale.language))
                out->push_back(v.data);
        }
    }

    // With the body read, the strings the label and icon need.
    void PlanStrings(Job& job, ApkFile& f) {
        apk::ManifestInfo m;
        apk::ResourceTable holes;
        std::vector<uint32_t> indices;
        if (apk::ReadManifest(job.files[0].manifest, &m) && holes.Read(f.table)) {
            for (const apk::ManifestComponent* c : {&m.application, &m.launcher}) {
                Needed(holes, c->label.resource, false, 0, &indices);
                Needed(holes, c->icon, true, 0, &indices);
                Needed(holes, c->roundIcon, true, 0, &indices);
            }
        }
        uint64_t poolStart = f.poolAt, poolEnd = poolStart + f.poolSize;
        std::vector<apk::ByteRange> ranges;
        for (uint32_t i : indices) {
            if (i >= f.stringCount) continue;
            apk::Cursor c(f.table);
            c.Seek(static_cast<size_t>(poolStart + f.poolHeader + 4ull * i));
            uint64_t at = poolStart + f.stringsStart + c.U32();
            if (!c.ok() || at >= poolEnd) continue;
            ranges.push_back({at, std::min(kStringWindow, poolEnd - at)});
        }
        std::sort(ranges.begin(), ranges.end(), [](const apk::ByteRange& a, const apk::ByteRange& b) { return a.offset < b.offset; });
        f.parts.clear();
        for (const apk::ByteRange& r : ranges) {
            if (!f.parts.empty() && r.offset <= f.parts.back().offset + f.parts.back().size)
                f.parts.back().size = std::max(f.parts.back().size, r.offset + r.size - f.parts.back().offset);
            else
                f.parts.push_back(r);
        }
        f.step = f.parts.empty() ? Step::Ready : Step::TableStrings;
    }

    void Fail(ApkFile& f) {
        f.step = Step::Failed;
        f.entries.clear();
        f.manifest.clear();
        f.table.clear();
    }

    void TakeTail(ApkFile& f, bool base, const std::string& tail, bool full) {
        if (apk::ReadDirectoryFromTail(f.size, tail, &f.entries)) return EnterEntries(f, base);
        if (apk::FindDirectory(f.size, tail, &f.directory)) {
            f.step = Step::Directory;
        } else if (!full && f.size > tail.size()) {
            f.step = Step::FullTail;
        } else {
            Fail(f);
        }
    }

    // The base needs its manifest; a split without a table has nothing to give.
    void EnterEntries(ApkFile& f, bool base) {
        const apk::ZipEntry* t = FindEntry(f.entries, "resources.arsc");
        if (t) result.stats.tableBytes += t->size;
        if (base && !apk::FindEntry(f.entries, "AndroidManifest.xml")) return Fail(f);
        f.step = base || t ? Step::Entries : Step::Ready;
    }

    void Take(const Ask& a, std::string& piece, bool ok) {
        if (a.what == What::Locale) {
            for (const std::string& line : text::SplitLines(piece))
                if (locale.empty() && !text::Trim(line).empty()) locale = text::Trim(line);
            // A phone that names no locale is taken for a Chinese one (appname.h).
            if (locale.empty()) locale = "zh-CN";
            return;
        }
        Job& job = jobs[a.job];
        ApkFile& f = job.files[a.file];
        if (f.step == Step::Failed && a.what != What::Icon) return;
        bool range = a.request.command.empty();
        if (range && (!ok || piece.size() != a.expect)) {
            if (a.what == What::Icon) job.phase = Phase::Done;
            else Fail(f);
            return;
        }
        switch (a.what) {
        case What::Stat:
        case What::List:
            return;   // taken whole by TakeStats and TakeLists
        case What::Tail:
            if (f.step != Step::Tail) return;   // the stat failed
            f.asked = false;
            if (piece.size() != std::min(kFirstTail, f.size)) return Fail(f);
            return TakeTail(f, a.file == 0, piece, false);
        case What::FullTail:
            f.asked = false;
            return TakeTail(f, a.file == 0, piece, true);
        case What::Directory:
            f.asked = false;
            if (!apk::ReadDirectory(piece, &f.entries)) return Fail(f);
            return EnterEntries(f, a.file == 0);
        case What::Manifest:
        case What::Table: {
            const apk::ZipEntry* e = FindEntry(f.entries, a.what == What::Manifest ? "AndroidManifest.xml" : "resources.arsc");
            std::string* into = a.what == What::Manifest ? &f.manifest : &f.table;
            uint32_t cap = a.what == What::Manifest ? apk::kManifestMaxSize : apk::kResTableMaxSize;
            if (!e || !apk::ExtractFromLocal(*e, piece, cap, into)) return Fail(f);
            return PieceDone(job, f);
        }
        case What::TableHead:
            if (!TakeTableHead(f, piece)) return Fail(f);
            return PieceDone(job, f);
        case What::TablePart:
            if (a.request.offset < f.tableAt || a.request.offset - f.tableAt + piece.size() > f.table.size())
                return Fail(f);
            f.table.replace(static_cast<size_t>(a.request.offset - f.tableAt), piece.size(), piece);
            return PieceDone(job, f);
        case What::Icon:
            if (!apk::ExtractFromLocal(job.icon, piece, kIconMaxSize, &job.label.icon)) job.label.icon.clear();
            job.phase = Phase::Done;
            return;
        default: return;
        }
    }

    // `stat -c '%s %Y %n' FILE...`: a line per file it found.
    void TakeStats(const Ask& a, const std::string& out) {
        std::map<std::string, std::pair<uint64_t, uint64_t>> found;
        for (const std::string& line : text::SplitLines(out)) {
            char* end = nullptr;
            uint64_t size = std::strtoull(line.c_str(), &end, 10);
            uint64_t mtime = std::strtoull(end, &end, 10);
            if (*end == ' ' && end != line.c_str()) found[end + 1] = {size, mtime};
        }
        for (const auto& t : a.targets) {
            ApkFile& f = jobs[t.first].files[t.second];
            auto it = found.find(f.path);
            if (it == found.end() || it->second.first == 0) {
                Fail(f);
                continue;
            }
            f.size = it->second.first;
            f.mtime = it->second.second;
            f.step = Step::Tail;
            f.asked = f.tailWithStat;
        }
    }

    // `ls DIR...`: with several folders, each under a "DIR:" line.
    void TakeLists(const Ask& a, const std::string& out) {
        std::map<std::string, std::vector<std::string>> names;
        std::string dir = a.targets.size() == 1 ? Folder(jobs[a.targets[0].first].files[0].path) : std::string();
        for (const std::string& raw : text::SplitLines(out)) {
            std::string line = text::Trim(raw);
            if (a.targets.size() > 1 && !line.empty() && line.back() == ':') dir = line.substr(0, line.size() - 1);
            else if (!line.empty()) names[dir].push_back(line);
        }
        std::string wanted = SplitName();
        for (const auto& t : a.targets) {
            Job& job = jobs[t.first];
            std::string folder = Folder(job.files[0].path);
            for (const std::string& name : names[folder])
                if (name == wanted && job.files.size() == 1) {
                    ApkFile split;
                    split.path = folder + "/" + wanted;
                    if (IsSafePhonePath(split.path)) job.files.push_back(split);
                }
            job.listed = true;
        }
    }

    // The run's asks with every package's stat and ls joined into one each,
    // after the locale (which the split's name needs) and before the tails.
    std::vector<Ask> Merge(const std::vector<Ask>& asks) const {
        std::vector<Ask> merged, rest;
        Ask stat, list;
        stat.what = What::Stat;
        stat.request.command = "stat -c '%s %Y %n'";
        list.what = What::List;
        list.request.command = "ls";
        for (const Ask& a : asks) {
            if (a.what == What::Locale) merged.push_back(a);
            Ask* into = a.what == What::Stat ? &stat : a.what == What::List ? &list : nullptr;
            if (!into) {
                if (a.what != What::Locale) rest.push_back(a);
                continue;
            }
            into->request.command += " " + a.request.command;
            into->targets.push_back({a.job, a.file});
        }
        if (!stat.targets.empty()) merged.push_back(stat);
        if (!list.targets.empty()) merged.push_back(list);
        merged.insert(merged.end(), rest.begin(), rest.end());
        return merged;
    }

    NameKey KeyOf(const Job& job) const {
        NameKey key;
        key.package = job.package->name;
        key.path = job.files[0].path;
        key.size = job.files[0].size;
        key.mtime = job.files[0].mtime;
        for (size_t k = 1; k < job.files.size(); k++) key.splits += (k > 1 ? " " : "") + job.files[k].path.substr(job.files[k].path.find_last_of('/') + 1);
        key.locale = locale;
        return key;
    }

    // The name from the manifest and the tables, one package's tables at a time.
    void Finish(Job& job) {
        apk::ManifestInfo manifest;
        if (job.files[0].step != Step::Ready || !apk::ReadManifest(job.files[0].manifest, &manifest)) {
            job.phase = Phase::Done;
            return;
        }
        std::vector<std::unique_ptr<apk::ResourceTable>> owned;
        std::vector<const apk::ResourceTable*> tables;
        for (ApkFile& f : job.files) {
            owned.emplace_back(new apk::ResourceTable);
            bool ok = f.step == Step::Ready && !f.table.empty() && owned.back()->Read(std::move(f.table));
            tables.push_back(ok ? owned.back().get() : nullptr);
            f.table.clear();
            f.table.shrink_to_fit();
        }
        job.label.hasName = apk::AppName(manifest, tables, request, &job.label.name);
        job.phase = Phase::Done;
        if (options.icons) {
            apk::IconChoice icon = AppIcon(manifest, tables, request);
            const apk::ZipEntry* e = icon.bitmap && icon.file.format == apk::IconFormat::Png && icon.file.table < job.files.size()
                                    ? FindEntry(job.files[icon.file.table].entries, icon.file.path)
                                    : nullptr;
            if (e) {
                job.icon = *e;
                // The icon is read like an entry of the base's (its file may be a split's).
                std::swap(job.files[0], job.files[icon.file.table]);
                job.files[0].asked = false;
                job.phase = Phase::Icon;
            }
        }
        for (ApkFile& f : job.files) {
            f.entries.clear();
            f.entries.shrink_to_fit();
            f.manifest.clear();
            f.manifest.shrink_to_fit();
        }
    }

    void Advance(Job& job) {
        if (job.phase == Phase::Files && !job.cacheChecked) {
            ApkFile& base = job.files[0];
            // No file, nothing to remember; a damaged one is remembered as giving no name.
            if (base.size == 0 && base.step == Step::Failed) {
                job.phase = Phase::Done;
                return;
            }
            if (base.size == 0 || (job.listWanted && !job.listed)) return;
            job.cacheChecked = true;
            job.key = KeyOf(job);
            CachedName cached;
            if (options.cache && options.cache->Find(job.key, &cached)) {
                job.label.hasName = cached.hasName;
                job.label.name = cached.name;
                job.label.icon = cached.icon;
                job.label.fromCache = true;
                job.phase = Phase::Done;
                return;
            }
        }
        if (job.phase == Phase::Files) {
            for (const ApkFile& f : job.files)
                if (f.step != Step::Ready && f.step != Step::Failed) return;
            Finish(job);
        }
        if (job.phase == Phase::Done && !job.label.fromCache && !job.interrupted && options.cache) {
            CachedName value;
            value.hasName = job.label.hasName;
            value.name = job.label.name;
            value.icon = job.label.icon;
            options.cache->Put(job.key, value);
        }
    }

    size_t Done() const {
        size_t n = 0;
        for (const Job& j : jobs) n += j.phase == Phase::Done;
        return n;
    }

    // One adb run's output, split into its pieces.
    struct Fetched {
        std::vector<Ask> asks;
        std::vector<PieceRequest> requests;
        std::vector<std::string> pieces;
        std::vector<bool> ok;
        bool whole = false;
        dev::AdbResult run;   // its output moved into the pieces
        size_t bytesIn = 0;
    };

    // One adb run and the split of what it brought. It touches nothing the
    // reader shares, so the runs of a round go several at a time.
    Fetched Fetch(const std::vector<Ask>& given) const {
        Fetched f;
        f.asks = Merge(given);
        for (const Ask& a : f.asks) f.requests.push_back(a.request);
        std::string marker = NewFrameMarker();
        std::vector<std::string> args;
        if (!serial.empty()) args = {"-s", serial};
        args.push_back("exec-out");
        args.push_back(BuildFetchScript(f.requests, snapshot.api, marker));
        dev::AdbRun how;
        how.cancel = options.cancel;
        how.timeoutMs = kRunTimeoutMs;
        f.run = adb.Run(args, how);
        f.bytesIn = f.run.out.size();
        f.whole = ReadFetchOutput(f.run.out, f.requests, snapshot.api, marker, apk::kResTableMaxSize, &f.pieces, &f.ok);
        f.run.out.clear();
        f.run.out.shrink_to_fit();
        return f;
    }

    // Takes in what a run brought; false when adb gave no answer or the read
    // was cancelled.
    bool Apply(Fetched& f) {
        const dev::AdbResult& r = f.run;
        const std::vector<Ask>& asks = f.asks;
        std::vector<std::string>& pieces = f.pieces;
        const std::vector<bool>& ok = f.ok;
        const bool whole = f.whole;
        result.stats.adbRuns++;
        result.stats.bytesIn += f.bytesIn;
        if (r.cancelled) result.cancelled = true;
        if (!r.started || r.timedOut) result.error = dev::RunFailure(r);
        std::vector<size_t> touched;
        for (size_t i = 0; i < asks.size(); i++) {
            const Ask& a = asks[i];
            bool arrived = whole || ok[i];
            std::vector<std::pair<size_t, size_t>> targets = a.targets;
            if (targets.empty() && a.what != What::Locale) targets.push_back({a.job, a.file});
            for (const auto& t : targets) {
                if (!arrived) jobs[t.first].interrupted = true;
                if (touched.empty() || touched.back() != t.first) touched.push_back(t.first);
            }
            if (a.what == What::Stat) TakeStats(a, pieces[i]);
            else if (a.what == What::List) TakeLists(a, pieces[i]);
            else Take(a, pieces[i], ok[i] && arrived);
            pieces[i].clear();
            pieces[i].shrink_to_fit();
        }
        std::sort(touched.begin(), touched.end());
        touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
        for (size_t j : touched) {
            Advance(jobs[j]);
            // A label missing a piece that never came is not settled: not told.
            if (jobs[j].phase == Phase::Done && !jobs[j].reported && !jobs[j].interrupted && options.arrived)
                options.arrived(j, jobs[j].label);
            jobs[j].reported = jobs[j].reported || jobs[j].phase == Phase::Done;
        }
        if (options.progress) options.progress(Done(), jobs.size());
        return result.error.empty() && !result.cancelled;
    }

    // One round: every package's next asks, in runs bounded by the command
    // line and by the bytes expected; a package's asks stay in one run.
    bool Round(bool first) {
        size_t limit = dev::ScriptLimit(snapshot.api) - 200;
        std::vector<std::vector<Ask>> runs;
        std::vector<Ask> run;
        uint64_t runBytes = 0;
        size_t scriptBytes = 0;
        bool any = false;
        if (first && localeWanted) {
            run.push_back(Command(0, 0, What::Locale, "getprop persist.sys.locale; getprop ro.product.locale"));
            scriptBytes += 100;
        }
        for (size_t j = 0; j < jobs.size(); j++) {
            if (jobs[j].phase == Phase::Done) continue;
            std::vector<Ask> asks;
            AsksOf(j, &asks);
            size_t bytes = 0;
            uint64_t expect = 0;
            for (const Ask& a : asks) {
                bytes += a.request.command.size() + a.request.file.size() + 120;
                expect += a.request.gzip ? a.request.size / kGzipShrink : a.request.size;
            }
            if (asks.empty()) continue;
            any = true;
            if (!run.empty() && (scriptBytes + bytes > limit || runBytes + expect > kRunBytes)) {
                runs.push_back(std::move(run));
                run.clear();
                runBytes = 0;
                scriptBytes = 0;
            }
            run.insert(run.end(), asks.begin(), asks.end());
            runBytes += expect;
            scriptBytes += bytes;
        }
        if (!run.empty()) runs.push_back(std::move(run));
        // A phone runs several scripts at once on its several cores while
        // their output shares the cable; what each brought is taken in in order.
        for (size_t from = 0; from < runs.size(); from += kParallelRuns) {
            if (options.cancel && options.cancel->Requested()) return result.cancelled = true, false;
            size_t n = std::min(kParallelRuns, runs.size() - from);
            std::vector<Fetched> fetched(n);
            dev::RunEach(n, [&](size_t k) { fetched[k] = Fetch(runs[from + k]); });
            bool fine = true;
            for (Fetched& f : fetched) fine = Apply(f) && fine;
            if (!fine) return false;
        }
        return any;
    }
};

} // namespace

NameRead ReadAppNames(const dev::Adb& adb, const std::string& serial, const dev::PackageSnapshot& snapshot,
                      const NameReadOptions& options) {
    NameRead result;
    result.apps.resize(snapshot.packages.size());
    Reader reader{adb, serial, snapshot, options, result, {}, options.locale, options.locale.empty(), {}};
    if (snapshot.api > 0 && snapshot.api < kApiToybox) return result;
    if (!reader.localeWanted) reader.request = apk::RequestForPhone(reader.locale, snapshot.api);
    for (const dev::Package& p : snapshot.packages) {
        Job job;
        job.package = &p;
        ApkFile base;
        base.path = p.path;
        job.files.push_back(base);
        // Split APKs sit beside a base.apk in the app's own folder.
        job.listWanted = p.path.size() > 9 && p.path.compare(p.path.size() - 9, 9, "/base.apk") == 0;
        if (!IsSafePhonePath(p.path) || p.path.find(".apk") == std::string::npos) job.phase = Phase::Done;
        reader.jobs.push_back(job);
    }
    for (int round = 0; round < kMaxRounds && reader.Done() < reader.jobs.size(); round++) {
        result.stats.rounds++;
        bool first = round == 0;
        if (!reader.Round(first)) break;
        if (first && reader.localeWanted) {
            if (reader.locale.empty()) reader.locale = "zh-CN";
            reader.request = apk::RequestForPhone(reader.locale, snapshot.api);
        }
    }
    result.locale = reader.locale;
    for (size_t i = 0; i < reader.jobs.size(); i++) result.apps[i] = reader.jobs[i].label;
    return result;
}

} // namespace appnames
