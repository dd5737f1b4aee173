#include "crashreport/capture/EExcludedThreads.h"

bool TExcludedThreadsList::Add(uint32_t threadId)
{
    if (Contains(threadId))
        return true;
    if (count_ >= Capacity)
        return false;
    ids_[count_++] = threadId;
    return true;
}

void TExcludedThreadsList::Remove(uint32_t threadId)
{
    for (int i = 0; i < count_; ++i)
        if (ids_[i] == threadId) {
            ids_[i] = ids_[--count_];
            return;
        }
}

bool TExcludedThreadsList::Contains(uint32_t threadId) const
{
    for (int i = 0; i < count_; ++i)
        if (ids_[i] == threadId)
            return true;
    return false;
}
