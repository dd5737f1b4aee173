#include "framework/Thread.h"

#include <process.h>

#include <deque>
#include <exception>
#include <mutex>

#include "framework/Exception.h"
#include "framework/ExceptionBoundary.h"
#include "framework/ScopedWin.h"

namespace {

// Captured by a global constructor, which runs on the thread that loads the program.
const DWORD mainThreadId = GetCurrentThreadId();

std::atomic<TThreadExecuteWrapper> executeWrapper{nullptr};

constexpr UINT kSyncMessage = WM_APP + 0x3A1;

struct SyncRequest {
    const std::function<void()>* method;
    std::exception_ptr error;
    HANDLE done;
    void (*raiseCaught)(void* prepared);
    void* raisePrepared;
};

std::atomic<void* (*)()> raisePrepare{nullptr};
std::atomic<void (*)(void*)> raiseCaught{nullptr};

std::mutex& QueueLock()
{
    static std::mutex lock;
    return lock;
}

std::deque<SyncRequest*>& Queue()
{
    static std::deque<SyncRequest*> queue;
    return queue;
}

// Set whenever a request is queued, so WaitFor on the main thread wakes up to serve it.
HANDLE SyncEvent()
{
    static HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}

LRESULT CALLBACK SyncWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kSyncMessage) {
        GuardedCall([] { CheckSynchronize(); });
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND& SyncWindowHandle()
{
    static HWND hwnd = nullptr;
    return hwnd;
}

// Created on the main thread the first time a thread object is made there; a message-only
// window belongs to its creating thread, so every message loop of that thread dispatches to it.
void EnsureSyncWindow()
{
    if (SyncWindowHandle() || GetCurrentThreadId() != mainThreadId)
        return;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = SyncWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VidudoThreadSyncWindow";
    RegisterClassW(&wc);
    SyncWindowHandle() = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                         wc.hInstance, nullptr);
}

SyncRequest* PopRequest()
{
    std::lock_guard<std::mutex> guard(QueueLock());
    if (Queue().empty())
        return nullptr;
    SyncRequest* r = Queue().front();
    Queue().pop_front();
    return r;
}

}  // namespace

DWORD MainThreadID() { return mainThreadId; }

void* ThreadObjectProcedure()
{
    return reinterpret_cast<void*>(&TThread::ThreadProc);
}

TThreadExecuteWrapper SetThreadExecuteWrapper(TThreadExecuteWrapper wrapper)
{
    return executeWrapper.exchange(wrapper);
}

TSynchronizeRaiseHooks SetSynchronizeRaiseHooks(const TSynchronizeRaiseHooks& hooks)
{
    // caught first: whoever sees the new prepare also sees its caught.
    TSynchronizeRaiseHooks previous;
    previous.caught = raiseCaught.exchange(hooks.caught);
    previous.prepare = raisePrepare.exchange(hooks.prepare);
    return previous;
}

int PendingSynchronizeCount()
{
    std::lock_guard<std::mutex> guard(QueueLock());
    return static_cast<int>(Queue().size());
}

bool CheckSynchronize()
{
    if (GetCurrentThreadId() != mainThreadId)
        return false;
    bool ran = false;
    // One at a time, and re-entrant: a method that opens a modal loop lets later ones run.
    while (SyncRequest* r = PopRequest()) {
        ran = true;
        try {
            (*r->method)();
        } catch (...) {
            r->error = std::current_exception();
            if (r->raiseCaught)
                r->raiseCaught(r->raisePrepared);
        }
        SetEvent(r->done);
    }
    return ran;
}

TThread::TThread()
{
    EnsureSyncWindow();
    SyncEvent();
    unsigned id = 0;
    handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &id));
    if (!handle_)
        throw Exception(Format("Thread creation error: %lu", GetLastError()));
    threadId_ = id;
}

TThread::~TThread()
{
    if (!handle_)
        return;
    if (GetCurrentThreadId() != threadId_ && !finished_) {
        Terminate();
        if (!started_)
            Resume();
        WaitFor();
    }
    CloseHandle(handle_);
}

void TThread::Resume()
{
    if (!handle_ || started_)
        return;
    started_ = true;
    // With FreeOnTerminate the object may be gone as soon as this returns.
    ResumeThread(handle_);
}

int TThread::WaitFor()
{
    const HANDLE thread = handle_;
    if (GetCurrentThreadId() != mainThreadId) {
        WaitForSingleObject(thread, INFINITE);
        return ReturnValue;
    }
    const HANDLE handles[2] = {thread, SyncEvent()};
    for (;;) {
        const DWORD r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0 + 1) {
            CheckSynchronize();
            continue;
        }
        break;
    }
    return ReturnValue;
}

void TThread::Synchronize(const std::function<void()>& method)
{
    if (GetCurrentThreadId() == mainThreadId) {
        method();
        return;
    }
    ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // The pair of hooks at this moment: a token prepared here goes to its own caught.
    SyncRequest request{&method, nullptr, done, nullptr, nullptr};
    if (void* (*prepare)() = raisePrepare.load()) {
        request.raiseCaught = raiseCaught.load();
        request.raisePrepared = prepare();
    }
    {
        std::lock_guard<std::mutex> guard(QueueLock());
        Queue().push_back(&request);
    }
    SetEvent(SyncEvent());
    if (HWND hwnd = SyncWindowHandle())
        PostMessageW(hwnd, kSyncMessage, 0, 0);
    WaitForSingleObject(request.done, INFINITE);
    if (request.error)
        std::rethrow_exception(request.error);
}

unsigned __stdcall TThread::ThreadProc(void* param)
{
    auto* self = static_cast<TThread*>(param);
    if (!self->terminated_)
        GuardedCall([self] {
            if (const TThreadExecuteWrapper wrapper = executeWrapper.load())
                wrapper(self, &TThread::RunExecute);
            else
                self->Execute();
        });
    const bool freeIt = self->FreeOnTerminate;
    const auto result = static_cast<unsigned>(self->ReturnValue);
    self->finished_ = true;
    if (freeIt)
        delete self;
    return result;
}
