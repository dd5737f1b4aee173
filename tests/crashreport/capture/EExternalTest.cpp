#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <typeinfo>

#include "crashreport/capture/EExternal.h"
#include "crashreport/capture/EFilters.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/EThreadContext.h"

namespace {

EXCEPTION_RECORD Record(DWORD code, uintptr_t address, DWORD count = 0, ULONG_PTR first = 0, ULONG_PTR second = 0)
{
    EXCEPTION_RECORD record{};
    record.ExceptionCode = code;
    record.ExceptionAddress = reinterpret_cast<void*>(address);
    record.NumberParameters = count;
    record.ExceptionInformation[0] = first;
    record.ExceptionInformation[1] = second;
    return record;
}

// Makes the road's object on a thread of its own, started before another thread locks the
// process heap.
struct TMaking {
    EXCEPTION_RECORD record{};
    TRoadException e;
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~TMaking()
    {
        CloseHandle(started);
        CloseHandle(go);
        CloseHandle(done);
    }
};

DWORD WINAPI Make(void* parameter)
{
    auto& making = *static_cast<TMaking*>(parameter);
    SetEvent(making.started);
    WaitForSingleObject(making.go, INFINITE);
    making.e = ExternalRoadException(making.record);
    SetEvent(making.done);
    return 0;
}

}  // namespace

TEST(ExternalObjects, TheRoadsObjectHasItsClassAndMessageWithoutTheProcessHeap)
{
    struct Case {
        EXCEPTION_RECORD record;
        const char* className;
        const char* message;
    } cases[] = {
        {Record(EXCEPTION_ACCESS_VIOLATION, 0x0040123F, 2, 1, 0), "EAccessViolation",
         "Access violation at address 0040123F. Write of address 00000000"},
        {Record(EXCEPTION_ACCESS_VIOLATION, 0x00401000, 2, 8, 0x12345678), "EAccessViolation",
         "Access violation at address 00401000. Execution of address 12345678"},
        {Record(EXCEPTION_ACCESS_VIOLATION, 0x00401000, 2, 0, 0xFFFFFFFF), "EAccessViolation",
         "Access violation at address 00401000. Read of address FFFFFFFF"},
        {Record(EXCEPTION_ACCESS_VIOLATION, 0x7FFE0000), "EAccessViolation", "Access violation at address 7FFE0000"},
        {Record(EXCEPTION_STACK_OVERFLOW, 0x00401000), "EStackOverflow", "Stack overflow"},
        {Record(0xC0000094, 0x00401000), "EExternalException", "External exception C0000094"},
        {Record(0x0000ABCD, 0x00401000), "EExternalException", "External exception ABCD"},
    };
    // Made at the reporter's start-up: a heap made now would join the process heap's list.
    ASSERT_NE(nullptr, ReporterHeap());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(c.message, ExternalExceptionMessage(c.record));
        TMaking making;
        making.record = c.record;
        HANDLE thread = CreateThread(nullptr, 0, Make, &making, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        WaitForSingleObject(making.started, INFINITE);
        Sleep(20);
        HeapLock(GetProcessHeap());
        SetEvent(making.go);
        const DWORD waited = WaitForSingleObject(making.done, 5000);
        HeapUnlock(GetProcessHeap());
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        EXPECT_EQ(WAIT_OBJECT_0, waited) << "made without the process heap";
        const TRoadException& e = making.e;
        ASSERT_FALSE(e.Empty());
        EXPECT_FALSE(e.error) << "no runtime exception is made";
        EXPECT_EQ(c.className, ObjectClassName(e.object));
        EXPECT_EQ(c.message, ObjectMessage(e.object));
        EXPECT_TRUE(ObjectInheritsFromName(e.object, "EExternal"));
        EXPECT_EQ(c.record.ExceptionCode, static_cast<const EExternal*>(e.external.Get())->ExceptionCode());
        EXPECT_TRUE(HeapValidate(ReporterHeap(), 0, reinterpret_cast<const char*>(e.object) - 8));
    }
}

TEST(ExternalObjects, SharesEndWithTheLastAndFiltersGoByTheClass)
{
    TRoadException kept;
    const void* object = nullptr;
    {
        const TRoadException made = ExternalRoadException(Record(EXCEPTION_ACCESS_VIOLATION, 0x401000, 2, 0, 0));
        object = made.object;
        kept = made;
    }
    EXPECT_EQ(object, kept.object);
    EXPECT_EQ("EAccessViolation", ObjectClassName(kept.external.Get())) << "still alive through the copy";
    TVurazaModuleOptions options("");
    TVurazaExceptionsFilters& filters = options.ExceptionFilters();
    auto filter = std::make_unique<TExceptionFilter>();
    filter->Active = true;
    filter->ClassName = "EExternal";
    filters.Add(std::move(filter));
    EXPECT_EQ(0, filters.FindExceptionFilter(kept.type, false));
    EXPECT_EQ(-1, filters.FindExceptionFilter(&typeid(int), false));
    // The program's own handler still gets a runtime exception of the same class.
    try {
        std::rethrow_exception(MakeExternalException(Record(EXCEPTION_STACK_OVERFLOW, 0x401000)));
    } catch (const EStackOverflow& e) {
        EXPECT_EQ("Stack overflow", e.Message());
        EXPECT_STREQ("Stack overflow", e.what());
    }
}
