// Names read from APKs, kept on the computer so that a second read moves no
// bytes for apps that did not change: %LOCALAPPDATA%\adbtool\names.txt, one
// UTF-8 line per app,
//   n1<TAB>package<TAB>path<TAB>size<TAB>mtime<TAB>splits<TAB>locale<TAB>has<TAB>name<TAB>icon<LF>
// where `has` is 1 when the APK gave a name and 0 when it did not (an app
// without a label is not read again either), the name is escaped (\t \n \r
// \\ as two characters) and the icon's PNG is in base64.
// An updated app is installed anew (new size and time, on newer phones a new
// folder), so path + size + modification time + the language splits read
// identify what was read; the locale is part of the key too. Appends take
// the file's lock like the record of actions (lockedfile.h) and a torn last
// line is skipped; the last line for a key wins. The file is bounded: when
// it holds more than kNameCacheMaxLines lines, the newest kNameCacheKeep
// entries are written back and the oldest dropped.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace appnames {

// A phone has a few hundred packages; a few phones and their updates fit.
constexpr size_t kNameCacheKeep = 4000;
constexpr size_t kNameCacheMaxLines = 2 * kNameCacheKeep;

struct NameKey {
    std::string package, path;
    uint64_t size = 0, mtime = 0;
    std::string splits;      // the split APKs read, by file name, blank-separated
    std::string locale;      // the phone's locale tag as used
};

struct CachedName {
    bool hasName = false;
    std::u16string name;
    std::string icon;        // PNG bytes, empty for none
};

// One line with its end; and back (false for a line that is not one).
std::string FormatNameLine(const NameKey& key, const CachedName& value);
bool ParseNameLine(const std::string& line, NameKey* key, CachedName* value);

class NameCache {
public:
    explicit NameCache(std::string path = DefaultPath()) : path_(std::move(path)) {}
    static std::string DefaultPath();   // %LOCALAPPDATA%\adbtool\names.txt
    const std::string& Path() const { return path_; }

    // Reads the file (again); trims it when it grew past its bound.
    void Load();
    bool Find(const NameKey& key, CachedName* value) const;
    // Whether anything was read from this APK path (its size and time may differ).
    bool KnowsPath(const std::string& path) const;
    // Keeps the entry and appends it to the file at once; false when the
    // file could not be written (the entry is still kept in memory).
    bool Put(const NameKey& key, const CachedName& value);
    size_t Size() const { return entries_.size(); }
    // The newest entry of a package at this APK path, or of the package
    // wherever it was when `path` is empty: what to show before a read has
    // confirmed it (an updated app keeps its name most of the time).
    bool Latest(const std::string& package, const std::string& path, CachedName* value) const;

private:
    struct Entry {
        CachedName value;
        uint64_t order = 0;
    };
    static std::string KeyText(const NameKey& key);
    void Remember(const NameKey& key, const CachedName& value);
    std::string path_;
    std::map<std::string, Entry> entries_;
    std::map<std::string, size_t> paths_;
    std::map<std::string, std::string> latest_;   // "package" and "package<TAB>path" -> KeyText of the newest
    uint64_t next_ = 0;
};

} // namespace appnames
