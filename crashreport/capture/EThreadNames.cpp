#include "crashreport/capture/EThreadNames.h"

#include <atomic>
#include <cstring>
#include <thread>

#include "framework/SysUtils.h"

namespace {

struct TNamedThread {
    uint32_t threadId;
    char name[ThreadNameLimit + 1];
};

TNamedThread names[ThreadNameSlots];
size_t nextVictim = 0;
std::atomic_flag busy = ATOMIC_FLAG_INIT;

// Writers may wait; a reader gives up after a while rather than hang on a suspended writer.
bool Enter(bool patient)
{
    for (int tries = 0; busy.test_and_set(std::memory_order_acquire); ++tries) {
        if (!patient && tries > 2000) return false;
        std::this_thread::yield();
    }
    return true;
}

void Leave()
{
    busy.clear(std::memory_order_release);
}

TNamedThread* Find(uint32_t threadId)
{
    for (TNamedThread& n : names)
        if (n.threadId == threadId) return &n;
    return nullptr;
}

}  // namespace

void NoteThreadName(uint32_t threadId, std::string_view name)
{
    if (threadId == 0) return;
    if (name.empty()) {
        ForgetThreadName(threadId);
        return;
    }
    Enter(true);
    TNamedThread* slot = Find(threadId);
    if (!slot) slot = Find(0);
    if (!slot) {
        slot = &names[nextVictim];
        nextVictim = (nextVictim + 1) % ThreadNameSlots;
    }
    // Never half of a double-byte character.
    size_t size = 0;
    while (size < name.size() && size + GbkCharLength(name, size) <= ThreadNameLimit) size += GbkCharLength(name, size);
    std::memcpy(slot->name, name.data(), size);
    slot->name[size] = '\0';
    slot->threadId = threadId;
    Leave();
}

void ForgetThreadName(uint32_t threadId)
{
    if (threadId == 0) return;
    Enter(true);
    if (TNamedThread* slot = Find(threadId)) *slot = {};
    Leave();
}

std::string ThreadNameOf(uint32_t threadId)
{
    if (threadId == 0 || !Enter(false)) return {};
    char copy[ThreadNameLimit + 1] = {};
    if (const TNamedThread* slot = Find(threadId)) std::memcpy(copy, slot->name, sizeof copy);
    Leave();
    return copy;
}
