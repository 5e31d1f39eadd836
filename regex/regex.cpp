#include "regex.h"

#include <cstring>
#include <new>
#include <string>

// MinGW GCC makes Boost switch the Win32 parts off; the Windows traits are
// the ones this library is defined on, so switch them back on.
#include <boost/regex/config.hpp>
#undef BOOST_REGEX_NO_W32
#include <boost/regex.hpp>

namespace rx {

namespace {

typedef boost::basic_regex<char, boost::w32_regex_traits<char>> Engine;
typedef boost::match_results<const char*> EngineMatch;

static_assert(sizeof(void*) != 4 || sizeof(Engine) == 8, "the pattern object is 8 bytes on the target");
static_assert(kOptionIgnoreCase == static_cast<uint32_t>(boost::regex_constants::icase), "icase is bit 20");
static_assert(static_cast<uint32_t>(boost::regex_constants::perl) == 0, "Perl syntax is option 0");
static_assert(kOptionSingleLine == static_cast<uint32_t>(boost::regex_constants::match_single_line),
              "match_single_line is 0x100000");

rt::LibraryLink gLink;

// --- argument access -----------------------------------------------------

template <class T>
T* AddressOf(uint32_t word) { return reinterpret_cast<T*>(static_cast<uintptr_t>(word)); }

// The object record's value is the address of the object's block.
template <class Block>
Block* ObjectBlock(int32_t count, const rt::ArgRecord* args) {
    if (count < 1 || !args) return nullptr;
    return AddressOf<Block>(args[0].lo);
}

bool Given(int32_t count, const rt::ArgRecord* args, int32_t i) { return i < count && args[i].type != 0; }

// A by-reference integer carries the address of the caller's variable.
int32_t IntArg(const rt::ArgRecord& a) {
    if (a.type & rt::kByRef) {
        const int32_t* var = AddressOf<const int32_t>(a.lo);
        return var ? *var : 0;
    }
    return static_cast<int32_t>(a.lo);
}

// Texts are never null from the program's code; null still reads as empty.
const char* TextArg(const rt::ArgRecord& a) {
    const char* s = AddressOf<const char>(a.lo);
    if (s && (a.type & rt::kByRef)) s = *AddressOf<const char* const>(a.lo);
    return s ? s : "";
}

void SetResult(rt::ArgRecord* result, uint32_t value) {
    if (result) result->lo = value;
}

void SetResult(rt::ArgRecord* result, const void* p) {
    SetResult(result, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)));
}

// --- search ---------------------------------------------------------------

// The byte range a search covers, or none when the start or length put it
// outside the text.
struct Range {
    bool valid;
    size_t begin;
    size_t end;
};

Range ChooseRange(size_t n, int32_t start, bool lengthGiven, int32_t length) {
    // 64-bit sums: a huge length must not wrap around into the text.
    const int64_t s = start;
    const int64_t len = lengthGiven ? length : static_cast<int64_t>(n) - s + 1;
    if (s < 1 || s > static_cast<int64_t>(n) || s + len > static_cast<int64_t>(n) + 1) return Range{false, 0, 0};
    const size_t begin = static_cast<size_t>(s - 1);
    return Range{true, begin, len > 0 ? begin + static_cast<size_t>(len) : begin};
}

// Runs the one search and fills `out` only when it completes, so an engine
// error leaves the list empty.
void RunSearch(const Engine& engine, uint32_t multiLine, const char* text, size_t n, int32_t start, bool lengthGiven,
               int32_t length, SubMatchList& out) {
    const Range r = ChooseRange(n, start, lengthGiven, length);
    if (!r.valid) return;
    // A search with no compiled pattern would be rejected by the engine
    // anyway; asking first keeps it out of the engine's debug assertions.
    if (engine.empty() || engine.status() != 0) return;

    boost::regex_constants::match_flag_type flags = boost::regex_constants::match_default;
    if (multiLine == 0) flags |= boost::regex_constants::match_single_line;

    // No match_prev_avail: the range start is the input start for ^, \A and \b.
    EngineMatch m;
    if (!boost::regex_search(text + r.begin, text + r.end, m, engine, flags)) return;

    SubMatchList found;
    found.reserve(m.size());
    for (size_t i = 0; i < m.size(); i++) {
        const auto& sub = m[static_cast<int>(i)];
        if (sub.matched) {
            found.push_back(SubMatch{static_cast<int32_t>(sub.first - text), static_cast<int32_t>(sub.length()), 1});
        } else {
            found.push_back(SubMatch{-1, 0, 0});
        }
    }
    out.swap(found);
}

// --- the methods --------------------------------------------------------

// Create(regex, pattern, optional case-sensitive) -> logical.
void MethodCreate(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    SetResult(result, 0u);
    RegexBlock* block = ObjectBlock<RegexBlock>(count, args);
    if (!block || !block->engine || count < 2) return;
    const char* pattern = TextArg(args[1]);
    const bool caseSensitive = !Given(count, args, 2) || IntArg(args[2]) != 0;

    Engine::flag_type options = boost::regex_constants::perl;
    if (!caseSensitive) options |= boost::regex_constants::icase;
    try {
        // Compile aside so that a refused pattern leaves the old one in force.
        Engine compiled(pattern, pattern + std::strlen(pattern), options);
        static_cast<Engine*>(block->engine)->swap(compiled);
        SetResult(result, 1u);
    } catch (...) {
    }
}

// Search(regex, text, start, optional length) -> new SearchResult block.
void MethodSearch(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    SetResult(result, 0u);
    SearchResultBlock* out = static_cast<SearchResultBlock*>(gLink.Alloc(sizeof(SearchResultBlock)));
    if (!out) return;  // only before the runtime callback has been delivered
    out->list = new (std::nothrow) SubMatchList();
    SetResult(result, out);

    const RegexBlock* block = ObjectBlock<const RegexBlock>(count, args);
    if (!out->list || !block || !block->engine || count < 3) return;
    const Engine& engine = *static_cast<const Engine*>(block->engine);
    try {
        // A private copy: the engine works on bytes the caller cannot change
        // under it, and n is fixed once.
        const std::string text(TextArg(args[1]));
        const bool lengthGiven = Given(count, args, 3);
        RunSearch(engine, block->multiLine, text.c_str(), text.size(), IntArg(args[2]),
                  lengthGiven, lengthGiven ? IntArg(args[3]) : 0, *out->list);
    } catch (...) {
        // Engine limits, bad patterns and exhausted memory: the list stays empty.
    }
}

// GetSubMatchText(SearchResult, text, index, optional by-reference start) -> text.
void MethodGetSubMatchText(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    SetResult(result, 0u);
    const SearchResultBlock* block = ObjectBlock<const SearchResultBlock>(count, args);
    if (!block || !block->list || block->list->empty() || count < 3) return;
    const SubMatchList& list = *block->list;

    const int32_t index = IntArg(args[2]);
    if (index < 0 || static_cast<size_t>(index) >= list.size()) return;
    const SubMatch& sub = list[static_cast<size_t>(index)];
    if (!sub.matched) return;

    if (Given(count, args, 3)) {
        int32_t* var = AddressOf<int32_t>(args[3].lo);
        if (var) *var = sub.offset;
    }

    // Copy only what lies within the given text: a shorter text than the one
    // searched gives the part that exists, or null.
    const char* text = TextArg(args[1]);
    const size_t n = std::strlen(text);
    if (sub.offset < 0 || static_cast<size_t>(sub.offset) >= n || sub.length <= 0) return;
    const size_t avail = n - static_cast<size_t>(sub.offset);
    const size_t take = static_cast<size_t>(sub.length) < avail ? static_cast<size_t>(sub.length) : avail;
    SetResult(result, gLink.CopyCountedText(text + sub.offset, static_cast<int32_t>(take)));
}

void MethodConstructRegex(rt::ArgRecord*, int32_t count, rt::ArgRecord* args) {
    RegexBlock* block = ObjectBlock<RegexBlock>(count, args);
    if (!block) return;
    block->engine = new (std::nothrow) Engine();
    block->multiLine = 1;
}

void MethodDestroyRegex(rt::ArgRecord*, int32_t count, rt::ArgRecord* args) {
    RegexBlock* block = ObjectBlock<RegexBlock>(count, args);
    if (!block) return;
    delete static_cast<Engine*>(block->engine);
    block->engine = nullptr;
}

void MethodConstructSearchResult(rt::ArgRecord*, int32_t count, rt::ArgRecord* args) {
    SearchResultBlock* block = ObjectBlock<SearchResultBlock>(count, args);
    if (!block) return;
    block->list = new (std::nothrow) SubMatchList();
}

void MethodDestroySearchResult(rt::ArgRecord*, int32_t count, rt::ArgRecord* args) {
    SearchResultBlock* block = ObjectBlock<SearchResultBlock>(count, args);
    if (!block) return;
    delete block->list;
    block->list = nullptr;
}

} // namespace

intptr_t RegexNotify(int32_t code, intptr_t v1, intptr_t) {
    if (code != rt::kCbStart) return -1;
    gLink.Attach(reinterpret_cast<rt::RuntimeCallback>(v1));
    return 0;
}

const rt::UnitTypeRecord kRegexTypes[2] = {
    {"正则表达式", "regex", "", 0, 0, 0, nullptr, nullptr, 0, nullptr, 0, nullptr, 0, 0},
    {"搜索结果", "SearchResult", "", 0, 0, 0, nullptr, nullptr, 0, nullptr, 0, nullptr, 0, 0},
};

const rt::CommandFn kRegexMethods[7] = {
    MethodCreate,
    MethodSearch,
    MethodDestroySearchResult,
    MethodGetSubMatchText,
    MethodConstructRegex,
    MethodConstructSearchResult,
    MethodDestroyRegex,
};

} // namespace rx
