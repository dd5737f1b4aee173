#include "crashreport/capture/EHook.h"

#include <cstring>
#include <memory>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EInstruction.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"
#include "framework/SysUtils.h"

EProcNull::EProcNull(const std::string& name) : EHookError(Format("Cannot hook a null procedure (\"%s\").", name.c_str())) {}
EHookingError::EHookingError(const std::string& name) : EHookError(Format("Cannot hook the procedure \"%s\".", name.c_str())) {}
ESharedArea::ESharedArea(const std::string& moduleFileName)
    : EHookError(Format("Cannot hook the module \"%s\" located into the shared-area.", moduleFileName.c_str()))
{
}

namespace {

struct TImportHook {
    HMODULE module;
    std::string dllName;
    void* imported;
    void* replacement;
};

struct TVmtHook {
    void** vtable;
    void* previous;
    int slot;
};

struct TProcedureHook {
    uint8_t* procedure;
    uint8_t* trampoline;
    size_t trampolineSize;
    std::string savedBytes;
};

// Only the virtual-slot list is shared between threads.
class THookedMethodsList {
public:
    THookedMethodsList() { InitializeCriticalSection(&lock_); }
    ~THookedMethodsList()
    {
        RestoreAll();
        DeleteCriticalSection(&lock_);
    }
    void Lock() { EnterCriticalSection(&lock_); }
    void Unlock() { LeaveCriticalSection(&lock_); }
    std::vector<TVmtHook>& Items() { return items_; }
    void RestoreAll();

private:
    CRITICAL_SECTION lock_;
    std::vector<TVmtHook> items_;
};

std::vector<TImportHook> importHooks;
std::unique_ptr<THookedMethodsList> hookedMethods;
std::vector<TProcedureHook> procedureHooks;

THookedMethodsList& Methods()
{
    if (!hookedMethods)
        hookedMethods = std::make_unique<THookedMethodsList>();
    return *hookedMethods;
}

bool InsideLoadedModule(const void* address)
{
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module) && module;
}

bool WriteSlot(void** at, void* value)
{
    return InsideLoadedModule(at) && WriteMem(at, &value, sizeof value);
}

void THookedMethodsList::RestoreAll()
{
    Lock();
    while (!items_.empty()) {
        const TVmtHook hook = items_.front();
        items_.erase(items_.begin());
        WriteSlot(hook.vtable + hook.slot, hook.previous);
    }
    Unlock();
}

std::string AddressName(const void* address)
{
    return Format("%8.8X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(address)));
}

bool IsShortJump(uint8_t opcode)
{
    return (opcode >= 0x70 && opcode <= 0x7F) || (opcode >= 0xE0 && opcode <= 0xE3) || opcode == 0xEB;
}

void PutRel32(uint8_t* at, intptr_t value)
{
    const int32_t v = static_cast<int32_t>(value);
    std::memcpy(at, &v, 4);
}

int32_t GetRel32(const uint8_t* at)
{
    int32_t v;
    std::memcpy(&v, at, 4);
    return v;
}

// The PE headers of a module, every part inside its image and readable.
struct TImageView {
    const uint8_t* base = nullptr;
    uint32_t sizeOfImage = 0;
    const IMAGE_NT_HEADERS32* nt = nullptr;

    bool Contains(uint32_t rva, uint32_t size) const
    {
        return rva < sizeOfImage && size <= sizeOfImage - rva && IsReadableMemory(base + rva, size ? size : 1);
    }
};

bool OpenImage(HMODULE module, TImageView& view)
{
    const auto* base = reinterpret_cast<const uint8_t*>(module);
    if (!base || !IsReadableMemory(base, sizeof(IMAGE_DOS_HEADER)))
        return false;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 || dos->e_lfanew > 0x10000000)
        return false;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    if (!IsReadableMemory(nt, sizeof *nt) || nt->Signature != IMAGE_NT_SIGNATURE)
        return false;
    const uint32_t size = nt->OptionalHeader.SizeOfImage;
    if (static_cast<uint64_t>(dos->e_lfanew) + sizeof *nt > size)
        return false;
    view.base = base;
    view.sizeOfImage = size;
    view.nt = nt;
    return true;
}

// Length of the terminated text at rva inside the image, or npos.
size_t ImageTextLength(const TImageView& view, uint32_t rva, size_t max)
{
    for (size_t n = 0; n <= max; ++n) {
        if (!view.Contains(static_cast<uint32_t>(rva + n), 1))
            return std::string::npos;
        if (view.base[rva + n] == 0)
            return n;
    }
    return std::string::npos;
}

}  // namespace

bool WriteMem(void* address, const void* bytes, size_t count)
{
    DWORD old = 0;
    if (!VirtualProtect(address, count, PAGE_EXECUTE_READWRITE, &old))
        return false;
    std::memcpy(address, bytes, count);
    DWORD ignored = 0;
    VirtualProtect(address, count, old, &ignored);
    FlushInstructionCache(GetCurrentProcess(), address, count);
    return true;
}

bool JumpToMem(void* at, const void* target)
{
    uint8_t jump[5] = {0xE9};
    PutRel32(jump + 1, reinterpret_cast<intptr_t>(target) - (reinterpret_cast<intptr_t>(at) + 5));
    return WriteMem(at, jump, sizeof jump);
}

void* HookVmtSlot(void** vtable, int slot, void* replacement)
{
    THookedMethodsList& list = Methods();
    list.Lock();
    void* result = nullptr;
    void** at = vtable + slot;
    if (IsReadableMemory(at, sizeof *at)) {
        void* current = *at;
        if (current != replacement) {
            if (WriteSlot(at, replacement))
                list.Items().push_back({vtable, current, slot});
            result = current;
        } else {
            // Already ours: the value it replaced, never the replacement itself.
            for (const TVmtHook& h : list.Items())
                if (h.vtable == vtable && h.slot == slot)
                    result = h.previous;
        }
    }
    list.Unlock();
    return result;
}

bool UnhookVmtSlot(void** vtable, int slot)
{
    THookedMethodsList& list = Methods();
    list.Lock();
    bool found = false;
    auto& items = list.Items();
    for (auto it = items.begin(); it != items.end(); ++it) {
        if (it->vtable == vtable && it->slot == slot) {
            WriteSlot(vtable + slot, it->previous);
            items.erase(it);
            found = true;
            break;
        }
    }
    list.Unlock();
    return found;
}

void* HookProcedure(void* procedure, void* replacement)
{
    auto* proc = static_cast<uint8_t*>(procedure);
    for (const TProcedureHook& h : procedureHooks)
        if (h.procedure == proc)
            return h.trampoline;
    const std::string name = AddressName(procedure);

    // Whole instructions covering the 5 bytes of the jump.
    struct TMoved {
        size_t offset, length, prefixes;
    };
    std::vector<TMoved> moved;
    uint8_t code[5 + MaxInstructionLength] = {};
    size_t length = 0, stubs = 0;
    while (length < 5) {
        const size_t got = ReadLiveCode(nullptr, reinterpret_cast<uintptr_t>(proc + length), code + length, MaxInstructionLength);
        size_t n = 0;
        if (got == 0 || MeasureInstruction(code + length, got, n) != TInstructionMeasure::Decoded)
            throw EHookingError(name);
        const size_t prefixes = SkipInstructionPrefixes(code + length, n);
        const uint8_t op = code[length + prefixes];
        const bool twoByte = op == 0x0F;
        const uint8_t op2 = twoByte ? code[length + prefixes + 1] : 0;
        const bool relative = IsShortJump(op) || op == 0xE8 || op == 0xE9 || (twoByte && op2 >= 0x80 && op2 <= 0x8F);
        // A 16-bit displacement can't reach the trampoline.
        if (relative && std::memchr(code + length, 0x66, prefixes))
            throw EHookingError(name);
        moved.push_back({length, n, prefixes});
        length += n;
    }
    for (const TMoved& m : moved) {
        const uint8_t op = code[m.offset + m.prefixes];
        if (IsShortJump(op)) {
            const intptr_t target = static_cast<intptr_t>(m.offset + m.length) + static_cast<int8_t>(code[m.offset + m.length - 1]);
            if (target < 0 || target >= static_cast<intptr_t>(length))
                ++stubs;
        }
    }
    const size_t size = length + 5 + 5 * stubs;
    auto* tramp = static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    if (!tramp)
        throw EHookingError(name);
    std::memcpy(tramp, code, length);
    size_t stubAt = length + 5;
    for (const TMoved& m : moved) {
        const uint8_t op = code[m.offset + m.prefixes];
        const uint8_t op2 = op == 0x0F ? code[m.offset + m.prefixes + 1] : 0;
        const size_t end = m.offset + m.length;
        if (IsShortJump(op)) {
            const intptr_t rel = static_cast<intptr_t>(end) + static_cast<int8_t>(code[end - 1]);
            if (rel >= 0 && rel < static_cast<intptr_t>(length))
                continue;  // stays inside the moved bytes
            tramp[stubAt] = 0xE9;
            PutRel32(tramp + stubAt + 1, reinterpret_cast<intptr_t>(proc) + rel - reinterpret_cast<intptr_t>(tramp + stubAt + 5));
            tramp[end - 1] = static_cast<uint8_t>(stubAt - end);
            stubAt += 5;
        } else if (op == 0xE8 || op == 0xE9 || (op == 0x0F && op2 >= 0x80 && op2 <= 0x8F)) {
            const intptr_t rel = static_cast<intptr_t>(end) + GetRel32(code + end - 4);
            if (rel >= 0 && rel < static_cast<intptr_t>(length))
                continue;
            const intptr_t target = reinterpret_cast<intptr_t>(proc) + rel;
            PutRel32(tramp + end - 4, target - reinterpret_cast<intptr_t>(tramp + end));
        }
    }
    tramp[length] = 0xE9;
    PutRel32(tramp + length + 1, reinterpret_cast<intptr_t>(proc + length) - reinterpret_cast<intptr_t>(tramp + length + 5));
    FlushInstructionCache(GetCurrentProcess(), tramp, size);

    procedureHooks.push_back({proc, tramp, size, std::string(reinterpret_cast<const char*>(code), length)});
    if (!JumpToMem(proc, replacement)) {
        procedureHooks.pop_back();
        VirtualFree(tramp, 0, MEM_RELEASE);
        throw EHookingError(name);
    }
    return tramp;
}

bool UnhookProcedure(void* address)
{
    bool found = false;
    for (size_t i = procedureHooks.size(); i-- > 0;) {
        TProcedureHook& h = procedureHooks[i];
        if (h.procedure != address && h.trampoline != address)
            continue;
        WriteMem(h.procedure, h.savedBytes.data(), h.savedBytes.size());
        VirtualFree(h.trampoline, 0, MEM_RELEASE);
        procedureHooks.erase(procedureHooks.begin() + static_cast<std::ptrdiff_t>(i));
        found = true;
    }
    return found;
}

void* CheckedHookProcedure(void* procedure, void* replacement, const std::string& displayName)
{
    procedure = reinterpret_cast<void*>(ResolveImportThunk(reinterpret_cast<uintptr_t>(procedure)));
    replacement = reinterpret_cast<void*>(ResolveImportThunk(reinterpret_cast<uintptr_t>(replacement)));
    if (!procedure)
        throw EProcNull(displayName);
    if (reinterpret_cast<uintptr_t>(procedure) >= 0x80000000u && !OnNtFamily()) {
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(procedure), &module);
        throw ESharedArea(ModuleFileNameOf(module));
    }
    try {
        return HookProcedure(procedure, replacement);
    } catch (...) {
        throw EHookingError(displayName);
    }
}

void* PatchImportTable(HMODULE module, const std::string& dllName, void* oldAddress, bool keepNoRecord, bool silent,
                       const std::string& displayName, void* newAddress)
{
    const bool nt = OnNtFamily();
    if (reinterpret_cast<uintptr_t>(module) >= 0x80000000u && !nt)
        throw ESharedArea(ModuleFileNameOf(module));
    if (!oldAddress)
        throw EProcNull(displayName);
    TImageView image;
    const IMAGE_DATA_DIRECTORY* directory = nullptr;
    if (OpenImage(module, image))
        directory = &image.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory || directory->VirtualAddress == 0 || !image.Contains(directory->VirtualAddress, sizeof(IMAGE_IMPORT_DESCRIPTOR))) {
        if (!silent)
            throw EHookingError(displayName);
        return nullptr;
    }
    // On the 95 family an import may be a "push imm32; jmp" stub: matched by the pushed value.
    const auto* oldCode = static_cast<const uint8_t*>(oldAddress);
    const bool oldIsStub = !nt && IsReadableMemory(oldCode, 10) && oldCode[0] == 0x68 && oldCode[5] == 0xE9;
    int rewritten = 0;
    for (uint32_t rva = directory->VirtualAddress; image.Contains(rva, sizeof(IMAGE_IMPORT_DESCRIPTOR));
         rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.base + rva);
        if (descriptor->Name == 0)
            break;
        const size_t nameLength = ImageTextLength(image, descriptor->Name, 512);
        if (nameLength == std::string::npos)
            continue;
        const std::string name(reinterpret_cast<const char*>(image.base + descriptor->Name), nameLength);
        if (!SameText(name, dllName))
            continue;
        for (uint32_t entry = descriptor->FirstThunk; entry && image.Contains(entry, 4); entry += 4) {
            void** slot = reinterpret_cast<void**>(const_cast<uint8_t*>(image.base + entry));
            void* value = *slot;
            if (!value)
                break;
            bool match = value == oldAddress;
            if (!match && oldIsStub) {
                const auto* code = static_cast<const uint8_t*>(value);
                match = IsReadableMemory(code, 10) && code[0] == 0x68 && code[5] == 0xE9 && std::memcmp(code + 1, oldCode + 1, 4) == 0;
            }
            if (!match || !WriteMem(slot, &newAddress, sizeof newAddress))
                continue;
            ++rewritten;
            if (!keepNoRecord)
                importHooks.push_back({module, dllName, value, newAddress});
        }
    }
    if (rewritten == 0) {
        if (!silent)
            throw EHookingError(displayName);
        return nullptr;
    }
    return oldAddress;
}

bool HookImportInModules(const std::vector<std::string>& moduleNames, const std::string& dllName, bool silent,
                         void** importedAddress, void* newAddress, const std::string& procName)
{
    HMODULE dll = GetModuleHandleW(GbkToWide(dllName).c_str());
    void* imported = dll ? reinterpret_cast<void*>(GetProcAddress(dll, procName.c_str())) : nullptr;
    if (importedAddress)
        *importedAddress = imported;
    bool any = false;
    for (const std::string& moduleName : moduleNames) {
        HMODULE module = GetModuleHandleW(GbkToWide(moduleName).c_str());
        if (!module)
            continue;
        if (PatchImportTable(module, dllName, imported, false, silent, dllName + "." + procName, newAddress))
            any = true;
    }
    return any;
}

size_t ReadLiveCode(void*, uintptr_t address, uint8_t* out, size_t count)
{
    size_t got = 0;
    while (got < count) {
        MEMORY_BASIC_INFORMATION info{};
        const auto* at = reinterpret_cast<const uint8_t*>(address + got);
        if (VirtualQuery(at, &info, sizeof info) != sizeof info || !IsReadableMemory(at, 1))
            break;
        const uintptr_t end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
        if (end <= reinterpret_cast<uintptr_t>(at))
            break;
        const size_t n = std::min<size_t>(count - got, end - reinterpret_cast<uintptr_t>(at));
        // The library may be unloaded meanwhile (frozen lookups run without the loader's lock).
        SIZE_T read = 0;
        if (!ReadProcessMemory(GetCurrentProcess(), at, out + got, n, &read) || read == 0)
            break;
        got += read;
        if (read < n)
            break;
    }
    return got;
}

size_t LiveProcedureCodeLength(const void* address, size_t limit)
{
    return ProcedureCodeLength(reinterpret_cast<uintptr_t>(address), limit, &ReadLiveCode, nullptr);
}

int UserDefaultCharset()
{
    wchar_t text[16] = {};
    UINT codePage = 0;
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, text, 16))
        codePage = static_cast<UINT>(wcstoul(text, nullptr, 10));
    if (codePage == 0)
        codePage = GetACP();
    CHARSETINFO info{};
    if (TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<uintptr_t>(codePage)), &info, TCI_SRCCODEPAGE))
        return static_cast<int>(info.ciCharset);
    return DEFAULT_CHARSET;
}

namespace {

// Runs again when the program starts the foundations: the lists keep what they hold.
void HookInit()
{
    Methods();
}

void HookDone()
{
    // Imports in list order, then the virtual slots, then procedures from the last one.
    std::vector<TImportHook> imports;
    imports.swap(importHooks);
    for (const TImportHook& h : imports)
        PatchImportTable(h.module, h.dllName, h.replacement, true, true, h.dllName, h.imported);
    hookedMethods.reset();
    while (!procedureHooks.empty())
        UnhookProcedure(procedureHooks.back().procedure);
}

struct THookUnit {
    THookUnit() { InitializeHookUnit(); }
    ~THookUnit() { FinalizeHookUnit(); }
} hookUnit;

}  // namespace

void InitializeHookUnit()
{
    RunGuardedStep(&HookInit, "EHook.Init");
}

void FinalizeHookUnit()
{
    RunGuardedStep(&HookDone, "EHook.Done");
}
