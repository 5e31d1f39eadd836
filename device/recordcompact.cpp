// Keeping the record of actions small: the history undo no longer reads
// moves to a compressed archive beside it (record.h, CompactRecord).
#include "record.h"

#include <zlib.h>
#include "lockedfile.h"

namespace dev {

void CompactRecord(const std::string& bytes, size_t keepNewest, std::string* kept, std::string* archived) {
    kept->clear();
    archived->clear();
    struct Span {
        size_t begin, end;   // the line's bytes, its end included
        size_t entry;        // its index in `entries`, or npos for a damaged or torn line
    };
    std::vector<Span> spans;
    std::vector<RecordEntry> entries;
    for (size_t start = 0; start < bytes.size();) {
        size_t nl = bytes.find('\n', start);
        size_t end = nl == std::string::npos ? bytes.size() : nl + 1;
        Span span{start, end, std::string::npos};
        if (nl != std::string::npos) {
            size_t stop = nl > start && bytes[nl - 1] == '\r' ? nl - 1 : nl;
            entries.emplace_back();
            if (ParseEntry(bytes.data() + start, stop - start, &entries.back())) span.entry = entries.size() - 1;
            else entries.pop_back();
        }
        spans.push_back(span);
        start = end;
    }
    // The newest lines stay for the history the window shows.
    std::vector<bool> newest(entries.size(), false);
    for (size_t k = entries.size() > keepNewest ? entries.size() - keepNewest : 0; k < entries.size(); k++) newest[k] = true;
    std::vector<bool> keep = LinesUndoReads(entries, newest);
    for (size_t i = 0; i < spans.size(); i++) {
        const Span& sp = spans[i];
        // A torn last line stays: the next append ends it.
        bool stays = sp.entry != std::string::npos ? keep[sp.entry] : i + 1 == spans.size() && bytes.back() != '\n';
        (stays ? kept : archived)->append(bytes, sp.begin, sp.end - sp.begin);
    }
}

std::string ActionRecord::ArchivePath() const {
    size_t dot = path_.find_last_of('.');
    size_t slash = path_.find_last_of("\\/");
    std::string stem = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? path_ : path_.substr(0, dot);
    return stem + "-archive.log.gz";
}

bool ActionRecord::CompactIfLarge(unsigned long long limit, std::string* error) const {
    if (FileSize(path_) <= limit) return true;
    std::string archiveError;
    bool ok = UpdateLocked(path_, [&](std::string& bytes) {
        if (bytes.size() <= limit) return false;   // another process compacted it meanwhile
        std::string kept, archived;
        CompactRecord(bytes, kRecordKeepNewest, &kept, &archived);
        if (archived.empty()) return false;
        // A gzip member of its own, appended: gzip and every unzip tool read
        // the members of one file one after the other.
        gzFile z = gzopen(ArchivePath().c_str(), "ab6");
        bool written = z && gzwrite(z, archived.data(), static_cast<unsigned>(archived.size())) ==
                                static_cast<int>(archived.size());
        written = z && gzclose(z) == Z_OK && written;
        if (!written) {
            archiveError = "无法写入 " + ArchivePath();
            return false;   // nothing leaves the record that the archive did not take
        }
        bytes.swap(kept);
        return true;
    }, error);
    if (!archiveError.empty()) {
        if (error) *error = archiveError;
        return false;
    }
    return ok;
}

} // namespace dev
