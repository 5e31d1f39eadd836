// The phone's files as far as reading and copying APKs needs them: a
// package whose profile has an `apk-dir` serves `<apk-dir>\<package>.apk` at
// its APK path, and `<apk-dir>\<package>@<file>` beside it (split APKs such
// as split_config.zh.apk); a user app with none there has small APKs made
// here (its base and the splits its profile names), as every app on a real
// phone has its files. A user app deleted with its last user has none.
// The commands that read them, each from the Android release that first
// ships it (AOSP system/core/shell_and_utilities/README.md and toybox):
// `stat` and `tail -c` from 6 (toybox), `base64` from 7, `gzip` from 8,
// `head -c` from 9; `dd` always, its `iflag=skip_bytes,count_bytes` from 11;
// `ls` always.
#include <zlib.h>
#include <algorithm>
#include <cstdlib>
#include "sim.h"

namespace sim {

namespace {

std::string Folder(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Base(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

unsigned Hash(const std::string& s, unsigned seed = 2166136261u) {
    unsigned h = seed;
    for (unsigned char c : s) h = (h ^ c) * 16777619u;
    return h;
}

void Put16(std::string* s, unsigned v) {
    s->push_back(static_cast<char>(v & 0xFF));
    s->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string* s, unsigned long v) {
    Put16(s, static_cast<unsigned>(v & 0xFFFF));
    Put16(s, static_cast<unsigned>((v >> 16) & 0xFFFF));
}

const char kMadeMark[] = "adbsim-apk ";

// An APK the phone holds for a user app that has none in apk-dir: a whole
// zip of one stored entry and no manifest (so it names no app), its archive
// comment saying whose file it is, the same bytes every time.
std::string MadeApk(const std::string& package, const std::string& file, unsigned kb) {
    unsigned h = Hash(package + "/" + file);
    bool base = file.compare(0, 6, "split_") != 0;
    size_t size = kb ? kb * 1024u : base ? 6144 + h % 4096 : 2048 + h % 1024;
    std::string data(size, '\0');
    for (size_t i = 0; i < size; i++) {
        h = h * 1103515245u + 12345u;
        data[i] = static_cast<char>(h >> 16);
    }
    const std::string name = base ? "classes.dex" : "res/split.bin";
    unsigned long crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    std::string zip;
    auto header = [&](bool central) {
        Put32(&zip, central ? 0x02014b50 : 0x04034b50);
        if (central) Put16(&zip, 20);   // made by
        Put16(&zip, 10);                 // version needed
        Put16(&zip, 0);                  // flags
        Put16(&zip, 0);                  // stored
        Put16(&zip, 0);                  // time
        Put16(&zip, 0x21);               // date
        Put32(&zip, crc);
        Put32(&zip, static_cast<unsigned long>(size));
        Put32(&zip, static_cast<unsigned long>(size));
        Put16(&zip, static_cast<unsigned>(name.size()));
        Put16(&zip, 0);                  // extra
        if (central) {
            Put16(&zip, 0);              // comment
            Put16(&zip, 0);              // disk
            Put16(&zip, 0);              // internal attributes
            Put32(&zip, 0);              // external attributes
            Put32(&zip, 0);              // local header offset
        }
        zip += name;
    };
    header(false);
    zip += data;
    size_t directory = zip.size();
    header(true);
    size_t directorySize = zip.size() - directory;
    std::string comment = kMadeMark + package + " " + file;
    Put32(&zip, 0x06054b50);
    Put16(&zip, 0);   // this disk
    Put16(&zip, 0);   // the directory's disk
    Put16(&zip, 1);   // entries here
    Put16(&zip, 1);   // entries in all
    Put32(&zip, static_cast<unsigned long>(directorySize));
    Put32(&zip, static_cast<unsigned long>(directory));
    Put16(&zip, static_cast<unsigned>(comment.size()));
    return zip + comment;
}

// A file of the phone: one of the computer's (apk-dir), or an APK made here.
struct PhoneFile {
    std::string host;        // the computer's file; empty for a made one
    std::string made;        // a made file's bytes
    unsigned long long size = 0;
    unsigned long long mtime = 0;   // seconds since 1970
};

bool HostInfo(const std::string& host, PhoneFile* f) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(host.c_str(), GetFileExInfoStandard, &a) || (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    f->host = host;
    f->size = (static_cast<unsigned long long>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
    unsigned long long t = (static_cast<unsigned long long>(a.ftLastWriteTime.dwHighDateTime) << 32) |
                           a.ftLastWriteTime.dwLowDateTime;
    f->mtime = t / 10000000ULL - 11644473600ULL;
    return true;
}

// The file at `name` in the folder of package `p`: apk-dir's
// `<package>.apk` for the base and `<package>@<name>` for the rest, else for
// a user app its made base and the splits its profile names. A package
// deleted with its last user has none.
bool PackageFile(const Device& d, const Package& p, const std::string& name, PhoneFile* f) {
    if (p.removed || p.apkGone) return false;
    bool base = name == Base(p.path);
    if (!d.apkDir.empty() && HostInfo(d.apkDir + "\\" + p.name + (base ? std::string(".apk") : "@" + name), f))
        return true;
    if (p.system) return false;
    bool named = base;
    for (const std::string& split : p.splits) named = named || name == "split_" + split + ".apk";
    if (!named) return false;
    f->made = MadeApk(p.name, name, base ? p.apkKb : 0);
    f->size = f->made.size();
    f->mtime = 1704067200ULL + Hash(p.name) % 86400;
    return true;
}

const Package* Owner(const Device& d, const std::string& folder) {
    for (const Package& p : d.packages)
        if (!p.removed && Folder(p.path) == folder) return &p;
    return nullptr;
}

bool Find(const Device& d, const std::string& phonePath, PhoneFile* f) {
    const Package* p = Owner(d, Folder(phonePath));
    return p && PackageFile(d, *p, Base(phonePath), f);
}

// Bytes [offset, offset + count) of the file, fewer at its end.
std::string ReadRange(const PhoneFile& f, unsigned long long offset, unsigned long long count) {
    if (f.host.empty()) {
        if (offset >= f.made.size()) return std::string();
        return f.made.substr(static_cast<size_t>(offset), static_cast<size_t>(std::min<unsigned long long>(count, f.made.size() - offset)));
    }
    std::string out;
    HANDLE h = CreateFileA(f.host.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (SetFilePointerEx(h, at, nullptr, FILE_BEGIN)) {
        char buf[65536];
        while (count > 0) {
            DWORD got = 0;
            DWORD want = static_cast<DWORD>(std::min<unsigned long long>(count, sizeof buf));
            if (!ReadFile(h, buf, want, &got, nullptr) || got == 0) break;
            out.append(buf, got);
            count -= got;
        }
    }
    CloseHandle(h);
    return out;
}

std::string NoFile(const std::string& tool, const std::string& path) {
    return tool + ": " + path + ": No such file or directory\n";
}

// A number with toybox's suffixes (k, m, g: 1024s).
unsigned long long Number(const std::string& s) {
    char* end = nullptr;
    unsigned long long n = std::strtoull(s.c_str(), &end, 10);
    if (*end == 'k' || *end == 'K') n <<= 10;
    else if (*end == 'm' || *end == 'M') n <<= 20;
    else if (*end == 'g' || *end == 'G') n <<= 30;
    return n;
}

int Stat(const Device& d, const std::vector<std::string>& args, Io& io) {
    std::string format = "%n";
    int status = 0;
    for (size_t k = 0; k < args.size(); k++) {
        if (args[k] == "-c" && k + 1 < args.size()) {
            format = args[++k];
            continue;
        }
        PhoneFile info;
        if (!Find(d, args[k], &info)) {
            io.err += "stat: '" + args[k] + "': No such file or directory\n";
            status = 1;
            continue;
        }
        for (size_t i = 0; i < format.size(); i++) {
            if (format[i] != '%' || i + 1 == format.size()) {
                io.out += format[i];
                continue;
            }
            char f = format[++i];
            if (f == 's') io.out += std::to_string(info.size);
            else if (f == 'Y') io.out += std::to_string(info.mtime);
            else if (f == 'n') io.out += args[k];
            else io.out += std::string("%") + f;
        }
        io.out += "\n";
    }
    return status;
}

// Several folders: each under a "FOLDER:" line, a blank line between them.
int Ls(const Device& d, const std::vector<std::string>& args, Io& io) {
    std::vector<std::string> dirs(args.begin(), args.end());
    if (dirs.empty()) dirs.push_back("/");
    int status = 0;
    bool first = true;
    for (std::string dir : dirs) {
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        const Package* owner = Owner(d, dir);
        if (!owner || owner->apkGone) {
            io.err += "ls: " + dir + ": No such file or directory\n";
            status = 1;
            continue;
        }
        std::vector<std::string> names;
        for (const std::string& path : ApkFiles(d, *owner)) names.push_back(Base(path));
        std::sort(names.begin(), names.end());
        if (dirs.size() > 1) io.out += (first ? "" : "\n") + dir + ":\n";
        first = false;
        for (const std::string& n : names) io.out += n + "\n";
    }
    return status;
}

// `tail -c N FILE` (the last N bytes) and `tail -c +N FILE` (from byte N, 1-based).
int Tail(const Device& d, const std::vector<std::string>& args, Io& io) {
    if (args.size() != 3 || args[0] != "-c") return io.err += "tail: need -c NUMBER FILE\n", 1;
    PhoneFile info;
    if (!Find(d, args[2], &info)) return io.err += NoFile("tail", args[2]), 1;
    bool fromStart = args[1][0] == '+';
    unsigned long long n = Number(fromStart ? args[1].substr(1) : args[1]);
    unsigned long long from = fromStart ? (n > 0 ? n - 1 : 0) : (n < info.size ? info.size - n : 0);
    io.out += ReadRange(info, from, info.size > from ? info.size - from : 0);
    return 0;
}

int Head(const Device& d, const std::vector<std::string>& args, const std::string* in, Io& io) {
    if (args.size() < 2 || args[0] != "-c") return io.err += "head: need -c NUMBER\n", 1;
    unsigned long long n = Number(args[1]);
    if (args.size() > 2) {
        PhoneFile f;
        if (!Find(d, args[2], &f)) return io.err += NoFile("head", args[2]), 1;
        io.out += ReadRange(f, 0, n);
    } else if (in) {
        io.out += in->substr(0, static_cast<size_t>(std::min<unsigned long long>(n, in->size())));
    }
    return 0;
}

int Dd(const Device& d, const std::vector<std::string>& args, const std::string* in, Io& io) {
    std::string file;
    unsigned long long bs = 512, skip = 0, count = ~0ULL;
    bool skipBytes = false, countBytes = false;
    for (const std::string& a : args) {
        size_t eq = a.find('=');
        std::string key = a.substr(0, eq), value = eq == std::string::npos ? "" : a.substr(eq + 1);
        if (key == "if") file = value;
        else if (key == "bs" || key == "ibs") bs = std::max(1ULL, Number(value));
        else if (key == "skip") skip = Number(value);
        else if (key == "count") count = Number(value);
        else if (key == "of" || key == "status") continue;
        else if (key == "iflag" && d.api >= 30) {
            skipBytes = value.find("skip_bytes") != std::string::npos;
            countBytes = value.find("count_bytes") != std::string::npos;
        } else return io.err += "dd: unknown argument '" + a + "'\n", 1;
    }
    unsigned long long from = skipBytes ? skip : skip * bs;
    unsigned long long want = count == ~0ULL ? ~0ULL : countBytes ? count : count * bs;
    std::string got;
    if (!file.empty()) {
        PhoneFile f;
        if (!Find(d, file, &f)) return io.err += "dd: " + file + ": No such file or directory\n", 1;
        got = ReadRange(f, from, want);
    } else if (in && from < in->size()) {
        got = in->substr(static_cast<size_t>(from), static_cast<size_t>(std::min<unsigned long long>(want, in->size() - from)));
    }
    io.out += got;
    unsigned long long full = got.size() / bs, part = got.size() % bs ? 1 : 0;
    io.err += std::to_string(full) + "+" + std::to_string(part) + " records in\n" + std::to_string(full) + "+" +
              std::to_string(part) + " records out\n" + std::to_string(got.size()) + " bytes transferred\n";
    return 0;
}

// `gzip -c [-1..-9] [FILE]`: a gzip stream on standard output.
int Gzip(const Device& d, const std::vector<std::string>& args, const std::string* in, Io& io) {
    int level = 6;
    std::string file;
    for (const std::string& a : args) {
        if (a.size() == 2 && a[0] == '-' && a[1] >= '1' && a[1] <= '9') level = a[1] - '0';
        else if (a == "-c" || a == "-n") continue;
        else file = a;
    }
    std::string data;
    if (!file.empty()) {
        PhoneFile f;
        if (!Find(d, file, &f)) return io.err += NoFile("gzip", file), 1;
        data = ReadRange(f, 0, ~0ULL);
    } else if (in) {
        data = *in;
    }
    z_stream z = {};
    if (deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 1;
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(&data[0]);
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    io.out += out;
    return 0;
}

int Base64(const std::string* in, Io& io) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string data = in ? *in : std::string();
    size_t column = 0;
    for (size_t i = 0; i < data.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size()) v |= static_cast<unsigned char>(data[i + 1]) << 8;
        if (i + 2 < data.size()) v |= static_cast<unsigned char>(data[i + 2]);
        char q[4] = {kDigits[v >> 18], kDigits[(v >> 12) & 63], i + 1 < data.size() ? kDigits[(v >> 6) & 63] : '=',
                     i + 2 < data.size() ? kDigits[v & 63] : '='};
        io.out.append(q, 4);
        if ((column += 4) == 76) io.out += "\n", column = 0;
    }
    if (column) io.out += "\n";
    return 0;
}

} // namespace

std::vector<std::string> ApkFiles(const Device& d, const Package& p) {
    std::vector<std::string> paths;
    if (p.removed || p.apkGone) return paths;
    const std::string folder = Folder(p.path);
    PhoneFile f;
    if (PackageFile(d, p, Base(p.path), &f)) paths.push_back(p.path);
    std::vector<std::string> splits;
    for (const std::string& split : p.splits) splits.push_back("split_" + split + ".apk");
    WIN32_FIND_DATAA found;
    HANDLE h = d.apkDir.empty() ? INVALID_HANDLE_VALUE : FindFirstFileA((d.apkDir + "\\" + p.name + "@*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string n = found.cFileName;
            splits.push_back(n.substr(n.find('@') + 1));
        } while (FindNextFileA(h, &found));
        FindClose(h);
    }
    std::sort(splits.begin(), splits.end());
    splits.erase(std::unique(splits.begin(), splits.end()), splits.end());
    for (const std::string& name : splits)
        if (name != Base(p.path) && PackageFile(d, p, name, &f)) paths.push_back(folder + "/" + name);
    return paths;
}

bool ReadPhoneFile(const Device& d, const std::string& phonePath, std::string* bytes) {
    PhoneFile f;
    if (!Find(d, phonePath, &f)) return false;
    *bytes = ReadRange(f, 0, ~0ULL);
    return true;
}

bool IdentifyApk(const Device& d, const std::string& bytes, std::string* package, std::string* file) {
    // A made APK says whose it is in its comment; its bytes must be whole.
    size_t mark = bytes.size() > 400 ? bytes.find(kMadeMark, bytes.size() - 400) : bytes.find(kMadeMark);
    if (mark != std::string::npos) {
        std::string rest = bytes.substr(mark + sizeof kMadeMark - 1);
        size_t blank = rest.find(' ');
        if (blank != std::string::npos) {
            std::string name = rest.substr(0, blank), f = rest.substr(blank + 1);
            for (const Package& p : d.packages)
                if (p.name == name && MadeApk(name, f, f == Base(p.path) ? p.apkKb : 0) == bytes) {
                    *package = name;
                    *file = f;
                    return true;
                }
        }
    }
    // One of apk-dir's files, byte for byte.
    for (const Package& p : d.packages) {
        if (d.apkDir.empty() || p.removed) continue;
        std::vector<std::pair<std::string, std::string>> candidates = {{d.apkDir + "\\" + p.name + ".apk", Base(p.path)}};
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((d.apkDir + "\\" + p.name + "@*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string n = found.cFileName;
                candidates.push_back({d.apkDir + "\\" + n, n.substr(n.find('@') + 1)});
            } while (FindNextFileA(h, &found));
            FindClose(h);
        }
        for (const auto& c : candidates) {
            PhoneFile f;
            if (!HostInfo(c.first, &f) || f.size != bytes.size() || ReadRange(f, 0, ~0ULL) != bytes) continue;
            *package = p.name;
            *file = c.second;
            return true;
        }
    }
    return false;
}

bool FileCommand(const Device& d, const std::string& name, const std::vector<std::string>& args,
                 const std::string* in, Io& io, int* status) {
    if (name == "ls") *status = Ls(d, args, io);
    else if (name == "dd") *status = Dd(d, args, in, io);
    else if (name == "stat" && d.api >= 23) *status = Stat(d, args, io);
    else if (name == "tail" && d.api >= 23) *status = Tail(d, args, io);
    else if (name == "base64" && d.api >= 24) *status = Base64(in, io);
    else if (name == "gzip" && d.api >= 26) *status = Gzip(d, args, in, io);
    else if (name == "head" && d.api >= 28) *status = Head(d, args, in, io);
    else return false;
    Sleep(d.execMs);
    return true;
}

} // namespace sim
