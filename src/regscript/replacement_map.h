#pragma once
// The variables of one script run: ordered name/value pairs, looked up without regard to case,
// the first match winning.

#include <windows.h>

// Both strings come from the COM task allocator; the record from the module heaps.
struct ReplacementPair {
    WCHAR* name;
    WCHAR* value;
};

class ReplacementMap {
public:
    // Starts with room for 10 pairs. If even that cannot be had, the map starts empty and the
    // first Add asks again.
    ReplacementMap() noexcept;
    ~ReplacementMap();
    ReplacementMap(const ReplacementMap&) = delete;
    ReplacementMap& operator=(const ReplacementMap&) = delete;

    // Copies both strings into a new pair at the end: S_OK or E_OUTOFMEMORY, in which case the
    // map is as it was.
    HRESULT Add(const WCHAR* name, const WCHAR* value);

    // The value of the first pair whose name equals name without regard to case, or null.
    const WCHAR* Lookup(const WCHAR* name) const;

    // Frees every pair (value, name, record); the room for pairs stays.
    void Clear();

    int Count() const noexcept { return count_; }
    int Capacity() const noexcept { return capacity_; }

private:
    ReplacementPair** items_;
    int count_;
    int capacity_;
};
