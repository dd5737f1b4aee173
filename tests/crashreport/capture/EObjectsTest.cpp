#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <new>
#include <thread>

#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EThreadContext.h"
#include "framework/Exception.h"

namespace objtest {

struct TBase {
    virtual ~TBase() = default;
};
struct TDerived : TBase {
    int value = 7;
};
class EMyError : public Exception {
public:
    using Exception::Exception;
};
class EAbort : public Exception {
public:
    using Exception::Exception;
};
class EExternal : public Exception {
public:
    using Exception::Exception;
};
class EAccessViolation : public EExternal {
public:
    using EExternal::EExternal;
};
struct TMixin {
    virtual ~TMixin() = default;
    int mix = 1;
};
class EMixed : public TMixin, public Exception {
public:
    EMixed() : Exception("mixed message") {}
};

}  // namespace objtest

namespace {

using namespace objtest;

// A type_info look-alike: the runtime's virtual table of real type information, then a name.
struct TFakeTypeInfo {
    const void* vtable;
    const char* name;
};

TEST(ObjectTests, FalseWithoutAFaultForWhatIsNoObject)
{
    void* reserved = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
    void* released = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    TDerived* gone = new (released) TDerived;
    ASSERT_TRUE(IsValidObject(gone));
    VirtualFree(released, 0, MEM_RELEASE);

    // A virtual table whose slot -1 points at plain data.
    static const int plainData[4] = {1, 2, 3, 4};
    static const void* fakeTable[3] = {nullptr, plainData, nullptr};
    static const void* fakeObject[1] = {&fakeTable[2]};

    // Type information that is right but for a control character in its name.
    const void* realTypeVtable = *reinterpret_cast<const void* const*>(&typeid(TBase));
    static TFakeTypeInfo badName{realTypeVtable, "6TB\x01" "ad"};
    static const void* badNameTable[3] = {nullptr, &badName, nullptr};
    static const void* badNameObject[1] = {&badNameTable[2]};
    static TFakeTypeInfo goodName{realTypeVtable, "6TGood"};
    static const void* goodNameTable[3] = {nullptr, &goodName, nullptr};
    static const void* goodNameObject[1] = {&goodNameTable[2]};

    struct {
        const char* what;
        const void* object;
        bool valid;
    } cases[] = {
        {"nullptr", nullptr, false},
        {"1", reinterpret_cast<void*>(1), false},
        {"a reserve-only page", reserved, false},
        {"an object in released pages", gone, false},
        {"a fake virtual table", fakeObject, false},
        {"a control character in the name", badNameObject, false},
        {"the same with a printable name", goodNameObject, true},
        {"a real object", new TDerived, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.valid, IsValidObject(c.object));
        EXPECT_EQ(c.valid, !ObjectClassName(c.object).empty());
        EXPECT_FALSE(ObjectInheritsFromName(c.object, "EMyError"));
        EXPECT_EQ(c.valid, IsReportableException(c.object));
    }
    delete static_cast<const TDerived*>(cases[7].object);
    EXPECT_FALSE(IsClassReference(&badName));
    EXPECT_TRUE(IsClassReference(&goodName));
    EXPECT_FALSE(IsClassReference(plainData));
    EXPECT_TRUE(IsClassReference(&typeid(TDerived)));
    VirtualFree(reserved, 0, MEM_RELEASE);
}

TEST(ObjectTests, AncestryGoesByName)
{
    TDerived derived;
    EMyError error("boom");
    EAbort quiet("quiet");
    EAccessViolation violation("av");
    EXPECT_EQ("objtest::TDerived", ObjectClassName(&derived));
    EXPECT_TRUE(ObjectInheritsFromName(&derived, " TBase "));
    EXPECT_TRUE(ObjectInheritsFromName(&derived, "objtest::tbase"));
    EXPECT_FALSE(ObjectInheritsFromName(&derived, "Exception"));
    EXPECT_TRUE(ObjectInheritsFrom(&error, typeid(Exception)));
    EXPECT_TRUE(ObjectInheritsFrom(&error, typeid(std::exception)));
    EXPECT_TRUE(ObjectInheritsFromAny(&derived, {&typeid(EMyError), &typeid(TBase)}));
    EXPECT_FALSE(ObjectInheritsFromAny(&derived, {&typeid(EMyError)}));
    EXPECT_TRUE(ClassInheritsFromName(&typeid(EAccessViolation), "EExternal"));
    EXPECT_TRUE(IsReportableException(&error));
    EXPECT_FALSE(IsReportableException(&quiet));
    EXPECT_TRUE(IsLanguageException(&error));
    EXPECT_FALSE(IsLanguageException(&violation));
}

TEST(ObjectTests, CopyIsAnOwnedSnapshot)
{
    EXPECT_EQ(nullptr, CopyObjectInstance(nullptr));
    auto* error = new EMyError("boom");
    auto copy = CopyObjectInstance(error);
    delete error;
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ("objtest::EMyError", copy->className);
    EXPECT_EQ("boom", copy->message);
    EXPECT_EQ(static_cast<const void*>(error), copy->address);
    FreeObjectCopy(copy);
    EXPECT_EQ(nullptr, copy);

    // Exception as a second base: from the whole object and from its Exception part.
    EMixed mixed;
    EXPECT_EQ("mixed message", CopyObjectInstance(&mixed)->message);
    EXPECT_EQ("mixed message", CopyObjectInstance(static_cast<Exception*>(&mixed))->message);
    EXPECT_EQ("objtest::EMixed", CopyObjectInstance(static_cast<Exception*>(&mixed))->className);
    std::runtime_error standard("standard");
    EXPECT_EQ("standard", CopyObjectInstance(&standard)->message);
    TDerived plain;
    EXPECT_EQ("", CopyObjectInstance(&plain)->message);
}

TEST(ThreadExceptionContext, OneRecordPerThreadFromTheReporterHeap)
{
    TThreadExceptionContext* mine = ThreadExceptionContext();
    ASSERT_NE(nullptr, mine);
    EXPECT_EQ(mine, ThreadExceptionContext());
    EXPECT_EQ(sizeof *mine, HeapSize(ReporterHeap(), 0, mine));

    EMyError error("boom");
    RecordObjectInThread(&error, 0x1234);
    EXPECT_STREQ("objtest::EMyError", mine->lastExceptionTypeName);
    EXPECT_EQ(0x1234u, mine->lastExceptionAddress);
    RecordObjectInThread(reinterpret_cast<void*>(1), 5);
    EXPECT_STREQ("", mine->lastExceptionTypeName);

    TThreadExceptionContext* other = nullptr;
    bool otherFresh = false;
    std::thread([&] {
        other = ThreadExceptionContext();
        otherFresh = other && other->lastExceptionAddress == 0 && other->walkStart == 0;
        ReleaseThreadExceptionContext();
    }).join();
    EXPECT_NE(nullptr, other);
    EXPECT_NE(mine, other);
    EXPECT_TRUE(otherFresh);

    CONTEXT context{};
    EXPECT_FALSE(LoadThreadContext(*mine, context));
    context.ContextFlags = CONTEXT_FULL;
    context.Eip = 0x401000;
    context.ExtendedRegisters[0] = 1;
    StoreThreadContext(*mine, context);
    CONTEXT back{};
    ASSERT_TRUE(LoadThreadContext(*mine, back));
    EXPECT_EQ(0x401000u, back.Eip);
    EXPECT_EQ(0, back.ExtendedRegisters[0]) << "only the part through SegSs is kept";
}

}  // namespace
