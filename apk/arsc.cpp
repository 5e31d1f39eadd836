#include "arsc.h"

#include <map>
#include "cursor.h"
#include "respool.h"

namespace apk {

namespace {

// Chunk types (androidfw ResourceTypes.h).
constexpr uint16_t kPoolChunk = 0x0001;
constexpr uint16_t kTableChunk = 0x0002;
constexpr uint16_t kPackageChunk = 0x0200;
constexpr uint16_t kTypeChunk = 0x0201;
constexpr uint32_t kChunkHeaderSize = 8;
// ResTable_type: chunk header, id, flags, reserved, entryCount, entriesStart, config.
constexpr uint32_t kTypeHeaderMin = 20 + 4;
constexpr uint8_t kTypeSparse = 0x01;
constexpr uint8_t kTypeOffset16 = 0x02;
constexpr uint32_t kNoEntry = 0xFFFFFFFF;
constexpr uint16_t kNoEntry16 = 0xFFFF;
// ResTable_entry flags.
constexpr uint16_t kEntryComplex = 0x0001;
constexpr uint16_t kEntryCompact = 0x0008;
constexpr uint32_t kEntryHeaderSize = 8;
constexpr uint8_t kResTypeDynamicReference = 0x07;
// ResTable_package: chunk header, id, name[128] UTF-16, then pool offsets.
constexpr uint32_t kPackageHeaderMin = 8 + 4 + 256;
// Packages and types nest one level; a table of hundreds of packages is damage.
constexpr size_t kMaxPackages = 256;
// framework-res, the largest table known, has 3,857 type chunks (one per
// type and configuration); many times that is damage, and each costs memory.
constexpr size_t kMaxTypeChunks = 65536;

struct TypeChunk {
    size_t offset = 0;      // of the chunk in the table's bytes
    uint32_t size = 0;
    uint16_t headerSize = 0;
    uint8_t flags = 0;
    uint32_t entryCount = 0;
    uint32_t entriesStart = 0;
    ResConfig config;
};

// ResTable_config::unpackLanguageOrRegion: two letters as they are, three
// packed into two bytes with the high bit set.
std::string UnpackCode(uint8_t b0, uint8_t b1, char base) {
    if (b0 == 0) return std::string();
    if (b0 & 0x80) {
        char s[3] = {static_cast<char>(base + (b1 & 0x1F)),
                     static_cast<char>(base + (((b1 & 0xE0) >> 5) | ((b0 & 0x03) << 3))),
                     static_cast<char>(base + ((b0 & 0x7C) >> 2))};
        return std::string(s, 3);
    }
    return std::string{static_cast<char>(b0), static_cast<char>(b1)};
}

std::string FixedString(const uint8_t* p, size_t n) {
    size_t len = 0;
    while (len < n && p[len]) len++;
    return std::string(reinterpret_cast<const char*>(p), len);
}

// The ResTable_config of a type chunk; fields beyond the size it says it
// has are unset, as androidfw's copyFromDeviceNoSwap treats older, shorter ones.
ResConfig ReadConfig(Cursor config) {
    uint8_t b[64] = {};
    uint32_t size = config.U32();
    if (size > config.size()) size = static_cast<uint32_t>(config.size());
    for (uint32_t i = 4; i < size && i < sizeof b; i++) b[i] = config.Range(i, 1).U8();
    auto u16 = [&b](int at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); };
    ResConfig c;
    c.locale.language = UnpackCode(b[8], b[9], 'a');
    c.locale.region = UnpackCode(b[10], b[11], '0');
    c.locale.script = FixedString(b + 36, 4);
    c.locale.variant = FixedString(b + 40, 8);
    c.density = u16(14);
    c.sdk = u16(24);
    const uint8_t screenLayout = b[28], uiMode = b[29];
    const bool ltrOnly = (screenLayout & ~0x40) == 0;          // layoutDir ltr matches a Chinese phone
    const bool dayPhone = (uiMode & 0x0F) <= 1 && (uiMode & 0x30) != 0x20;  // normal, not night
    c.special = u16(4) || u16(6) || b[12] || b[13] || b[16] || b[17] || b[18] || u16(20) || u16(22) || u16(26) ||
                !ltrOnly || !dayPhone || u16(30) || u16(32) || u16(34) || b[48] || b[49] || b[50];
    return c;
}

IconFormat FormatOf(const std::string& path) {
    auto ends = [&path](const char* ext) {
        size_t n = std::char_traits<char>::length(ext);
        return path.size() >= n && path.compare(path.size() - n, n, ext) == 0;
    };
    if (ends(".png")) return IconFormat::Png;
    if (ends(".webp")) return IconFormat::Webp;
    if (ends(".jpg") || ends(".jpeg")) return IconFormat::Jpeg;
    return IconFormat::Other;
}

} // namespace

struct ResourceTable::Impl {
    std::string bytes;
    StringPool values;
    std::map<uint32_t, std::vector<TypeChunk>> types;  // by (package id << 8 | type id)
    size_t typeChunks = 0;

    bool Read();
    void ReadPackage(Cursor chunk, size_t base);
    void AddType(Cursor chunk, size_t offset, uint32_t packageId);
    bool EntryOffset(const TypeChunk& t, Cursor chunk, uint32_t index, uint32_t* offset) const;
    bool Value(const TypeChunk& t, uint32_t index, ResValue* v) const;
};

bool ResourceTable::Impl::Read() {
    Cursor table(bytes);
    if (table.U16() != kTableChunk) return false;
    uint16_t headerSize = table.U16();
    uint32_t size = table.U32();
    if (!table.ok() || headerSize < kChunkHeaderSize + 4 || size > bytes.size() || headerSize > size) return false;
    table.Seek(headerSize);
    size_t packages = 0;
    bool havePool = false;
    while (table.pos() + kChunkHeaderSize <= size) {
        size_t at = table.pos();
        uint16_t type = table.U16();
        table.U16();
        uint32_t chunkSize = table.U32();
        if (!table.ok() || chunkSize < kChunkHeaderSize || chunkSize > size - at) return havePool && packages > 0;
        Cursor chunk = table.Range(at, chunkSize);
        table.Seek(at + chunkSize);
        if (type == kPoolChunk && !havePool) {
            havePool = values.Read(chunk);
            if (!havePool) return false;
        } else if (type == kPackageChunk && packages < kMaxPackages) {
            ReadPackage(chunk, at);
            packages++;
        }
    }
    return havePool && packages > 0;
}

void ResourceTable::Impl::ReadPackage(Cursor chunk, size_t base) {
    chunk.Skip(2);
    uint16_t headerSize = chunk.U16();
    uint32_t size = chunk.U32();
    uint32_t id = chunk.U32();
    if (!chunk.ok() || headerSize < kPackageHeaderMin || headerSize > size || id > 0xFF) return;
    chunk.Seek(headerSize);
    while (chunk.ok() && chunk.pos() + kChunkHeaderSize <= size) {
        size_t at = chunk.pos();
        uint16_t type = chunk.U16();
        chunk.U16();
        uint32_t childSize = chunk.U32();
        if (!chunk.ok() || childSize < kChunkHeaderSize || childSize > size - at) return;
        if (type == kTypeChunk) AddType(chunk.Range(at, childSize), base + at, id);
        // Type specs, pools of names, libraries, overlayables and newer chunks: skipped by size.
        chunk.Seek(at + childSize);
    }
}

void ResourceTable::Impl::AddType(Cursor chunk, size_t offset, uint32_t packageId) {
    TypeChunk t;
    t.offset = offset;
    chunk.Skip(2);
    t.headerSize = chunk.U16();
    t.size = chunk.U32();
    uint8_t typeId = chunk.U8();
    t.flags = chunk.U8();
    chunk.Skip(2);
    t.entryCount = chunk.U32();
    t.entriesStart = chunk.U32();
    if (!chunk.ok() || typeId == 0 || t.headerSize < kTypeHeaderMin || t.headerSize > t.size ||
        t.entriesStart > t.size || t.entriesStart < t.headerSize)
        return;
    // The offsets table lies between the header and the entries.
    uint64_t perEntry = (t.flags & (kTypeSparse | kTypeOffset16)) == kTypeOffset16 ? 2 : 4;
    if (static_cast<uint64_t>(t.headerSize) + perEntry * t.entryCount > t.entriesStart) return;
    if (++typeChunks > kMaxTypeChunks) return;
    t.config = ReadConfig(chunk.Range(20, t.headerSize - 20));
    types[(packageId << 8) | typeId].push_back(t);
}

bool ResourceTable::Impl::EntryOffset(const TypeChunk& t, Cursor chunk, uint32_t index, uint32_t* offset) const {
    if (t.flags & kTypeSparse) {
        // Pairs of u16 entry index and u16 offset / 4, sorted by index.
        uint32_t lo = 0, hi = t.entryCount;
        while (lo < hi) {
            uint32_t mid = lo + (hi - lo) / 2;
            Cursor pair = chunk.Range(t.headerSize + static_cast<size_t>(mid) * 4, 4);
            uint16_t idx = pair.U16();
            uint16_t off = pair.U16();
            if (!pair.ok()) return false;
            if (idx == index) {
                *offset = static_cast<uint32_t>(off) * 4;
                return true;
            }
            if (idx < index) lo = mid + 1;
            else hi = mid;
        }
        return false;
    }
    if (index >= t.entryCount) return false;
    if (t.flags & kTypeOffset16) {
        uint16_t off = chunk.Range(t.headerSize + static_cast<size_t>(index) * 2, 2).U16();
        if (off == kNoEntry16) return false;
        *offset = static_cast<uint32_t>(off) * 4;
        return true;
    }
    Cursor at = chunk.Range(t.headerSize + static_cast<size_t>(index) * 4, 4);
    uint32_t off = at.U32();
    if (!at.ok() || off == kNoEntry) return false;
    *offset = off;
    return true;
}

bool ResourceTable::Impl::Value(const TypeChunk& t, uint32_t index, ResValue* v) const {
    Cursor chunk = Cursor(bytes).Range(t.offset, t.size);
    uint32_t offset = 0;
    if (!EntryOffset(t, chunk, index, &offset) || offset > t.size - t.entriesStart) return false;
    Cursor entry = chunk.Range(t.entriesStart + offset, t.size - t.entriesStart - offset);
    uint16_t entrySize = entry.U16();
    uint16_t flags = entry.U16();
    uint32_t word = entry.U32();
    if (!entry.ok()) return false;
    if (flags & kEntryCompact) {
        // ResTable_entry::compact: u16 key, u16 flags whose high byte is the
        // value's type, u32 data.
        v->type = static_cast<uint8_t>(flags >> 8);
        v->data = word;
    } else {
        if ((flags & kEntryComplex) || entrySize < kEntryHeaderSize) return false;
        entry.Seek(entrySize);
        entry.Skip(3);  // Res_value size, res0
        v->type = entry.U8();
        v->data = entry.U32();
        if (!entry.ok()) return false;
    }
    v->config = t.config;
    return true;
}

ResourceTable::ResourceTable() : impl_(new Impl) {}
ResourceTable::~ResourceTable() = default;

bool ResourceTable::Read(std::string bytes) {
    impl_.reset(new Impl);
    if (bytes.size() > kResTableMaxSize) return false;
    impl_->bytes = std::move(bytes);
    if (impl_->Read()) return true;
    impl_.reset(new Impl);
    return false;
}

std::vector<ResValue> ResourceTable::Values(uint32_t id) const {
    std::vector<ResValue> out;
    auto it = impl_->types.find(id >> 16);
    if (it == impl_->types.end()) return out;
    for (const TypeChunk& t : it->second) {
        ResValue v;
        if (impl_->Value(t, id & 0xFFFF, &v)) out.push_back(v);
    }
    return out;
}

bool ResourceTable::String(uint32_t index, std::u16string* out) const {
    return impl_->values.Get(index, out);
}

namespace {

struct Candidate {
    size_t table = 0;
    ResValue value;
};

bool Usable(const ResConfig& c, const ResRequest& request) {
    return !c.special && c.sdk <= request.sdk && LocaleMatches(c.locale, request.locale);
}

// ResTable_config::isBetterThan for the qualifiers we keep: locale first,
// then the later -vNN. Equal ones keep the first seen, as AssetManager2 does
// (it replaces its best only with a better one). androidfw asks only whether
// the newcomer's locale is better before it compares versions; in the order
// aapt writes configurations (locale before version) that gives this result.
bool Better(const ResConfig& a, const ResConfig& b, const ResRequest& request) {
    if (LocaleBetter(a.locale, b.locale, request.locale)) return true;
    if (LocaleBetter(b.locale, a.locale, request.locale)) return false;
    return a.sdk > b.sdk;
}

std::vector<Candidate> Candidates(const std::vector<const ResourceTable*>& tables, uint32_t id,
                                  const ResRequest& request) {
    std::vector<Candidate> out;
    for (size_t i = 0; i < tables.size(); i++) {
        if (!tables[i]) continue;
        for (const ResValue& v : tables[i]->Values(id))
            if (Usable(v.config, request)) out.push_back(Candidate{i, v});
    }
    return out;
}

bool Best(const std::vector<Candidate>& candidates, const ResRequest& request, Candidate* best) {
    const Candidate* b = nullptr;
    for (const Candidate& c : candidates)
        if (!b || Better(c.value.config, b->value.config, request)) b = &c;
    if (!b) return false;
    *best = *b;
    return true;
}

bool IsReference(uint8_t type) {
    return type == kResTypeReference || type == kResTypeDynamicReference;
}

int IconRank(uint16_t density) {
    if (density == 0) return 160;
    return density;
}

void CollectIcons(const std::vector<const ResourceTable*>& tables, uint32_t id, const ResRequest& request, int depth,
                  std::vector<IconFile>* bitmaps, bool* hasXml) {
    if (depth > kResMaxReferenceDepth || id == 0) return;
    std::vector<Candidate> all = Candidates(tables, id, request);
    Candidate best;
    if (!Best(all, request, &best)) return;
    for (const Candidate& c : all) {
        // Only the best locale's values: another language's icon is not ours.
        const ResLocale& l = c.value.config.locale;
        const ResLocale& bl = best.value.config.locale;
        if (l.language != bl.language || l.region != bl.region || l.script != bl.script) continue;
        if (IsReference(c.value.type)) {
            CollectIcons(tables, c.value.data, request, depth + 1, bitmaps, hasXml);
            continue;
        }
        std::u16string path;
        if (c.value.type != kResTypeString || !tables[c.table]->String(c.value.data, &path)) continue;
        IconFile f;
        f.path = Utf16ToUtf8(path);
        f.format = FormatOf(f.path);
        f.density = c.value.config.density;
        f.table = c.table;
        if (f.format == IconFormat::Other) *hasXml = true;
        else bitmaps->push_back(f);
    }
}

} // namespace

bool ResolveString(const std::vector<const ResourceTable*>& tables, uint32_t id, const ResRequest& request,
                   std::u16string* out) {
    for (int depth = 0; depth <= kResMaxReferenceDepth; depth++) {
        Candidate best;
        if (id == 0 || !Best(Candidates(tables, id, request), request, &best)) return false;
        if (best.value.type == kResTypeString) return tables[best.table]->String(best.value.data, out);
        if (!IsReference(best.value.type)) return false;
        id = best.value.data;
    }
    return false;
}

IconChoice ResolveIcon(const std::vector<const ResourceTable*>& tables, uint32_t id, const ResRequest& request,
                       int pixels) {
    IconChoice choice;
    std::vector<IconFile> bitmaps;
    CollectIcons(tables, id, request, 0, &bitmaps, &choice.hasXml);
    // Launcher icons are 48 px at 160 dpi: the density that gives `pixels`.
    const int need = (pixels * 160 + 47) / 48;
    const IconFile* pick = nullptr;
    for (const IconFile& f : bitmaps) {
        if (f.density == kDensityAny || f.density == kDensityNone) continue;
        int r = IconRank(f.density);
        if (!pick) {
            pick = &f;
            continue;
        }
        int p = IconRank(pick->density);
        bool fOk = r >= need, pOk = p >= need;
        if ((fOk && !pOk) || (fOk && pOk && r < p) || (!fOk && !pOk && r > p)) pick = &f;
    }
    // Bitmaps that are never scaled (nodpi) serve when no density has one.
    if (!pick && !bitmaps.empty()) pick = &bitmaps.front();
    if (pick) {
        choice.bitmap = true;
        choice.file = *pick;
    }
    return choice;
}

} // namespace apk
