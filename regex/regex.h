// The regular-expression library (library 3): the `regex` and `SearchResult`
// object types and their seven methods, on Boost.Regex with the Windows
// character traits. The engine stays inside regex.cpp; callers see only the
// object blocks and the sub-match records a search leaves.
#pragma once

#include <cstdint>
#include <vector>
#include "runtime/library.h"

namespace rx {

// One entry of a search result: the whole match (entry 0) or one group.
struct SubMatch {
    int32_t offset;    // 0-based byte offset from the start of the searched text
    int32_t length;    // in bytes
    uint32_t matched;  // 0: the group took no part; offset and length mean nothing
};
static_assert(sizeof(SubMatch) == 12, "sub-match records are 12 bytes");

typedef std::vector<SubMatch> SubMatchList;

// `regex` object block (8 bytes, made and zeroed by the program's code).
struct RegexBlock {
    void* engine;        // pattern object on the library's own heap, or null
    uint32_t multiLine;  // 1 after construction; 0 makes ^ and $ see only the range ends
};

// `SearchResult` object block (4 bytes).
struct SearchResultBlock {
    SubMatchList* list;  // on the library's own heap, or null
};
static_assert(sizeof(void*) != 4 || (sizeof(RegexBlock) == 8 && sizeof(SearchResultBlock) == 4),
              "object blocks are 8 and 4 bytes on the target");

// Positions in the method table.
enum RegexMethod : int32_t {
    kMethodCreate = 0,
    kMethodSearch = 1,
    kMethodDestroySearchResult = 2,
    kMethodGetSubMatchText = 3,
    kMethodConstructRegex = 4,
    kMethodConstructSearchResult = 5,
    kMethodDestroyRegex = 6,
};

// Syntax option of the engine that Create adds when matching ignores case.
constexpr uint32_t kOptionIgnoreCase = 0x100000;
// Match option that Search adds when the multi-line flag is 0.
constexpr uint32_t kOptionSingleLine = 0x100000;

// Code 1 stores the runtime callback (value 1) and answers 0; every other
// code answers -1.
intptr_t RegexNotify(int32_t code, intptr_t v1, intptr_t v2);

extern const rt::UnitTypeRecord kRegexTypes[2];
extern const rt::CommandFn kRegexMethods[7];

} // namespace rx
