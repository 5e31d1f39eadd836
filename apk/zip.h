// Reading entries of a zip file (an APK) whose bytes come by ranges: over adb
// a phone hands out pieces of a file, so each step says which range it needs
// and takes those bytes. For a file already in memory, `ZipArchive` does all
// the steps at once.
//
//   1. Read the last `TailRange(fileSize)` bytes; `FindDirectory` gives the
//      central directory's range (often inside the tail already).
//   2. `ReadDirectory` lists the entries from the central directory's bytes.
//   3. For an entry, read `LocalGuess(entry)` bytes from its local header;
//      `DataRange` gives where its data really is (the local header's extra
//      field may differ from the central one, so only it can tell).
//   4. `Extract` turns the data bytes into the content (stored: as is;
//      deflated: inflated), never more than a cap.
// Every function returns false (and leaves no partial result) on a damaged,
// truncated, hostile or unsupported (zip64, encrypted, other methods) file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace apk {

struct ByteRange {
    uint64_t offset = 0;
    uint64_t size = 0;
};

struct ZipEntry {
    std::string name;
    uint16_t method = 0;          // 0 stored, 8 deflated
    uint32_t compressedSize = 0;
    uint32_t size = 0;            // uncompressed
    uint32_t crc = 0;
    uint32_t localOffset = 0;     // of the local header
    uint16_t centralExtra = 0;    // length of the central directory's extra field
};

// The end record lies in the last 64 KB + 22 bytes (its comment is at most
// 65,535 bytes).
constexpr uint32_t kZipTailSize = 65535 + 22;
// A local header without its name and extra field.
constexpr uint32_t kZipLocalHeaderSize = 30;
// The central directory of framework-res (7,600 entries) is 728 KB; allow a
// few times that, and no more entries than such a directory could hold.
constexpr uint32_t kZipMaxDirectory = 8u << 20;
constexpr uint32_t kZipMaxEntries = 100000;

// The range to read for step 1: the whole file when it is small.
ByteRange TailRange(uint64_t fileSize);

// Step 1: `tail` is the file's last bytes (any length up to the file size).
bool FindDirectory(uint64_t fileSize, const std::string& tail, ByteRange* directory);

// Step 2: `bytes` are exactly the central directory's bytes.
bool ReadDirectory(const std::string& bytes, std::vector<ZipEntry>* entries);

// Steps 1 and 2 at once when the tail holds the whole directory (small
// APKs); false when it does not or the file is damaged.
bool ReadDirectoryFromTail(uint64_t fileSize, const std::string& tail, std::vector<ZipEntry>* entries);

const ZipEntry* FindEntry(const std::vector<ZipEntry>& entries, const std::string& name);

// Step 3: a range starting at the local header that holds the header and,
// unless the local extra field is longer than the central one by more than
// a little, the data too: one read for most entries. It may reach past the
// end of the file (into the directory, or beyond): read what there is.
ByteRange LocalGuess(const ZipEntry& entry);

// Step 3: `local` are bytes read at the local header (at least its 30 fixed
// bytes); gives the data's range in the file.
bool DataRange(const ZipEntry& entry, const std::string& local, ByteRange* data);

// Step 4: `data` are the entry's data bytes (compressed for deflated ones).
// Fails when the content would exceed `cap` bytes or does not match the
// sizes and checksum the directory gave.
bool Extract(const ZipEntry& entry, const std::string& data, uint32_t cap, std::string* content);

// Steps 3 and 4 when `local` (read at the local header, e.g. the
// `LocalGuess` range) already reaches the end of the data.
bool ExtractFromLocal(const ZipEntry& entry, const std::string& local, uint32_t cap, std::string* content);

// A whole zip file in memory (a test file, or a small APK read at once).
class ZipArchive {
public:
    // Keeps a reference to `bytes`: they must outlive the archive.
    bool Open(const std::string& bytes);
    const std::vector<ZipEntry>& entries() const { return entries_; }
    const ZipEntry* Find(const std::string& name) const { return FindEntry(entries_, name); }
    bool Read(const std::string& name, uint32_t cap, std::string* content) const;

private:
    const std::string* bytes_ = nullptr;
    std::vector<ZipEntry> entries_;
};

} // namespace apk
