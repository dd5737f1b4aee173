#include "crashreport/capture/EThreadFactsWin.h"

#include <windows.h>

#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EThreadHooks.h"
#include "crashreport/capture/EThreadNames.h"
#include "framework/CodePage.h"
#include "framework/Thread.h"

namespace {

// The class of the thread object the list's record names; empty for other threads.
std::string ThreadObjectClass(uint32_t threadId)
{
    TVurazaThreadsList* list = VurazaThreadsList();
    if (!list || !list->TryBeginRead()) return {};
    const TVurazaThreadRecord* record = list->Item(list->FindById(threadId));
    const void* object = record ? record->threadObject : nullptr;
    list->EndRead();
    return object && IsValidObject(object) ? ObjectClassName(object) : std::string();
}

using TGetThreadDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);

// The description a thread was given with SetThreadDescription, where the system has it.
std::string ThreadDescription(HANDLE thread)
{
    static const auto get = reinterpret_cast<TGetThreadDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    PWSTR text = nullptr;
    if (!get || !thread || FAILED(get(thread, &text)) || !text) return {};
    std::string name = WideToGbk(text);
    LocalFree(text);
    return name;
}

}  // namespace

TThreadHeaderFacts SystemThreadFacts(uint32_t threadId, uint32_t exceptionThreadId)
{
    TThreadHeaderFacts facts;
    facts.ThreadId = threadId;
    facts.IsExceptionThread = threadId == exceptionThreadId;
    facts.IsMainThread = threadId == MainThreadID();
    facts.ThreadClassName = ThreadObjectClass(threadId);
    facts.ThreadName = ThreadNameOf(threadId);
    const bool own = threadId == GetCurrentThreadId();
    HANDLE thread = own ? GetCurrentThread() : OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (thread) {
        const int priority = GetThreadPriority(thread);
        if (priority != THREAD_PRIORITY_ERROR_RETURN) facts.Priority = std::to_string(priority);
        if (facts.ThreadName.empty()) facts.ThreadName = ThreadDescription(thread);
        if (!own) CloseHandle(thread);
    }
    return facts;
}
