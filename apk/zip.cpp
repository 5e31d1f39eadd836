#include "zip.h"

#include <zlib.h>
#include <cstring>
#include "cursor.h"

namespace apk {

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kCentralHeaderSize = 46;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
// Writers pad the local extra field to align the data (zipalign: 4 bytes,
// 4 KB for native libraries); a little more than the central one is usual.
constexpr uint32_t kLocalExtraSlack = 64;
// Deflate expands at most 1032 times (zlib's technical details): a larger
// promised size is a lie that would only make us allocate for nothing.
constexpr uint32_t kDeflateMaxRatio = 1032;

} // namespace

ByteRange TailRange(uint64_t fileSize) {
    ByteRange r;
    r.size = fileSize < kZipTailSize ? fileSize : kZipTailSize;
    r.offset = fileSize - r.size;
    return r;
}

bool FindDirectory(uint64_t fileSize, const std::string& tail, ByteRange* directory) {
    if (tail.size() < kEndRecordSize || tail.size() > fileSize) return false;
    // The last end record wins: search backwards for one whose comment ends
    // exactly at the end of the file.
    for (size_t at = tail.size() - kEndRecordSize + 1; at-- > 0;) {
        Cursor c(tail.data() + at, tail.size() - at);
        if (c.U32() != kEndSignature) continue;
        uint16_t disk = c.U16(), cdDisk = c.U16();
        uint16_t onDisk = c.U16(), total = c.U16();
        uint32_t cdSize = c.U32(), cdOffset = c.U32();
        uint16_t commentLength = c.U16();
        if (!c.ok() || commentLength != c.left()) continue;
        // Split archives and zip64 (0xFFFF counts, 0xFFFFFFFF offsets) are not APKs we can read.
        if (disk != 0 || cdDisk != 0 || onDisk != total || total == 0xFFFF || cdOffset == 0xFFFFFFFFu) return false;
        uint64_t endAt = fileSize - tail.size() + at;
        if (static_cast<uint64_t>(cdOffset) + cdSize > endAt || cdSize > kZipMaxDirectory) return false;
        directory->offset = cdOffset;
        directory->size = cdSize;
        return true;
    }
    return false;
}

bool ReadDirectory(const std::string& bytes, std::vector<ZipEntry>* entries) {
    if (bytes.size() > kZipMaxDirectory) return false;
    std::vector<ZipEntry> out;
    Cursor c(bytes);
    while (c.left() > 0) {
        if (c.U32() != kCentralSignature) return false;
        // Versions, and flags: packers set the "encrypted" bit on entries
        // that are not encrypted, and phones ignore it (libziparchive's
        // zip_archive.cc reads only the data-descriptor bit); a really
        // encrypted entry fails its checksum instead.
        c.Skip(6);
        ZipEntry e;
        e.method = c.U16();
        c.Skip(4);  // time, date
        e.crc = c.U32();
        e.compressedSize = c.U32();
        e.size = c.U32();
        uint16_t nameLength = c.U16();
        e.centralExtra = c.U16();
        uint16_t commentLength = c.U16();
        c.Skip(8);  // disk, internal and external attributes
        e.localOffset = c.U32();
        Cursor name = c.Sub(nameLength);
        c.Skip(static_cast<size_t>(e.centralExtra) + commentLength);
        if (!c.ok() || out.size() >= kZipMaxEntries) return false;
        e.name.assign(reinterpret_cast<const char*>(name.here()), nameLength);
        out.push_back(std::move(e));
    }
    entries->swap(out);
    return true;
}

bool ReadDirectoryFromTail(uint64_t fileSize, const std::string& tail, std::vector<ZipEntry>* entries) {
    ByteRange cd;
    if (!FindDirectory(fileSize, tail, &cd)) return false;
    uint64_t tailStart = fileSize - tail.size();
    if (cd.offset < tailStart) return false;
    return ReadDirectory(tail.substr(static_cast<size_t>(cd.offset - tailStart), static_cast<size_t>(cd.size)),
                         entries);
}

const ZipEntry* FindEntry(const std::vector<ZipEntry>& entries, const std::string& name) {
    for (const ZipEntry& e : entries)
        if (e.name == name) return &e;
    return nullptr;
}

ByteRange LocalGuess(const ZipEntry& entry) {
    ByteRange r;
    r.offset = entry.localOffset;
    r.size = static_cast<uint64_t>(kZipLocalHeaderSize) + entry.name.size() + entry.centralExtra + kLocalExtraSlack +
             entry.compressedSize;
    return r;
}

bool DataRange(const ZipEntry& entry, const std::string& local, ByteRange* data) {
    Cursor c(local);
    if (c.U32() != kLocalSignature) return false;
    c.Skip(22);
    uint16_t nameLength = c.U16(), extraLength = c.U16();
    if (!c.ok() || nameLength != entry.name.size()) return false;
    data->offset = static_cast<uint64_t>(entry.localOffset) + kZipLocalHeaderSize + nameLength + extraLength;
    data->size = entry.compressedSize;
    return true;
}

bool Extract(const ZipEntry& entry, const std::string& data, uint32_t cap, std::string* content) {
    if (entry.size > cap || data.size() != entry.compressedSize) return false;
    std::string out;
    if (entry.method == kStored) {
        if (entry.compressedSize != entry.size) return false;
        out = data;
    } else if (entry.method == kDeflated) {
        if (entry.size / kDeflateMaxRatio > entry.compressedSize) return false;
        out.resize(entry.size);
        z_stream z;
        std::memset(&z, 0, sizeof z);
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z.avail_in = static_cast<uInt>(data.size());
        // One spare byte: a stream that wants to write more than the
        // directory promised is caught instead of silently cut.
        char spare = 0;
        z.next_out = entry.size ? reinterpret_cast<Bytef*>(&out[0]) : reinterpret_cast<Bytef*>(&spare);
        z.avail_out = entry.size ? static_cast<uInt>(entry.size) : 1;
        int rc = inflate(&z, Z_FINISH);
        bool whole = rc == Z_STREAM_END && z.total_out == entry.size;
        inflateEnd(&z);
        if (!whole) return false;
    } else {
        return false;
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size()));
    if (crc != entry.crc) return false;
    content->swap(out);
    return true;
}

bool ExtractFromLocal(const ZipEntry& entry, const std::string& local, uint32_t cap, std::string* content) {
    ByteRange data;
    if (!DataRange(entry, local, &data)) return false;
    uint64_t start = data.offset - entry.localOffset;
    if (start > local.size() || data.size > local.size() - start) return false;
    return Extract(entry, local.substr(static_cast<size_t>(start), static_cast<size_t>(data.size)), cap, content);
}

bool ZipArchive::Open(const std::string& bytes) {
    bytes_ = nullptr;
    entries_.clear();
    ByteRange tail = TailRange(bytes.size());
    ByteRange cd;
    if (!FindDirectory(bytes.size(), bytes.substr(static_cast<size_t>(tail.offset)), &cd)) return false;
    if (!ReadDirectory(bytes.substr(static_cast<size_t>(cd.offset), static_cast<size_t>(cd.size)), &entries_))
        return false;
    bytes_ = &bytes;
    return true;
}

bool ZipArchive::Read(const std::string& name, uint32_t cap, std::string* content) const {
    const ZipEntry* e = Find(name);
    if (!bytes_ || !e || e->localOffset >= bytes_->size()) return false;
    std::string local = bytes_->substr(e->localOffset, kZipLocalHeaderSize + e->name.size() + 0xFFFF);
    ByteRange data;
    if (!DataRange(*e, local, &data) || data.offset > bytes_->size() || data.size > bytes_->size() - data.offset)
        return false;
    return Extract(*e, bytes_->substr(static_cast<size_t>(data.offset), static_cast<size_t>(data.size)), cap, content);
}

} // namespace apk
