#pragma once
// Intercepting the system's and the runtime's procedures, each way undoable: import address
// table entries, slots of a class's virtual table (the C++ ABI's), and the first bytes of a
// procedure patched with a jump, the moved bytes relocated into a trampoline in executable
// pages of its own. Hooks still in place at shut-down are undone by "EHook.Done".

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/Exception.h"

class EHookError : public Exception {
public:
    using Exception::Exception;
};
class EProcNull : public EHookError {
public:
    explicit EProcNull(const std::string& name);
};
class EHookingError : public EHookError {
public:
    explicit EHookingError(const std::string& name);
};
class ESharedArea : public EHookError {
public:
    explicit ESharedArea(const std::string& moduleFileName);
};

// Copies into code: writable and executable for the copy, protection restored, instruction
// cache flushed. False when the protection can't be changed.
bool WriteMem(void* address, const void* bytes, size_t count);
// A 5-byte relative jump at "at" to target.
bool JumpToMem(void* at, const void* target);

// Replaces slot index of a virtual table (the address objects point to) and returns the
// previous value; nullptr when the slot already held the replacement and no earlier value is
// known. Slots outside every loaded module are left alone.
void* HookVmtSlot(void** vtable, int slot, void* replacement);
bool UnhookVmtSlot(void** vtable, int slot);

// Patches the procedure to jump to replacement and returns the trampoline that runs the
// procedure's own code. A procedure hooked already gives its trampoline again. Raises
// EHookingError when an instruction among the moved bytes can't be decoded or relocated.
void* HookProcedure(void* procedure, void* replacement);
// Undoes every hook whose procedure or trampoline is address.
bool UnhookProcedure(void* address);
// As HookProcedure, through import thunks, with the errors named after displayName.
void* CheckedHookProcedure(void* procedure, void* replacement, const std::string& displayName);

// Rewrites each import address table entry of dllName in module that holds oldAddress.
// Returns oldAddress when one was rewritten, else nullptr; unless silent, raises
// EHookingError("displayName") when the module has no sound import table or nothing matched.
void* PatchImportTable(HMODULE module, const std::string& dllName, void* oldAddress, bool keepNoRecord, bool silent,
                       const std::string& displayName, void* newAddress);
// Patches procName of dllName in every loaded module of moduleNames; importedAddress gets the
// DLL's own export. True when any module was patched.
bool HookImportInModules(const std::vector<std::string>& moduleNames, const std::string& dllName, bool silent,
                         void** importedAddress, void* newAddress, const std::string& procName);

// Reads live code for the decoder: the readable run at address, up to count bytes.
size_t ReadLiveCode(void* context, uintptr_t address, uint8_t* out, size_t count);
// ProcedureCodeLength over live memory.
size_t LiveProcedureCodeLength(const void* address, size_t limit);

// Font character set of the user's default ANSI code page.
int UserDefaultCharset();

// The unit's steps "EHook.Init" and "EHook.Done"; the second undoes every hook in place.
void InitializeHookUnit();
void FinalizeHookUnit();
