#include "namecache.h"

#include <cstdlib>
#include <vector>
#include "device/lockedfile.h"
#include "apk/respool.h"
#include "text/text.h"

namespace appnames {

namespace {

const char kVersion[] = "n1";
constexpr size_t kFields = 10;
// A launcher icon at the densities chosen is a few KB; a larger one is not kept.
constexpr size_t kIconMaxBytes = 256 * 1024;

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string ToBase64(const std::string& data) {
    std::string out;
    for (size_t i = 0; i < data.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size()) v |= static_cast<unsigned char>(data[i + 1]) << 8;
        if (i + 2 < data.size()) v |= static_cast<unsigned char>(data[i + 2]);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += i + 1 < data.size() ? kDigits[(v >> 6) & 63] : '=';
        out += i + 2 < data.size() ? kDigits[v & 63] : '=';
    }
    return out;
}

bool FromBase64(const std::string& text, std::string* data) {
    if (text.size() % 4) return false;
    std::string out;
    unsigned v = 0;
    int bits = 0;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c == '=') break;
        const char* at = std::char_traits<char>::find(kDigits, 64, c);
        if (!at) return false;
        v = (v << 6) | static_cast<unsigned>(at - kDigits);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((v >> bits) & 0xFF);
        }
    }
    data->swap(out);
    return true;
}

bool Number(const std::string& s, uint64_t* n) {
    if (s.empty() || s.size() > 20) return false;
    char* end = nullptr;
    *n = std::strtoull(s.c_str(), &end, 10);
    return *end == 0;
}

} // namespace

std::string FormatNameLine(const NameKey& key, const CachedName& value) {
    std::string icon = value.icon.size() <= kIconMaxBytes ? ToBase64(value.icon) : std::string();
    return std::string(kVersion) + "\t" + Escape(key.package) + "\t" + Escape(key.path) + "\t" +
           std::to_string(key.size) + "\t" + std::to_string(key.mtime) + "\t" + Escape(key.splits) + "\t" +
           Escape(key.locale) + "\t" + (value.hasName ? "1" : "0") + "\t" + Escape(apk::Utf16ToUtf8(value.name)) + "\t" +
           icon + "\n";
}

bool ParseNameLine(const std::string& line, NameKey* key, CachedName* value) {
    std::vector<std::string> f = text::SplitTabs(line);
    if (f.size() != kFields || f[0] != kVersion || f[1].empty() || f[2].empty()) return false;
    if (!Number(f[3], &key->size) || !Number(f[4], &key->mtime) || (f[7] != "0" && f[7] != "1")) return false;
    if (!FromBase64(f[9], &value->icon)) return false;
    key->package = Unescape(f[1]);
    key->path = Unescape(f[2]);
    key->splits = Unescape(f[5]);
    key->locale = Unescape(f[6]);
    value->hasName = f[7] == "1";
    value->name = apk::Utf8ToUtf16(Unescape(f[8]));
    return true;
}

std::string NameCache::DefaultPath() { return dev::ToolDataFile("names.txt"); }

std::string NameCache::KeyText(const NameKey& key) {
    return key.package + "\t" + key.path + "\t" + std::to_string(key.size) + "\t" + std::to_string(key.mtime) + "\t" +
           key.splits + "\t" + key.locale;
}

void NameCache::Remember(const NameKey& key, const CachedName& value) {
    std::string text = KeyText(key);
    Entry& e = entries_[text];
    e.value = value;
    e.order = next_++;
    paths_[key.path]++;
    latest_[key.package] = text;
    latest_[key.package + "\t" + key.path] = text;
}

void NameCache::Load() {
    entries_.clear();
    paths_.clear();
    latest_.clear();
    size_t lines = 0;
    dev::ForEachWholeLine(dev::ReadShared(path_), [&](const std::string& line) {
        NameKey key;
        CachedName value;
        lines++;
        if (ParseNameLine(line, &key, &value)) Remember(key, value);
    });
    if (lines <= kNameCacheMaxLines) return;
    // Past its bound: keep the newest entries, written back in their order.
    std::map<uint64_t, std::string> byAge;
    for (const auto& kv : entries_) byAge[kv.second.order] = kv.first;
    while (byAge.size() > kNameCacheKeep) {
        entries_.erase(byAge.begin()->second);
        byAge.erase(byAge.begin());
    }
    std::string text;
    paths_.clear();
    latest_.clear();
    for (const auto& kv : byAge) {
        std::vector<std::string> k = text::SplitTabs(kv.second);
        NameKey key;
        key.package = k[0];
        key.path = k[1];
        Number(k[2], &key.size);
        Number(k[3], &key.mtime);
        key.splits = k[4];
        key.locale = k[5];
        paths_[key.path]++;
        latest_[key.package] = kv.second;
        latest_[key.package + "\t" + key.path] = kv.second;
        text += FormatNameLine(key, entries_[kv.second].value);
    }
    dev::RewriteLocked(path_, text);
}

bool NameCache::Find(const NameKey& key, CachedName* value) const {
    auto it = entries_.find(KeyText(key));
    if (it == entries_.end()) return false;
    *value = it->second.value;
    return true;
}

bool NameCache::KnowsPath(const std::string& path) const { return paths_.count(path) != 0; }

bool NameCache::Latest(const std::string& package, const std::string& path, CachedName* value) const {
    auto it = latest_.find(path.empty() ? package : package + "\t" + path);
    if (it == latest_.end()) return false;
    auto e = entries_.find(it->second);
    if (e == entries_.end()) return false;
    *value = e->second.value;
    return true;
}

bool NameCache::Put(const NameKey& key, const CachedName& value) {
    Remember(key, value);
    return dev::AppendLocked(path_, FormatNameLine(key, value));
}

} // namespace appnames
