#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Thread.h"
#include "tests/support/PumpUntil.h"

namespace {

// Runs body on its own thread; body gets a way to synchronise.
class TLambdaThread : public TThread {
public:
    using Sync = std::function<void(const std::function<void()>&)>;
    explicit TLambdaThread(std::function<void(const Sync&)> body, bool* destroyed = nullptr)
        : body_(std::move(body)), destroyed_(destroyed) {}
    ~TLambdaThread() override
    {
        if (destroyed_)
            *destroyed_ = true;
    }

protected:
    void Execute() override
    {
        body_([this](const std::function<void()>& m) { Synchronize(m); });
    }

private:
    std::function<void(const Sync&)> body_;
    bool* destroyed_;
};

}  // namespace

TEST(Thread, SynchronizeRunsOnTheMainThreadFromAPlainMessageLoop)
{
    std::atomic<DWORD> ranOn{0};
    std::atomic<bool> after{false};
    bool destroyed = false;
    auto* t = new TLambdaThread(
        [&](const TLambdaThread::Sync& sync) {
            sync([&] { ranOn = GetCurrentThreadId(); });
            after = true;
        },
        &destroyed);
    t->FreeOnTerminate = true;
    t->Resume();
    ASSERT_TRUE(PumpUntil([&] { return destroyed; })) << "thread did not end and free itself";
    EXPECT_EQ(GetCurrentThreadId(), ranOn.load());
    EXPECT_EQ(MainThreadID(), GetCurrentThreadId());
    EXPECT_TRUE(after);
}

namespace {

INT_PTR CALLBACK ModalProc(HWND dlg, UINT msg, WPARAM, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        auto* start = reinterpret_cast<std::function<void(HWND)>*>(lp);
        (*start)(dlg);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

TEST(Thread, SynchronizeIsServedByAModalLoop)
{
    // A dialog template in memory: the modal loop is the system's own.
    alignas(4) WORD tmpl[32] = {};
    auto* dt = reinterpret_cast<DLGTEMPLATE*>(tmpl);
    dt->style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    dt->cx = 50;
    dt->cy = 20;
    std::atomic<bool> ranInsideModal{false};
    std::function<void(HWND)> start = [&](HWND dlg) {
        auto* t = new TLambdaThread([&, dlg](const TLambdaThread::Sync& sync) {
            sync([&, dlg] {
                ranInsideModal = IsWindow(dlg) != FALSE;
                EndDialog(dlg, 7);
            });
        });
        t->FreeOnTerminate = true;
        t->Resume();
    };
    const INT_PTR r = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dt, nullptr, ModalProc,
                                              reinterpret_cast<LPARAM>(&start));
    EXPECT_EQ(7, r) << "GetLastError=" << GetLastError();
    EXPECT_TRUE(ranInsideModal);
}

TEST(Thread, WaitForServesSynchronisationWithoutAMessageLoop)
{
    std::vector<int> order;
    TLambdaThread t([&](const TLambdaThread::Sync& sync) {
        for (int i = 0; i < 3; ++i)
            sync([&, i] { order.push_back(i); });
    });
    t.Resume();
    t.WaitFor();
    EXPECT_TRUE(t.Finished());
    EXPECT_EQ((std::vector<int>{0, 1, 2}), order);
}

TEST(Thread, RequestsAreServedInTheOrderTheyWereQueued)
{
    std::vector<int> order;
    std::vector<TLambdaThread*> threads;
    for (int i = 0; i < 6; ++i) {
        auto* t = new TLambdaThread([&, i](const TLambdaThread::Sync& sync) { sync([&, i] { order.push_back(i); }); });
        threads.push_back(t);
        t->Resume();
        // The main thread serves nothing meanwhile, so each request is queued in turn.
        const DWORD start = GetTickCount();
        while (PendingSynchronizeCount() < i + 1 && GetTickCount() - start < 5000)
            Sleep(1);
        EXPECT_EQ(i + 1, PendingSynchronizeCount());
    }
    for (auto* t : threads) {
        t->WaitFor();
        delete t;
    }
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5}), order);
}

TEST(Thread, AnExceptionInTheSynchronisedMethodReachesTheThread)
{
    std::string caught;
    TLambdaThread t([&](const TLambdaThread::Sync& sync) {
        try {
            sync([] { throw std::runtime_error("from main"); });
        } catch (const std::exception& e) {
            caught = e.what();
        }
    });
    t.Resume();
    t.WaitFor();
    EXPECT_EQ("from main", caught);
}

// What the raise hooks saw: prepare on the calling thread, caught on the main thread inside the
// method's catch with prepare's token.
struct TRaiseHookLog {
    DWORD prepareThread = 0;
    DWORD caughtThread = 0;
    void* caughtToken = nullptr;
    bool caughtInCatch = false;
    int prepares = 0;
    int caughts = 0;
} raiseHookLog;
int raiseToken = 0;

TEST(Thread, TheRaiseHooksHandAThrowingMethodOverToTheCallingThread)
{
    raiseHookLog = {};
    const TSynchronizeRaiseHooks previous = SetSynchronizeRaiseHooks(
        {[]() -> void* {
             ++raiseHookLog.prepares;
             raiseHookLog.prepareThread = GetCurrentThreadId();
             return &raiseToken;
         },
         [](void* prepared) {
             ++raiseHookLog.caughts;
             raiseHookLog.caughtThread = GetCurrentThreadId();
             raiseHookLog.caughtToken = prepared;
             raiseHookLog.caughtInCatch = std::current_exception() != nullptr;
         }});
    DWORD caller = 0;
    std::string caught;
    TLambdaThread t([&](const TLambdaThread::Sync& sync) {
        caller = GetCurrentThreadId();
        sync([] {});  // prepared, never caught
        try {
            sync([] { throw std::runtime_error("handed over"); });
        } catch (const std::exception& e) {
            caught = e.what();
        }
    });
    t.Resume();
    t.WaitFor();
    SetSynchronizeRaiseHooks(previous);
    EXPECT_EQ("handed over", caught);
    EXPECT_EQ(2, raiseHookLog.prepares);
    EXPECT_EQ(1, raiseHookLog.caughts);
    EXPECT_EQ(caller, raiseHookLog.prepareThread);
    EXPECT_EQ(MainThreadID(), raiseHookLog.caughtThread);
    EXPECT_EQ(&raiseToken, raiseHookLog.caughtToken);
    EXPECT_TRUE(raiseHookLog.caughtInCatch);
}

TEST(Thread, ANeverResumedThreadEndsWithoutRunning)
{
    bool ran = false;
    {
        TLambdaThread t([&](const TLambdaThread::Sync&) { ran = true; });
    }
    EXPECT_FALSE(ran);
}
