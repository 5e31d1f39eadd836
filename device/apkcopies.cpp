#include "apkcopies.h"

#include <windows.h>
#include <algorithm>
#include <cstdlib>
#include <map>
#include "actions.h"
#include "lockedfile.h"
#include "packages.h"
#include "record.h"
#include "text/text.h"

namespace dev {

namespace {

// `pm list packages --show-versioncode` exists from Android 9
// (PackageManagerShellCommand.runListPackages); earlier copies are "unknown".
constexpr int kVersionCodeApi = 28;
// toybox's stat, for the sizes to check the copies against (Android 6).
constexpr int kStatApi = 23;
// A pull's time-out: a start, and 1 MB/s at the slowest (USB 1 speeds).
constexpr DWORD kPullBaseMs = 60000;
constexpr unsigned long long kPullBytesPerMs = 1000;

// A path the phone gave for an APK: absolute, of the characters package
// folders are made of (Android 11's "~~abc==" included), ending in .apk.
// Anything else is neither put into a shell line nor made a file name here.
bool SafeApkPath(const std::string& p) {
    if (p.size() < 6 || p[0] != '/' || p.find("..") != std::string::npos || p.compare(p.size() - 4, 4, ".apk") != 0)
        return false;
    for (char c : p)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '.' ||
              c == '_' || c == '-' || c == '=' || c == '~' || c == '+'))
            return false;
    return true;
}

std::string FileName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// A part of a folder name made of anything: letters, digits, . _ - kept.
std::string FolderPart(const std::string& s) {
    std::string out;
    for (char c : s)
        out += (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ? c : '_';
    return out.empty() ? "unknown" : out;
}

void MakeFolders(const std::string& folder) {
    for (size_t i = folder.find_first_of("\\/", 3); i != std::string::npos; i = folder.find_first_of("\\/", i + 1))
        CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
}

unsigned long long LocalSize(const std::string& path) { return FileSize(path); }

// Removes the files of a folder and the folder (not what lies below it).
void RemoveFolder(const std::string& folder) {
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &f);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((folder + "\\" + f.cFileName).c_str());
        } while (FindNextFileA(h, &f));
        FindClose(h);
    }
    RemoveDirectoryA(folder.c_str());
}

struct PhoneFiles {
    std::vector<std::string> paths;
    std::string error;       // pm's words when it named no file
};

std::string PackageCommand(int api) { return api >= kCmdPackageApi ? "cmd package " : "pm "; }

// One adb run: each package's files (pm path) and, where the phone can say
// it, every package's version code.
bool ReadFiles(const Adb& adb, const CopyRequest& r, std::vector<PhoneFiles>* files,
               std::map<std::string, std::string>* versions, std::string* error) {
    std::string user = std::to_string(r.user), script;
    for (size_t i = 0; i < r.packages.size(); i++)
        script += std::string("echo ") + kMarker + "copy " + std::to_string(i) + ";" + PackageCommand(r.api) +
                  "path --user " + user + " " + r.packages[i] + " 2>&1;";
    if (r.api >= kVersionCodeApi)
        script += std::string("echo ") + kMarker + "versions;" + PackageCommand(r.api) + "list packages --user " + user +
                  " --show-versioncode 2>&1;";
    script += std::string("echo ") + kMarker + "end";
    AdbRun how;
    how.cancel = r.cancel;
    how.timeoutMs = 120000;
    AdbResult run = adb.Shell(r.serial, script, how);
    if (!RunFailure(run).empty() || run.out.find(std::string(kMarker) + "end") == std::string::npos) {
        *error = RunFailure(run).empty() ? "adb：" + text::OneLine(run.err + run.out, 200) : RunFailure(run);
        return false;
    }
    files->assign(r.packages.size(), PhoneFiles());
    const std::string copy = std::string(kMarker) + "copy ";
    const std::string versionsLine = std::string(kMarker) + "versions";
    size_t current = std::string::npos;
    bool inVersions = false;
    for (const std::string& raw : text::SplitLines(run.out)) {
        std::string line = text::Trim(raw);
        if (text::StartsWith(line, copy.c_str())) {
            current = static_cast<size_t>(std::strtoul(line.c_str() + copy.size(), nullptr, 10));
            if (current >= files->size()) current = std::string::npos;
            continue;
        }
        if (line == versionsLine) {
            inVersions = true;
            current = std::string::npos;
            continue;
        }
        if (inVersions) {
            // "package:com.x versionCode:123"
            size_t v = line.find(" versionCode:");
            if (text::StartsWith(line, "package:") && v != std::string::npos)
                (*versions)[line.substr(8, v - 8)] = FolderPart(text::Trim(line.substr(v + 13)));
            continue;
        }
        if (current == std::string::npos) continue;
        PhoneFiles& f = (*files)[current];
        if (text::StartsWith(line, "package:") && SafeApkPath(line.substr(8))) f.paths.push_back(line.substr(8));
        else if (!line.empty() && f.error.empty()) f.error = text::OneLine(line, 200);
    }
    return true;
}

// The sizes of the files as the phone has them (Android 6 on), by path.
std::map<std::string, unsigned long long> ReadSizes(const Adb& adb, const CopyRequest& r,
                                                    const std::vector<PhoneFiles>& files) {
    std::map<std::string, unsigned long long> sizes;
    if (r.api < kStatApi) return sizes;
    std::vector<std::string> all;
    for (const PhoneFiles& f : files) all.insert(all.end(), f.paths.begin(), f.paths.end());
    // In runs that fit what adb carries.
    for (size_t first = 0; first < all.size();) {
        std::string script = "stat -c '%s %n'";
        size_t k = first;
        while (k < all.size() && (k == first || script.size() + all[k].size() + 1 < ScriptLimit(r.api))) script += " " + all[k++];
        AdbRun how;
        how.cancel = r.cancel;
        how.timeoutMs = 60000;
        AdbResult run = adb.Shell(r.serial, script, how);
        for (const std::string& line : text::SplitLines(run.out)) {
            size_t space = line.find(' ');
            if (space == std::string::npos) continue;
            sizes[text::Trim(line.substr(space + 1))] = std::strtoull(line.c_str(), nullptr, 10);
        }
        first = k;
    }
    return sizes;
}

std::string CopyText(const ApkCopy& c, const std::vector<unsigned long long>& sizes) {
    std::string t = "package\t" + c.package + "\nversion\t" + c.version + "\nphone\t" + c.phone + "\ntime\t" + c.time + "\n";
    for (size_t i = 0; i < c.files.size(); i++) t += "file\t" + c.files[i] + "\t" + std::to_string(sizes[i]) + "\n";
    return t;
}

// A copy's folder read back: its copy.txt, and every file there with its size.
bool ReadCopy(const std::string& folder, ApkCopy* c) {
    std::string text = ReadShared(folder + "\\copy.txt");
    if (text.empty()) return false;
    c->folder = folder;
    c->files.clear();
    c->bytes = 0;
    for (const std::string& line : text::SplitLines(text)) {
        std::vector<std::string> f = text::SplitTabs(line);
        if (f.size() == 2 && f[0] == "package") c->package = f[1];
        else if (f.size() == 2 && f[0] == "version") c->version = f[1];
        else if (f.size() == 2 && f[0] == "phone") c->phone = f[1];
        else if (f.size() == 2 && f[0] == "time") c->time = f[1];
        else if (f.size() == 3 && f[0] == "file") {
            unsigned long long want = std::strtoull(f[2].c_str(), nullptr, 10);
            if (f[1].find_first_of("\\/:") != std::string::npos || LocalSize(folder + "\\" + f[1]) != want || want == 0)
                return false;   // a file missing or changed: not a whole copy
            c->files.push_back(f[1]);
            c->bytes += want;
        }
    }
    return !c->package.empty() && !c->files.empty();
}

} // namespace

std::string ApkCopiesRoot() { return ToolDataFile("apks"); }

std::vector<CopyOutcome> CopyApks(const Adb& adb, const CopyRequest& r) {
    std::vector<CopyOutcome> out(r.packages.size());
    for (size_t i = 0; i < r.packages.size(); i++) out[i].package = r.packages[i];
    if (r.packages.empty()) return out;
    std::vector<PhoneFiles> files;
    std::map<std::string, std::string> versions;
    std::string error;
    if (!ReadFiles(adb, r, &files, &versions, &error)) {
        for (CopyOutcome& o : out) o.why = "读不到安装包在手机上的位置（" + error + "）";
        return out;
    }
    std::map<std::string, unsigned long long> sizes = ReadSizes(adb, r, files);
    unsigned long long total = 0, done = 0;
    for (const PhoneFiles& f : files)
        for (const std::string& p : f.paths) total += sizes.count(p) ? sizes[p] : 0;
    for (size_t i = 0; i < r.packages.size(); i++) {
        CopyOutcome& o = out[i];
        const PhoneFiles& f = files[i];
        if (r.cancel && r.cancel->Requested()) {
            o.why = "已取消";
            continue;
        }
        if (f.paths.empty()) {
            o.why = "手机没有说出它的安装包在哪里" + (f.error.empty() ? std::string() : "（" + f.error + "）");
            continue;
        }
        ApkCopy c;
        c.package = r.packages[i];
        c.phone = r.phone;
        c.version = versions.count(c.package) ? versions[c.package] : "unknown";
        c.time = RecordTime();
        c.folder = r.root + "\\" + FolderPart(r.phone) + "\\" + FolderPart(c.package) + "\\" + c.version;
        std::vector<unsigned long long> fileSizes;
        // The same version copied before, whole: kept as it is.
        ApkCopy before;
        bool same = ReadCopy(c.folder, &before) && before.files.size() == f.paths.size();
        for (size_t k = 0; same && k < f.paths.size(); k++)
            same = before.files[k] == FileName(f.paths[k]) &&
                   (!sizes.count(f.paths[k]) || sizes[f.paths[k]] == LocalSize(c.folder + "\\" + before.files[k]));
        if (same) {
            o.ok = true;
            o.copy = before;
            done += before.bytes;
            if (r.progress) r.progress(done, total, c.package);
            continue;
        }
        std::string partial = c.folder + ".partial";
        RemoveFolder(partial);
        MakeFolders(partial);
        for (const std::string& p : f.paths) {
            std::string name = FileName(p);
            AdbRun how;
            how.cancel = r.cancel;
            unsigned long long expected = sizes.count(p) ? sizes[p] : 0;
            how.timeoutMs = kPullBaseMs + static_cast<DWORD>(std::min<unsigned long long>(expected / kPullBytesPerMs, 3600000));
            std::vector<std::string> args;
            if (!r.serial.empty()) args = {"-s", r.serial};
            args.insert(args.end(), {"pull", p, partial + "\\" + name});
            AdbResult run = adb.Run(args, how);
            unsigned long long got = LocalSize(partial + "\\" + name);
            if (!RunFailure(run).empty() || run.exitCode != 0) {
                o.why = RunFailure(run).empty() ? "adb：" + text::OneLine(run.err + run.out, 200) : RunFailure(run);
                break;
            }
            if (got == 0 || (expected && got != expected)) {
                o.why = name + " 只复制了 " + std::to_string(got) + " 字节，手机上是 " + std::to_string(expected) + " 字节";
                break;
            }
            c.files.push_back(name);
            fileSizes.push_back(got);
            c.bytes += got;
            done += got;
            if (r.progress) r.progress(done, total, c.package);
        }
        if (c.files.size() != f.paths.size()) {
            RemoveFolder(partial);
            if (o.why.empty()) o.why = "复制没有完成";
            continue;
        }
        std::string why;
        RemoveFolder(c.folder);   // a copy of this version that was no longer whole
        if (!AppendLocked(partial + "\\copy.txt", CopyText(c, fileSizes), &why) ||
            !MoveFileExA(partial.c_str(), c.folder.c_str(), 0)) {
            o.why = why.empty() ? "无法把副本放进 " + c.folder : why;
            RemoveFolder(partial);
            continue;
        }
        o.ok = true;
        o.copy = c;
    }
    return out;
}

std::vector<ApkCopy> ListApkCopies(const std::string& root) {
    std::vector<ApkCopy> copies;
    auto subfolders = [](const std::string& folder) {
        std::vector<std::string> names;
        WIN32_FIND_DATAA f;
        HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &f);
        if (h == INVALID_HANDLE_VALUE) return names;
        do {
            std::string n = f.cFileName;
            if ((f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && n != "." && n != ".." &&
                n.find(".partial") == std::string::npos)
                names.push_back(folder + "\\" + n);
        } while (FindNextFileA(h, &f));
        FindClose(h);
        return names;
    };
    for (const std::string& phone : subfolders(root))
        for (const std::string& package : subfolders(phone))
            for (const std::string& version : subfolders(package)) {
                ApkCopy c;
                if (ReadCopy(version, &c)) copies.push_back(c);
            }
    std::sort(copies.begin(), copies.end(), [](const ApkCopy& a, const ApkCopy& b) { return a.time > b.time; });
    return copies;
}

const ApkCopy* NewestCopy(const std::vector<ApkCopy>& copies, const std::string& phone, const std::string& package) {
    for (const ApkCopy& c : copies)   // newest first
        if (c.package == package && (c.phone == phone || SameIdentity(c.phone, phone))) return &c;
    return nullptr;
}

bool RemoveApkCopy(const ApkCopy& copy, std::string* why) {
    for (const std::string& f : copy.files) DeleteFileA((copy.folder + "\\" + f).c_str());
    DeleteFileA((copy.folder + "\\copy.txt").c_str());
    if (!RemoveDirectoryA(copy.folder.c_str())) {
        if (why) *why = "无法删除 " + copy.folder + "（错误 " + std::to_string(GetLastError()) + "）";
        return false;
    }
    // The package's and the phone's folders go with their last copy.
    std::string package = copy.folder.substr(0, copy.folder.find_last_of('\\'));
    if (RemoveDirectoryA(package.c_str())) RemoveDirectoryA(package.substr(0, package.find_last_of('\\')).c_str());
    return true;
}

AdbResult InstallApkCopy(const Adb& adb, const std::string& serial, int user, const ApkCopy& copy, const Cancel* cancel) {
    std::vector<std::string> args;
    if (!serial.empty()) args = {"-s", serial};
    args.insert(args.end(), {"install-multiple", "-r", "--user", std::to_string(user)});
    for (const std::string& f : copy.files) args.push_back(copy.folder + "\\" + f);
    AdbRun how;
    how.cancel = cancel;
    how.timeoutMs = kPullBaseMs + static_cast<DWORD>(std::min<unsigned long long>(copy.bytes / kPullBytesPerMs, 3600000));
    return adb.Run(args, how);
}

} // namespace dev
