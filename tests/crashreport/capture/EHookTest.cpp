#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <process.h>
#include <string>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EHook.h"
#include "crashreport/capture/EUtilsWin.h"

namespace hooktest {

struct TShape {
    virtual int Area() const;
    virtual int Sides() const;
};
struct TSquare : TShape {
    int Area() const override;
    int Sides() const override;
};
__attribute__((noinline)) int TShape::Area() const { return 0; }
__attribute__((noinline)) int TShape::Sides() const { return 0; }
__attribute__((noinline)) int TSquare::Area() const { return 16; }
__attribute__((noinline)) int TSquare::Sides() const { return 4; }

// Calls through the table: the classes are open to other units, so the call stays virtual.
__attribute__((noinline)) int CallArea(const TShape* shape) { return shape->Area(); }
__attribute__((noinline)) int CallSides(const TShape* shape) { return shape->Sides(); }

}  // namespace hooktest

namespace {

using namespace hooktest;

// Hand-made code in a page of its own: runs target with EAX = value and ZF = (value == 0).
//   mov ecx,[esp+4]; mov eax,[esp+8]; test eax,eax; jmp ecx
const uint8_t kCallWithEax[] = {0x8B, 0x4C, 0x24, 0x04, 0x8B, 0x44, 0x24, 0x08, 0x85, 0xC0, 0xFF, 0xE1};
// jz +10; add eax,7; ret; ...; [+12] mov eax,42; ret
const uint8_t kLeadingJz[] = {0x74, 0x0A, 0x83, 0xC0, 0x07, 0xC3, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90,
                              0xB8, 0x2A, 0x00, 0x00, 0x00, 0xC3};
const uint8_t kReturn99[] = {0xB8, 0x63, 0x00, 0x00, 0x00, 0xC3};
const uint8_t kReturn77[] = {0xB8, 0x4D, 0x00, 0x00, 0x00, 0xC3};
const uint8_t kReturn5[] = {0xB8, 0x05, 0x00, 0x00, 0x00, 0xC3};
// nop; then an opcode of the three-byte map the decoder doesn't measure
const uint8_t kUndecodable[] = {0x90, 0x0F, 0x38, 0x00, 0xC0, 0xC3};

class TCodePage {
public:
    TCodePage() : base_(static_cast<uint8_t*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE))) {}
    ~TCodePage() { VirtualFree(base_, 0, MEM_RELEASE); }
    uint8_t* Put(size_t offset, const uint8_t* code, size_t size)
    {
        std::memcpy(base_ + offset, code, size);
        FlushInstructionCache(GetCurrentProcess(), base_ + offset, size);
        return base_ + offset;
    }
    int Call(void* target, int eax) const
    {
        auto call = reinterpret_cast<int(__cdecl*)(void*, int)>(base_);
        return call(target, eax);
    }

private:
    uint8_t* base_;
};

TEST(Trampolines, LeadingShortJumpGetsOneStubAndReachesItsTarget)
{
    TCodePage page;
    page.Put(0, kCallWithEax, sizeof kCallWithEax);
    uint8_t* proc = page.Put(0x100, kLeadingJz, sizeof kLeadingJz);
    uint8_t* replacement = page.Put(0x200, kReturn99, sizeof kReturn99);
    ASSERT_EQ(42, page.Call(proc, 0));
    ASSERT_EQ(8, page.Call(proc, 1));

    auto* tramp = static_cast<uint8_t*>(HookProcedure(proc, replacement));
    ASSERT_NE(nullptr, tramp);
    EXPECT_EQ(99, page.Call(proc, 0)) << "the procedure jumps to the replacement";
    EXPECT_EQ(42, page.Call(tramp, 0)) << "the jump taken reaches its own target";
    EXPECT_EQ(8, page.Call(tramp, 1)) << "not taken: the moved add, then back into the procedure";
    // Moved bytes (jz, add), the jump back, one stub; the jz now points at the stub.
    EXPECT_EQ(0x74, tramp[0]);
    EXPECT_EQ(8, tramp[1]);
    EXPECT_EQ(0xE9, tramp[5]);
    EXPECT_EQ(0xE9, tramp[10]);
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(tramp, &info, sizeof info);
    EXPECT_EQ(static_cast<void*>(tramp), info.AllocationBase) << "a page of its own";
    EXPECT_EQ(static_cast<DWORD>(PAGE_EXECUTE_READWRITE), info.Protect);

    EXPECT_TRUE(UnhookProcedure(tramp));
    EXPECT_EQ(0, std::memcmp(proc, kLeadingJz, sizeof kLeadingJz));
    EXPECT_EQ(42, page.Call(proc, 0));
    EXPECT_FALSE(UnhookProcedure(proc));
}

TEST(Trampolines, LeadingCallKeepsItsTargetAndHookingTwicePatchesOnce)
{
    TCodePage page;
    page.Put(0, kCallWithEax, sizeof kCallWithEax);
    uint8_t* callee = page.Put(0x400, kReturn5, sizeof kReturn5);
    // call callee; add eax,1; ret
    uint8_t leadingCall[] = {0xE8, 0, 0, 0, 0, 0x83, 0xC0, 0x01, 0xC3};
    const int32_t rel = static_cast<int32_t>(callee - (page.Put(0x300, leadingCall, sizeof leadingCall) + 5));
    std::memcpy(leadingCall + 1, &rel, 4);
    uint8_t* proc = page.Put(0x300, leadingCall, sizeof leadingCall);
    uint8_t* first = page.Put(0x200, kReturn99, sizeof kReturn99);
    uint8_t* second = page.Put(0x280, kReturn77, sizeof kReturn77);
    ASSERT_EQ(6, page.Call(proc, 0));

    void* tramp = HookProcedure(proc, first);
    uint8_t patched[5];
    std::memcpy(patched, proc, 5);
    EXPECT_EQ(tramp, HookProcedure(proc, second)) << "the same trampoline";
    EXPECT_EQ(0, std::memcmp(patched, proc, 5)) << "not patched again";
    EXPECT_EQ(99, page.Call(proc, 0));
    EXPECT_EQ(6, page.Call(tramp, 0)) << "the moved call still reaches its callee";

    FinalizeHookUnit();
    EXPECT_EQ(0, std::memcmp(proc, leadingCall, sizeof leadingCall)) << "undone at EHook.Done";
    EXPECT_EQ(6, page.Call(proc, 0));
}

TEST(Trampolines, UndecodableMovedBytesRaise)
{
    TCodePage page;
    uint8_t* proc = page.Put(0x100, kUndecodable, sizeof kUndecodable);
    uint8_t* replacement = page.Put(0x200, kReturn99, sizeof kReturn99);
    EXPECT_THROW(HookProcedure(proc, replacement), EHookingError);
    EXPECT_EQ(0, std::memcmp(proc, kUndecodable, sizeof kUndecodable)) << "left as it was";
    try {
        CheckedHookProcedure(proc, replacement, "kernel32.dll.Sample");
        ADD_FAILURE() << "no error";
    } catch (const EHookingError& e) {
        EXPECT_EQ("Cannot hook the procedure \"kernel32.dll.Sample\".", e.Message());
    }
    try {
        CheckedHookProcedure(nullptr, replacement, "Nothing");
        ADD_FAILURE() << "no error";
    } catch (const EProcNull& e) {
        EXPECT_EQ("Cannot hook a null procedure (\"Nothing\").", e.Message());
    }
}

// The import address table slot of name from dll in module, found by the name it imports.
void** ImportSlot(HMODULE module, const char* dll, const char* name)
{
    auto* base = reinterpret_cast<uint8_t*>(module);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + d->Name), dll) != 0 || !d->OriginalFirstThunk)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<void**>(base + d->FirstThunk);
        for (size_t i = 0; names[i].u1.AddressOfData; ++i) {
            if (IMAGE_SNAP_BY_ORDINAL32(names[i].u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), name) == 0)
                return slots + i;
        }
    }
    return nullptr;
}

std::atomic<int> createThreadCalls{0};
decltype(&CreateThread) realCreateThread = nullptr;

HANDLE WINAPI CountingCreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                                   LPVOID parameter, DWORD flags, LPDWORD id)
{
    ++createThreadCalls;
    return realCreateThread(attributes, stack, start, parameter, flags, id);
}

DWORD WINAPI Nothing(LPVOID) { return 0; }
unsigned __stdcall NothingEx(void*) { return 0; }

TEST(ImportPatching, CreateThreadInTheProgramAndMsvcrtReachesTheReplacement)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    HMODULE msvcrt = GetModuleHandleW(L"msvcrt.dll");
    ASSERT_NE(nullptr, msvcrt);
    void* real = reinterpret_cast<void*>(GetProcAddress(kernel, "CreateThread"));
    realCreateThread = reinterpret_cast<decltype(&CreateThread)>(real);
    void** programSlot = ImportSlot(GetModuleHandleW(nullptr), "kernel32.dll", "CreateThread");
    void** msvcrtSlot = ImportSlot(msvcrt, "kernel32.dll", "CreateThread");
    ASSERT_NE(nullptr, programSlot);
    ASSERT_NE(nullptr, msvcrtSlot);
    ASSERT_EQ(real, *programSlot);
    ASSERT_EQ(real, *msvcrtSlot);

    void* imported = nullptr;
    ASSERT_TRUE(HookImportInModules({ModuleFileNameOf(nullptr), "msvcrt.dll", "no-such-module.dll"}, "kernel32.dll",
                                    false, &imported, reinterpret_cast<void*>(&CountingCreateThread), "CreateThread"));
    EXPECT_EQ(real, imported);
    EXPECT_EQ(reinterpret_cast<void*>(&CountingCreateThread), *programSlot);
    EXPECT_EQ(reinterpret_cast<void*>(&CountingCreateThread), *msvcrtSlot);

    createThreadCalls = 0;
    HANDLE direct = CreateThread(nullptr, 0, &Nothing, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, direct);
    EXPECT_EQ(1, createThreadCalls.load()) << "the program's own call";
    using TBeginThreadEx = uintptr_t(__cdecl*)(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned, unsigned*);
    auto beginThreadEx = reinterpret_cast<TBeginThreadEx>(reinterpret_cast<void*>(GetProcAddress(msvcrt, "_beginthreadex")));
    ASSERT_NE(nullptr, beginThreadEx);
    HANDLE viaRuntime = reinterpret_cast<HANDLE>(beginThreadEx(nullptr, 0, &NothingEx, nullptr, 0, nullptr));
    ASSERT_NE(nullptr, viaRuntime);
    EXPECT_EQ(2, createThreadCalls.load()) << "msvcrt's call";
    WaitForSingleObject(direct, 5000);
    WaitForSingleObject(viaRuntime, 5000);
    CloseHandle(direct);
    CloseHandle(viaRuntime);

    FinalizeHookUnit();
    EXPECT_EQ(real, *programSlot);
    EXPECT_EQ(real, *msvcrtSlot);
}

TEST(ImportPatching, ModulesWithoutTheImportOrSoundHeadersAreRefused)
{
    void* real = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateThread"));
    void* replacement = reinterpret_cast<void*>(&CountingCreateThread);
    HMODULE program = GetModuleHandleW(nullptr);
    try {
        PatchImportTable(program, "nosuch.dll", real, false, false, "nosuch.dll.CreateThread", replacement);
        ADD_FAILURE() << "no error";
    } catch (const EHookingError& e) {
        EXPECT_EQ("Cannot hook the procedure \"nosuch.dll.CreateThread\".", e.Message());
    }
    EXPECT_EQ(nullptr, PatchImportTable(program, "nosuch.dll", real, false, true, "nosuch.dll.CreateThread", replacement));
    EXPECT_THROW(PatchImportTable(program, "kernel32.dll", nullptr, false, true, "x", replacement), EProcNull);

    // Damaged headers in a page of their own: refused without a fault.
    auto* fake = static_cast<uint8_t*>(VirtualAlloc(nullptr, 0x2000, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(fake);
    dos->e_magic = IMAGE_DOS_SIGNATURE;
    struct {
        const char* what;
        LONG lfanew;
        DWORD sizeOfImage;
        DWORD importRva;
    } cases[] = {
        {"header offset far out", 0x7FFFFFF0, 0x2000, 0x100},
        {"header offset on the last page", 0x1FF0, 0x2000, 0x100},
        {"import directory past the image", 0x80, 0x1000, 0x1800},
        {"headers past the image", 0x80, 0x100, 0x40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::memset(fake + 0x40, 0, 0x2000 - 0x40);
        dos->e_lfanew = c.lfanew;
        if (c.lfanew < 0x1000) {
            auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(fake + c.lfanew);
            nt->Signature = IMAGE_NT_SIGNATURE;
            nt->OptionalHeader.SizeOfImage = c.sizeOfImage;
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT] = {c.importRva, 0x100};
        }
        EXPECT_EQ(nullptr, PatchImportTable(reinterpret_cast<HMODULE>(fake), "kernel32.dll", real, true, true, "x", replacement));
        EXPECT_THROW(PatchImportTable(reinterpret_cast<HMODULE>(fake), "kernel32.dll", real, true, false, "x", replacement),
                     EHookingError);
    }
    VirtualFree(fake, 0, MEM_RELEASE);
}

__attribute__((thiscall)) int FakeArea(const TShape*) { return 1234; }

TEST(VmtSlots, HookReturnsThePreviousValueNeverItsOwnReplacement)
{
    TSquare square;
    const TShape* shape = &square;
    void** vtable = *reinterpret_cast<void***>(&square);
    void* original = vtable[0];
    void* fake = reinterpret_cast<void*>(&FakeArea);

    EXPECT_EQ(original, HookVmtSlot(vtable, 0, fake));
    EXPECT_EQ(fake, vtable[0]);
    EXPECT_EQ(1234, CallArea(shape));
    EXPECT_EQ(original, HookVmtSlot(vtable, 0, fake)) << "hooked again: still the value it replaced";
    EXPECT_EQ(nullptr, HookVmtSlot(vtable, 1, vtable[1])) << "already the replacement, nothing recorded";
    EXPECT_TRUE(UnhookVmtSlot(vtable, 0));
    EXPECT_EQ(16, CallArea(shape));
    EXPECT_FALSE(UnhookVmtSlot(vtable, 0));

    EXPECT_EQ(original, HookVmtSlot(vtable, 0, fake));
    FinalizeHookUnit();
    EXPECT_EQ(original, vtable[0]) << "undone at EHook.Done";
    EXPECT_EQ(4, CallSides(shape));

    // A table outside every module is left alone.
    void* table[2] = {original, original};
    HookVmtSlot(table, 1, fake);
    EXPECT_EQ(original, table[1]);
}

TEST(ProcedureCodeLengthLive, MeasuresCodeInMemory)
{
    TCodePage page;
    const uint8_t code[] = {0xC7, 0x00, 0x05, 0x00, 0x00, 0x00, 0xC9, 0xC3};
    EXPECT_EQ(8u, LiveProcedureCodeLength(page.Put(0x100, code, sizeof code), 4096));
    // Ending on the page's last bytes without a return: the next page isn't there.
    uint8_t* end = page.Put(4096 - 2, code, 2);
    EXPECT_EQ(1u, LiveProcedureCodeLength(end, 4096));
    EXPECT_EQ(1u, LiveProcedureCodeLength(reinterpret_cast<void*>(16), 4096));
}

}  // namespace
