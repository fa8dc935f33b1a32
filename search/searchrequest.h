// What a search is asked to do: the folders, the size bounds and the search
// types, as plain values. The window builds one from its controls, the
// headless front end from its arguments.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace kormial {

// The search types, numbered as they stand in the window's search-type list.
enum class SearchType : int { ZeroSize = 0, Duplicates = 1, SameName = 2, Portions = 3 };

class SearchTypes {
public:
    SearchTypes() = default;
    SearchTypes(std::initializer_list<SearchType> types)
    {
        for (const SearchType t : types) {
            set(t);
        }
    }
    void set(SearchType type, bool on = true)
    {
        const unsigned bit = 1u << static_cast<int>(type);
        bits_ = on ? (bits_ | bit) : (bits_ & ~bit);
    }
    bool has(SearchType type) const { return (bits_ & (1u << static_cast<int>(type))) != 0; }
    bool any() const { return bits_ != 0; }
    bool operator==(const SearchTypes&) const = default;

private:
    unsigned bits_ = 0;
};

// One row of the path list.
struct SearchEntry {
    std::string folder;   // as typed; a trailing "/" is allowed
    std::string pattern;  // wildcards, e.g. "*.*"
    bool subFolders = false;
    bool keep = false;    // the files found here are reference copies, never marked
    bool operator==(const SearchEntry&) const = default;
};

struct SearchRequest {
    std::vector<SearchEntry> entries;
    // Whole KB: a file takes part when its size in whole KB lies strictly
    // between the two; -1 is no bound.
    std::int32_t minKb = -1;
    std::int32_t maxKb = -1;
    SearchTypes types;
    // Blocks that are alike by sampling count as equal (duplicates only).
    bool tolerant = false;
    // Names and paths below each folder that the search leaves out, as
    // Exclusions takes them.
    std::vector<std::string> exclude;
};

}  // namespace kormial
