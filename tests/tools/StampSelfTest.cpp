// This program is stamped at build time (StampSelf.options) and reads its own reporter data
// back the way the reporter does: the resource through FindResource, the tail from its own file.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EOptionsResource.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EStoredData.h"

const int EntryLine = __LINE__ + 1;
extern "C" __attribute__((noinline, used)) int StampEntryTarget(int v)
{
    return v * 3 + 1;
}

namespace stampcheck {

class TProbe {
public:
    __attribute__((noinline)) static int Method(int v);
};

const int MethodLine = __LINE__ + 1;
int TProbe::Method(int v)
{
    return v > 5 ? StampEntryTarget(v) : v - 1;
}

}  // namespace stampcheck

namespace {

const int FreeLine = __LINE__ + 1;
__attribute__((noinline)) int FreeProcedure(int v)
{
    return stampcheck::TProbe::Method(v) + 2;
}

// Reads a module file by offset with the system's file calls, as the module records will.
class TWin32File : public TStoredFile {
public:
    explicit TWin32File(const char* name)
        : h_(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~TWin32File() override
    {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    bool Open() const { return h_ != INVALID_HANDLE_VALUE; }
    uint64_t Size() const override
    {
        LARGE_INTEGER size{};
        return GetFileSizeEx(h_, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
    }
    bool ReadAt(uint64_t offset, void* out, size_t count) const override
    {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD read = 0;
        return SetFilePointerEx(h_, at, nullptr, FILE_BEGIN) &&
               ReadFile(h_, out, static_cast<DWORD>(count), &read, nullptr) && read == count;
    }

private:
    HANDLE h_;
};

std::string_view ModuleResource(HMODULE module)
{
    HRSRC found = FindResourceA(module, "ELDATA", MAKEINTRESOURCEA(10));
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(module, found);
    return std::string_view(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
}

uint32_t CodeOffsetOf(const void* address)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address) -
                                 reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)) - 0x1000);
}

void ExpectStampedOptions(const TVurazaModuleOptions& o)
{
    EXPECT_EQ(3, o.DialogKind());
    EXPECT_TRUE(o.LogEnabled());
    EXPECT_EQ("smtp.example.test", o.SmtpServer());
    EXPECT_EQ(2525, o.SmtpServerPort());
    EXPECT_EQ("崩溃报告", o.MailSubject());
    EXPECT_EQ(0, o.LeakFlags());
    EXPECT_EQ(15, o.FreezeTimeoutSeconds());
    EXPECT_EQ("程序出错了\r\n请重试", o.RawMessageText(5));
    EXPECT_EQ(0x51, o.SendFlags()) << "an option the file leaves alone keeps its default";
}

TEST(StampSelf, ResourceHoldsTheStampedOptionsAndEntries)
{
    const std::string_view resource = ModuleResource(GetModuleHandleA(nullptr));
    ASSERT_EQ(StoredResourceSize, resource.size()) << "GetLastError=" << GetLastError();
    ASSERT_TRUE(HasStoredDataResource(resource));
    TVurazaModuleOptions options("");
    ASSERT_TRUE(UnpackOptionsResource(resource, options));
    ExpectStampedOptions(options);

    TStoredResource stored;
    ASSERT_TRUE(ReadStoredResource(resource, stored));
    EXPECT_EQ(6101, stored.dataVersion);
    EXPECT_GT(stored.compilationDate, 45000.0);  // after 2023
    const struct {
        uint8_t id;
        const void* target;
    } entries[] = {{16, reinterpret_cast<const void*>(&StampEntryTarget)},
                   {19, reinterpret_cast<const void*>(&stampcheck::TProbe::Method)}};
    for (const auto& e : entries) {
        SCOPED_TRACE(e.id);
        uint32_t offset = 0;
        ASSERT_TRUE(FindCodeEntry(stored, e.id, offset));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)) + offset + 0x1000,
                  reinterpret_cast<uintptr_t>(e.target));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(e.target), ResourceAddressById(e.id));
    }
    uint32_t none = 0;
    EXPECT_FALSE(FindCodeEntry(stored, 11, none));
    EXPECT_EQ(0u, ResourceAddressById(11));
}

TEST(StampSelf, TailGivesOptionsAndTheProceduresOfThisFile)
{
    char name[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(nullptr, name, MAX_PATH));
    TWin32File file(name);
    ASSERT_TRUE(file.Open()) << "GetLastError=" << GetLastError();
    ASSERT_TRUE(HasStoredDataTail(file));
    TStoredTail tail;
    ASSERT_TRUE(ReadStoredDataTail(file, tail));
    EXPECT_EQ(6101, tail.dataVersion);
    TVurazaModuleOptions options("");
    LoadTailOptions(tail, options);
    ExpectStampedOptions(options);

    // This program's debug data is protected: only its password opens it.
    EXPECT_TRUE(IsProtectedDebugData(tail.debugData));
    TDebugModel model;
    EXPECT_FALSE(DecodeStoredDebugData(tail.debugData, "", model));
    ASSERT_TRUE(DecodeStoredDebugData(tail.debugData, "口令", model));
    const struct {
        const void* address;
        const char* className;
        const char* procedure;
        int line;
    } cases[] = {
        {reinterpret_cast<const void*>(&stampcheck::TProbe::Method), "stampcheck::TProbe", "Method", stampcheck::MethodLine},
        {reinterpret_cast<const void*>(&FreeProcedure), "(anonymous namespace)", "FreeProcedure", FreeLine},
        {reinterpret_cast<const void*>(&StampEntryTarget), "", "StampEntryTarget", EntryLine},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.procedure);
        TDebugLocation loc;
        ASSERT_TRUE(LookupDebugLocation(model, CodeOffsetOf(c.address), loc));
        EXPECT_EQ("StampSelfTest.cpp", loc.unitName);
        EXPECT_EQ("StampSelfTest.cpp", loc.fileName);
        EXPECT_EQ(c.className, loc.className);
        EXPECT_EQ(c.procedure, loc.procedureName);
        // The first row is the line of the name or, optimised, of the brace below it.
        EXPECT_TRUE(loc.line == static_cast<uint32_t>(c.line) || loc.line == static_cast<uint32_t>(c.line) + 1)
            << loc.line;
        EXPECT_EQ(0u, loc.lineDistance);
        // A byte further in lies in the same procedure, no line before its first.
        TDebugLocation inside;
        ASSERT_TRUE(LookupDebugLocation(model, CodeOffsetOf(c.address) + 3, inside));
        EXPECT_EQ(c.procedure, inside.procedureName);
        EXPECT_GE(inside.line, loc.line);
        EXPECT_EQ(inside.line - loc.line, inside.lineDistance);
    }
}

TEST(StampSelf, ProgramsWithoutOrWithDamagedDataHaveNoTail)
{
    const struct {
        const char* file;
        bool options;  // the resource was filled
    } cases[] = {
        {"stamp_sample_plain.exe", false},
        {"stamp_sample_damaged_size.exe", true},  // block size 0x7FFFFFFF
        {"stamp_sample_damaged_cut.exe", true},   // the file cut mid-block
        {"stamp_sample.exe", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        HMODULE module = LoadLibraryExA(c.file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module) << "GetLastError=" << GetLastError();
        const std::string_view resource = ModuleResource(module);
        EXPECT_EQ(StoredResourceSize, resource.size()) << "the placeholder is linked";
        EXPECT_EQ(c.options, HasStoredDataResource(resource));
        TStoredResource stored;
        EXPECT_EQ(c.options, ReadStoredResource(resource, stored));
        FreeLibrary(module);

        TWin32File file(c.file);
        ASSERT_TRUE(file.Open());
        const bool intact = std::string_view(c.file) == "stamp_sample.exe";
        EXPECT_EQ(intact, HasStoredDataTail(file));
        TStoredTail tail;
        EXPECT_EQ(intact, ReadStoredDataTail(file, tail));
    }
    EXPECT_GT(FreeProcedure(7), 0);  // keeps the procedures of this file alive
}

}  // namespace

namespace {

const char* answer = nullptr;
int asked = 0;
bool AnswerPassword(const TVurazaModuleInfo&, std::string& password)
{
    ++asked;
    if (!answer)
        return false;
    password = answer;
    return true;
}

}  // namespace

TEST(StampSelf, ProtectedDebugDataIsKeptOnlyWithThePasswordThatOpensIt)
{
    char name[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(nullptr, name, MAX_PATH));
    const uintptr_t self = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
    SetStoredDataPasswordProc(&AnswerPassword);
    const struct {
        const char* answer;
        bool kept;
    } cases[] = {{"口令", true}, {"wrong", false}, {nullptr, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer ? c.answer : "no answer");
        answer = c.answer;
        asked = 0;
        TVurazaModuleInfo record;
        record.Handle = self;
        record.FileName = name;
        record.Options = std::make_unique<TVurazaModuleOptionsEx>(name);
        EXPECT_TRUE(LoadModuleDebugData(record)) << "the options load either way";
        EXPECT_EQ(1, asked);
        EXPECT_EQ(c.kept, record.DebugData != nullptr);
        EXPECT_EQ(c.kept, record.DataValid);
        EXPECT_EQ(c.kept ? std::string("口令") : std::string(), record.DataKey);
    }
    SetStoredDataPasswordProc(nullptr);
}
