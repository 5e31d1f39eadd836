#include "listmodel.h"

#include <windows.h>
#include <algorithm>
#include <cstring>

namespace units {

namespace {

// Lead bytes of the system code page.
struct LeadBytes {
    bool lead[256];
    LeadBytes() {
        for (int b = 0; b < 256; ++b) lead[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) != 0;
    }
};
const LeadBytes& Leads() {
    static const LeadBytes table;
    return table;
}

inline unsigned char Fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }
inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

const std::string kEmpty;
const std::wstring kNoName;

// The filter text, from the code page the cells are in, to UTF-16.
std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

} // namespace

std::vector<std::string> SplitLines(const char* text, size_t length) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < length) {
        const void* lf = std::memchr(text + start, '\n', length - start);
        size_t end = lf ? static_cast<size_t>(static_cast<const char*>(lf) - text) : length;
        size_t stop = end > start && text[end - 1] == '\r' ? end - 1 : end;
        lines.emplace_back(text + start, stop - start);
        start = end + 1;
    }
    return lines;
}

bool ContainsText(const std::string& text, const std::string& needle) {
    if (needle.empty()) return true;
    const bool* lead = Leads().lead;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* n = reinterpret_cast<const unsigned char*>(needle.data());
    const size_t tn = text.size(), nn = needle.size();
    const unsigned char first = Fold(n[0]);
    for (size_t i = 0; i + nn <= tn; i += lead[t[i]] && i + 1 < tn ? 2 : 1) {
        if (Fold(t[i]) != first) continue;
        // Both sides are on a character boundary here and stay in step: a
        // double-byte character compares whole and exactly.
        size_t k = 0;
        while (k < nn) {
            if (lead[n[k]]) {
                if (k + 1 >= nn || t[i + k] != n[k] || t[i + k + 1] != n[k + 1]) break;
                k += 2;
            } else {
                if (lead[t[i + k]] || Fold(t[i + k]) != Fold(n[k])) break;
                k += 1;
            }
        }
        if (k >= nn) return true;
    }
    return false;
}

bool NameContains(const std::wstring& name, const std::string& filter) {
    return !name.empty() && search::MatchesPinyin(search::MakePinyinKey(name), search::PinyinQuery(Widen(filter)));
}

int CompareCells(const std::string& a, const std::string& b) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a.data());
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b.data());
    const unsigned char* pe = p + a.size();
    const unsigned char* qe = q + b.size();
    const bool* lead = Leads().lead;
    while (p < pe && q < qe) {
        if (lead[*p] || lead[*q]) {
            // A double-byte character against anything: by its bytes as they are.
            int width = lead[*p] && lead[*q] && p + 1 < pe && q + 1 < qe ? 2 : 1;
            for (int k = 0; k < width; ++k)
                if (p[k] != q[k]) return p[k] < q[k] ? -1 : 1;
            p += width;
            q += width;
            continue;
        }
        if (IsDigit(*p) && IsDigit(*q)) {
            // Numbers by value: skip leading zeros, then the longer run is
            // larger, then the first differing digit decides.
            while (p < pe && *p == '0') ++p;
            while (q < qe && *q == '0') ++q;
            const unsigned char* ps = p;
            const unsigned char* qs = q;
            while (p < pe && IsDigit(*p)) ++p;
            while (q < qe && IsDigit(*q)) ++q;
            if (p - ps != q - qs) return (p - ps) < (q - qs) ? -1 : 1;
            for (; ps < p; ++ps, ++qs)
                if (*ps != *qs) return *ps < *qs ? -1 : 1;
            continue;
        }
        unsigned char x = Fold(*p), y = Fold(*q);
        if (x != y) return x < y ? -1 : 1;
        ++p;
        ++q;
    }
    if (p < pe) return 1;
    if (q < qe) return -1;
    return 0;
}

std::vector<std::string> ListModel::SplitCells(const char* text, size_t length) {
    std::vector<std::string> cells;
    size_t start = 0;
    for (;;) {
        const void* tab = std::memchr(text + start, '\t', length - start);
        size_t end = tab ? static_cast<size_t>(static_cast<const char*>(tab) - text) : length;
        cells.emplace_back(text + start, end - start);
        if (!tab) break;
        start = end + 1;
    }
    return cells;
}

void ListModel::SetRows(const char* text, size_t length) {
    rows_.clear();
    checkedCount_ = 0;
    colouredCount_ = 0;
    std::vector<std::string> lines = text ? SplitLines(text, length) : std::vector<std::string>();
    rows_.resize(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) rows_[i].cells = SplitCells(lines[i].data(), lines[i].size());
    order_.resize(rows_.size());
    for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<int32_t>(i);
    Resort();
}

bool ListModel::SetRow(int32_t row, const char* text, uint32_t colour) {
    if (!Valid(row)) return false;
    Row& r = rows_[static_cast<size_t>(row)];
    std::string before = sortColumn_ >= 0 ? Cell(row, sortColumn_) : std::string();
    r.cells = SplitCells(text ? text : "", text ? std::strlen(text) : 0);
    colouredCount_ += (colour != kDefaultColour) - (r.colour != kDefaultColour);
    r.colour = colour;
    if (sortColumn_ >= 0 && Cell(row, sortColumn_) != before) {
        // One row moves: out of the order, then back in where it belongs.
        order_.erase(std::find(order_.begin(), order_.end(), row));
        auto at = std::lower_bound(order_.begin(), order_.end(), row,
                                   [this](int32_t a, int32_t b) { return Before(a, b); });
        order_.insert(at, row);
    }
    Refilter();
    return true;
}

int32_t ListModel::RowAt(int32_t position) const {
    return position >= 0 && position < ShownCount() ? shown_[static_cast<size_t>(position)] : -1;
}

int32_t ListModel::PositionOf(int32_t row) const { return Valid(row) ? position_[static_cast<size_t>(row)] : -1; }

const std::string& ListModel::Cell(int32_t row, int32_t column) const {
    if (!Valid(row) || column < 0) return kEmpty;
    const std::vector<std::string>& cells = rows_[static_cast<size_t>(row)].cells;
    return static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)] : kEmpty;
}

std::string ListModel::RowText(int32_t row) const {
    std::string s;
    if (!Valid(row)) return s;
    const std::vector<std::string>& cells = rows_[static_cast<size_t>(row)].cells;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) s += '\t';
        s += cells[i];
    }
    return s;
}

bool ListModel::SetChecked(int32_t row, bool checked) {
    if (!Valid(row) || rows_[static_cast<size_t>(row)].checked == checked) return false;
    rows_[static_cast<size_t>(row)].checked = checked;
    checkedCount_ += checked ? 1 : -1;
    return true;
}

std::vector<int32_t> ListModel::CheckedRows() const {
    std::vector<int32_t> out;
    out.reserve(static_cast<size_t>(checkedCount_));
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].checked) out.push_back(static_cast<int32_t>(i));
    return out;
}

void ListModel::SetNameColumn(int32_t column) {
    nameColumn_ = column < 0 ? -1 : column;
    Resort();
}

bool ListModel::SetNames(int32_t first, const std::vector<std::wstring>& names) {
    if (!Valid(first)) return false;
    for (size_t i = 0; i < names.size() && first + i < rows_.size(); ++i) {
        Row& r = rows_[first + i];
        if (r.name == names[i]) continue;
        r.name = names[i];
        r.nameKey = search::MakePinyinKey(r.name);
        r.nameOrder = search::PinyinSortKey(r.name);
    }
    if (nameColumn_ >= 0 && sortColumn_ == nameColumn_) Resort();
    else if (!filter_.empty()) Refilter();
    return true;
}

const std::wstring& ListModel::Name(int32_t row) const {
    return Valid(row) ? rows_[static_cast<size_t>(row)].name : kNoName;
}

namespace {

wchar_t FoldWide(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

// Whether `text` begins with `typed`, each typed character the text's own
// (either case) or the first letter of one of its readings.
bool BeginsWithTyped(const std::wstring& text, const std::wstring& typed) {
    if (typed.empty() || text.size() < typed.size()) return false;
    for (size_t i = 0; i < typed.size(); ++i) {
        wchar_t want = FoldWide(typed[i]);
        if (FoldWide(text[i]) == want) continue;
        uint16_t syllables[search::kMaxPinyinReadings];
        int n = search::PinyinReadings(text[i], syllables);
        bool initial = false;
        for (int k = 0; k < n && !initial; ++k) initial = search::PinyinSyllable(syllables[k])[0] == want;
        if (!initial) return false;
    }
    return true;
}

} // namespace

int32_t ListModel::FindTyped(const std::wstring& typed, int32_t start) const {
    int32_t count = ShownCount();
    if (typed.empty() || count == 0) return -1;
    if (start < 0 || start >= count) start = 0;
    for (int32_t k = 0; k < count; ++k) {
        int32_t position = (start + k) % count;
        int32_t row = RowAt(position);
        const std::wstring& name = Name(row);
        if (!name.empty() ? BeginsWithTyped(name, typed)
                          : BeginsWithTyped(Widen(Cell(row, nameColumn_ == 0 ? 1 : 0)), typed))
            return position;
    }
    return -1;
}

void ListModel::SetImage(int32_t row, int32_t image) {
    if (Valid(row)) rows_[static_cast<size_t>(row)].image = image;
}

void ListModel::SetFilter(const std::string& text, uint32_t columns) {
    filter_ = text;
    filterColumns_ = columns;
    nameQuery_.reset(text.empty() ? nullptr : new search::PinyinQuery(Widen(text)));
    Refilter();
}

bool ListModel::NamePasses(const Row& row) const {
    if (nameColumn_ < 0 || row.name.empty() || !nameQuery_) return false;
    if (filterColumns_ && (nameColumn_ >= 32 || !(filterColumns_ & (1u << nameColumn_)))) return false;
    return search::MatchesPinyin(row.nameKey, *nameQuery_);
}

void ListModel::SetSort(int32_t column, bool descending) {
    sortColumn_ = column < 0 ? -1 : column;
    descending_ = sortColumn_ >= 0 && descending;
    Resort();
}

bool ListModel::Passes(const Row& row) const {
    if (filter_.empty() || NamePasses(row)) return true;
    for (size_t c = 0; c < row.cells.size(); ++c) {
        if (filterColumns_ && (c >= 32 || !(filterColumns_ & (1u << c)))) continue;
        if (ContainsText(row.cells[c], filter_)) return true;
    }
    return false;
}

bool ListModel::Before(int32_t a, int32_t b) const {
    int c;
    if (sortColumn_ == nameColumn_) {
        const Row& x = rows_[static_cast<size_t>(a)];
        const Row& y = rows_[static_cast<size_t>(b)];
        // Rows without a name go last either way.
        if (x.name.empty() != y.name.empty()) return y.name.empty();
        c = x.nameOrder.compare(y.nameOrder);
        if (c == 0) c = CompareCells(Cell(a, sortColumn_), Cell(b, sortColumn_));
    } else {
        c = CompareCells(Cell(a, sortColumn_), Cell(b, sortColumn_));
    }
    if (descending_) c = -c;
    return c != 0 ? c < 0 : a < b;
}

void ListModel::Resort() {
    for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<int32_t>(i);
    if (sortColumn_ >= 0)
        std::sort(order_.begin(), order_.end(), [this](int32_t a, int32_t b) { return Before(a, b); });
    Refilter();
}

void ListModel::Refilter() {
    shown_.clear();
    shown_.reserve(order_.size());
    position_.assign(rows_.size(), -1);
    for (int32_t row : order_) {
        if (!Passes(rows_[static_cast<size_t>(row)])) continue;
        position_[static_cast<size_t>(row)] = static_cast<int32_t>(shown_.size());
        shown_.push_back(row);
    }
}

} // namespace units
