#pragma once
// The threads whose exceptions are not handled: a fixed table of thread ids, so that asking
// it while an exception is handled allocates nothing. No Win32 here: the caller holds the lock.

#include <cstdint>

class TExcludedThreadsList {
public:
    static constexpr int Capacity = 64;
    // False when the table is full; an id already there stays once.
    bool Add(uint32_t threadId);
    void Remove(uint32_t threadId);
    bool Contains(uint32_t threadId) const;
    void Clear() { count_ = 0; }
    int Count() const { return count_; }

private:
    uint32_t ids_[Capacity] = {};
    int count_ = 0;
};
