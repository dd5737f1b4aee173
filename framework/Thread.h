#pragma once
// The framework's thread class: one thread procedure for every thread object, created
// suspended, and Synchronize, which runs a method on the main thread. Synchronisation requests
// wait in one FIFO queue and are served by any message loop of the main thread (modal loops and
// message boxes included, through a message to a hidden window) and by WaitFor on the main thread.
// The hidden window is made with the first thread object created on the main thread.

#include <windows.h>

#include <atomic>
#include <functional>

class TThread {
public:
    // Always suspended: the derived constructor must finish before Execute runs. Raises
    // Exception when the system refuses the thread.
    TThread();
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Resume();
    // Asks Execute to stop; a thread ended before it ever ran skips Execute.
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    bool Finished() const { return finished_; }
    // Waits for the end and returns ReturnValue. On the main thread it keeps serving
    // synchronisation requests meanwhile.
    int WaitFor();

    // The object deletes itself when Execute ends; it must not be touched after Resume.
    bool FreeOnTerminate = false;
    HANDLE Handle() const { return handle_; }
    DWORD ThreadID() const { return threadId_; }

protected:
    virtual void Execute() = 0;
    // Runs method on the main thread and waits for it; an exception it raises is raised again
    // here. On the main thread it runs at once.
    void Synchronize(const std::function<void()>& method);
    int ReturnValue = 0;

private:
    friend void* ThreadObjectProcedure();
    static unsigned __stdcall ThreadProc(void* param);
    static void RunExecute(TThread* thread) { thread->Execute(); }

    HANDLE handle_ = nullptr;
    DWORD threadId_ = 0;
    std::atomic<bool> terminated_ = false;
    std::atomic<bool> finished_ = false;
    bool started_ = false;
};

// The procedure every thread object's thread starts in, and a wrapper around Execute that the
// crash reporter sets (it must call execute(thread)); nullptr runs Execute directly.
void* ThreadObjectProcedure();
using TThreadExecuteWrapper = void (*)(TThread* thread, void (*execute)(TThread*));
TThreadExecuteWrapper SetThreadExecuteWrapper(TThreadExecuteWrapper wrapper);

// Hooks the crash reporter sets so that a synchronised method's exception, raised again in the
// calling thread, is reported as thrown in the method: prepare runs on the calling thread before
// its request is queued; caught gets what prepare returned, on the main thread inside the catch
// of the method's exception, while the calling thread waits.
struct TSynchronizeRaiseHooks {
    void* (*prepare)() = nullptr;
    void (*caught)(void* prepared) = nullptr;
};
TSynchronizeRaiseHooks SetSynchronizeRaiseHooks(const TSynchronizeRaiseHooks& hooks);

// The thread that loaded the program (the one that runs the message loop).
DWORD MainThreadID();

// Runs every queued synchronisation request, oldest first; returns whether it ran any.
// Main thread only; a call from another thread does nothing.
bool CheckSynchronize();

// Requests queued and not yet taken up by the main thread.
int PendingSynchronizeCount();
