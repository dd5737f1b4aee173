#pragma once
// A process-wide replaceable value — a hook, a handler, a factory — swapped and read under a
// lock, so a thread that fetches it always gets a whole copy to call outside the lock.

#include <mutex>
#include <utility>

template <class T>
class TLockedValue {
public:
    // Stores value and returns the previous one.
    T Exchange(T value)
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::swap(value_, value);
        return value;
    }
    T Get() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return value_;
    }

private:
    mutable std::mutex lock_;
    T value_{};
};
