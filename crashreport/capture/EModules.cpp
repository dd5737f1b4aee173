#include "crashreport/capture/EModules.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <vector>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EOptionsResource.h"
#include "crashreport/capture/EStoredData.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"
#include "framework/Exception.h"
#include "framework/NeverDestroyed.h"

namespace {

// Reached by the leak report after every static destructor.
TVurazaModulesList& Modules()
{
    static TNeverDestroyed<TVurazaModulesList> list;
    return list.Get();
}
bool refreshing = false;
std::atomic<bool> frozen{false};
uintptr_t recordInMaking = 0;  // FindModuleRecord is adding this module's record
DWORD recordInMakingThread = 0;

// The list's guard: the number of readers, or -1 while a writer holds it. A reader waits only
// while a writer holds it, never for one that waits; a writer waits a bounded time, as the
// thread that writes may be reading further up its own stack.
std::atomic<int32_t> listUsers{0};

void EnterRead()
{
    for (unsigned spin = 0;; ++spin) {
        int32_t users = listUsers.load(std::memory_order_relaxed);
        if (users >= 0 && listUsers.compare_exchange_weak(users, users + 1, std::memory_order_acquire))
            return;
        if (spin > 64)
            Sleep(0);
    }
}

void LeaveRead()
{
    listUsers.fetch_sub(1, std::memory_order_release);
}

bool EnterWrite(unsigned milliseconds)
{
    const DWORD start = GetTickCount();
    for (unsigned spin = 0;; ++spin) {
        int32_t idle = 0;
        if (listUsers.compare_exchange_weak(idle, -1, std::memory_order_acquire))
            return true;
        if (spin > 64) {
            if (GetTickCount() - start >= milliseconds)
                return false;
            Sleep(spin > 256 ? 1 : 0);
        }
    }
}

void LeaveWrite()
{
    listUsers.store(0, std::memory_order_release);
}

struct TWriteScope {
    explicit TWriteScope(unsigned milliseconds = 2000) : held(EnterWrite(milliseconds)) {}
    ~TWriteScope()
    {
        if (held)
            LeaveWrite();
    }
    TWriteScope(const TWriteScope&) = delete;
    TWriteScope& operator=(const TWriteScope&) = delete;
    const bool held;
};
TModuleRecordPreparer preparer = nullptr;
TStoredDataPasswordProc passwordProc = nullptr;

// Records made in advance for modules first met while the records are frozen: their file-name
// buffers are reserved, so filling one allocates nothing.
constexpr size_t spareRecordCount = 8;
constexpr size_t fileNameCapacity = 2 * MAX_PATH + 2;
TVurazaModuleInfo* spareRecords[spareRecordCount] = {};
bool sparesWanted = false;  // PrepareModuleRecords made them: spares used while frozen come back

void RefillSpareRecords()
{
    for (TVurazaModuleInfo*& spare : spareRecords) {
        if (!spare) {
            spare = new TVurazaModuleInfo;
            spare->FileName.reserve(fileNameCapacity);
        }
    }
}

std::wstring W(const std::string& text)
{
    return GbkToWide(text);
}

uintptr_t ThisModule()
{
    return reinterpret_cast<uintptr_t>(CurrentModuleHandle());
}

// Reads of a loaded image by RVA, inside SizeOfImage and probed.
class TImageReader {
public:
    explicit TImageReader(uintptr_t module) : base_(module) {}
    bool Open()
    {
        IMAGE_DOS_HEADER dos;
        if (!Read(0, &dos, sizeof dos, false) || dos.e_magic != IMAGE_DOS_SIGNATURE)
            return false;
        if (dos.e_lfanew < 0 || static_cast<uint32_t>(dos.e_lfanew) > 0x10000000)
            return false;
        ntOffset_ = static_cast<uint32_t>(dos.e_lfanew);
        if (!Read(ntOffset_, &nt_, sizeof nt_, false) || nt_.Signature != IMAGE_NT_SIGNATURE ||
            nt_.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
            return false;
        size_ = nt_.OptionalHeader.SizeOfImage;
        return ntOffset_ < size_ && size_ - ntOffset_ >= sizeof nt_;
    }
    bool Read(uint32_t rva, void* dest, size_t count, bool bounded = true) const
    {
        if (bounded && (rva > size_ || count > size_ - rva))
            return false;
        const uintptr_t at = base_ + rva;
        if (at < base_ || !IsReadableMemory(reinterpret_cast<const void*>(at), count))
            return false;
        memcpy(dest, reinterpret_cast<const void*>(at), count);
        return true;
    }
    // A NUL-terminated name of at most 256 bytes.
    bool ReadName(uint32_t rva, TReporterString& name) const
    {
        name.clear();
        for (uint32_t i = 0; i < 256; ++i) {
            char c = 0;
            if (!Read(rva + i, &c, 1))
                return false;
            if (c == 0)
                return true;
            name += c;
        }
        return true;
    }
    const IMAGE_NT_HEADERS32& Nt() const { return nt_; }
    uint32_t NtOffset() const { return ntOffset_; }
    uint32_t Size() const { return size_; }

private:
    uintptr_t base_;
    uint32_t ntOffset_ = 0;
    uint32_t size_ = 0;
    IMAGE_NT_HEADERS32 nt_{};
};

// Start of the first code section (RVA), 0 when none is found.
uint32_t CodeSectionStart(const TImageReader& image)
{
    const IMAGE_NT_HEADERS32& nt = image.Nt();
    const uint32_t first = image.NtOffset() + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                           nt.FileHeader.SizeOfOptionalHeader;
    for (unsigned i = 0; i < nt.FileHeader.NumberOfSections && i < 96; ++i) {
        IMAGE_SECTION_HEADER section;
        if (!image.Read(first + i * sizeof section, &section, sizeof section))
            return 0;
        if (section.Characteristics & IMAGE_SCN_CNT_CODE)
            return section.VirtualAddress;
    }
    return nt.OptionalHeader.BaseOfCode;
}

bool HasResource(HMODULE module, const wchar_t* name)
{
    return FindResourceW(module, name, MAKEINTRESOURCEW(10)) != nullptr;  // RT_RCDATA
}

std::string_view ResourceBytes(uintptr_t module, const wchar_t* name)
{
    uint32_t size = 0;
    const void* bytes = LoadResourceData(module, name, MAKEINTRESOURCEW(10), size);  // RT_RCDATA
    return bytes ? std::string_view(static_cast<const char*>(bytes), size) : std::string_view();
}

// The module file, read by offset: the readers of the stored data need only its end.
class TModuleFile : public TStoredFile {
public:
    explicit TModuleFile(const std::string& name)
        : h_(name.empty() ? INVALID_HANDLE_VALUE
                          : CreateFileW(W(name).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        LARGE_INTEGER size{};
        if (h_ != INVALID_HANDLE_VALUE && GetFileSizeEx(h_, &size))
            size_ = static_cast<uint64_t>(size.QuadPart);
    }
    ~TModuleFile() override
    {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    TModuleFile(const TModuleFile&) = delete;
    TModuleFile& operator=(const TModuleFile&) = delete;
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* out, size_t count) const override
    {
        if (h_ == INVALID_HANDLE_VALUE || offset > size_ || count > size_ - offset || count > 0x7FFFFFFF)
            return false;
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD got = 0;
        return SetFilePointerEx(h_, at, nullptr, FILE_BEGIN) &&
               ReadFile(h_, out, static_cast<DWORD>(count), &got, nullptr) && got == count;
    }

private:
    HANDLE h_;
    uint64_t size_ = 0;
};

// Index of the first record whose handle is not below module.
size_t LowerBound(uintptr_t module)
{
    auto& raw = Modules().Raw();
    return static_cast<size_t>(
        std::lower_bound(raw.begin(), raw.end(), module, [](const auto& r, uintptr_t h) { return r->Handle < h; }) -
        raw.begin());
}

}  // namespace

bool THModuleStream::Read(void* dest, size_t count)
{
    if (count > Size - position_)
        return false;
    const uintptr_t at = start_ + position_;
    if (at < start_ || !IsReadableMemory(reinterpret_cast<const void*>(at), count))
        return false;
    memcpy(dest, reinterpret_cast<const void*>(at), count);
    position_ += static_cast<uint32_t>(count);
    return true;
}

namespace {

// 0 unreadable signature or header offset, 1 unreadable file header, else 2 when a DLL, 3 not.
int ReadImageHeader(uintptr_t module)
{
    THModuleStream s(module);
    uint16_t mz = 0;
    uint32_t offset = 0, pe = 0;
    if (!s.Read(&mz, 2) || mz != IMAGE_DOS_SIGNATURE)
        return 0;
    s.Seek(60);
    if (!s.Read(&offset, 4) || offset > 0x7FFFFFFF)
        return 0;
    s.Seek(offset);
    if (!s.Read(&pe, 4) || pe != IMAGE_NT_SIGNATURE)
        return 0;
    IMAGE_FILE_HEADER header;
    if (!s.Read(&header, sizeof header))
        return 1;
    return (header.Characteristics & IMAGE_FILE_DLL) ? 2 : 3;
}

}  // namespace

const void* LoadResourceData(uintptr_t module, const wchar_t* name, const wchar_t* type, uint32_t& size)
{
    size = 0;
    HMODULE h = reinterpret_cast<HMODULE>(module);
    HRSRC info = FindResourceW(h, name, type);
    if (!info)
        return nullptr;
    HGLOBAL data = LoadResource(h, info);
    const DWORD length = SizeofResource(h, info);
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes || !IsReadableMemory(bytes, length))
        return nullptr;
    size = length;
    return bytes;
}

uintptr_t ResourceAddressById(uint8_t id)
{
    const uintptr_t program = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
    TStoredResource resource;
    uint32_t offset = 0;
    if (!ReadStoredResource(ResourceBytes(program, L"ELDATA"), resource) || !FindCodeEntry(resource, id, offset))
        return 0;
    return CodeImageAddress(program, offset);
}

bool ReadModuleNtHeaders(uintptr_t module, IMAGE_NT_HEADERS32& nt)
{
    TImageReader image(module);
    if (!module || !image.Open())
        return false;
    nt = image.Nt();
    return true;
}

bool IsLibraryImage(uintptr_t module)
{
    const int header = ReadImageHeader(module);
    if (header >= 2)
        return header == 2;
    // An unreadable header: a library when the reporter's own module is one.
    const uintptr_t self = ThisModule();
    return module != self && ReadImageHeader(self) == 2;
}

uint8_t ModuleImageKind(uintptr_t module)
{
    const int header = ReadImageHeader(module);
    if (header == 0)
        return mkUnknown;
    if (header != 2)
        return mkProgram;
    const std::string fileName = ModuleFileNameOf(reinterpret_cast<HMODULE>(module));
    HMODULE data = fileName.empty() ? nullptr : LoadLibraryExW(W(fileName).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!data)
        return mkLibrary;
    const bool package = HasResource(data, L"PACKAGEINFO") && HasResource(data, L"PACKAGEOPTIONS");
    FreeLibrary(data);
    return package ? mkPackage : mkLibrary;
}

namespace {

// The version library, bound by name once: a system without it gives empty versions.
struct TVersionLibrary {
    HMODULE lib = LoadLibraryW(L"version.dll");
    decltype(&GetFileVersionInfoSizeW) size = Bind<decltype(&GetFileVersionInfoSizeW)>("GetFileVersionInfoSizeW");
    decltype(&GetFileVersionInfoW) info = Bind<decltype(&GetFileVersionInfoW)>("GetFileVersionInfoW");
    decltype(&VerQueryValueW) query = Bind<decltype(&VerQueryValueW)>("VerQueryValueW");
    template <typename T>
    T Bind(const char* name) const
    {
        return lib ? reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(lib, name))) : nullptr;
    }
    bool Ok() const { return size && info && query; }
};

const TVersionLibrary& VersionLibrary()
{
    static const TVersionLibrary library;
    return library;
}

// The file's whole version resource; empty when it has none.
std::vector<char> VersionResource(const std::string& fileName)
{
    const TVersionLibrary& v = VersionLibrary();
    if (!v.Ok())
        return {};
    const std::wstring name = W(fileName);
    DWORD ignored = 0;
    const DWORD size = v.size(name.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<char> data(size);
    if (!v.info(name.c_str(), 0, size, data.data()))
        return {};
    return data;
}

BOOL QueryVersionValue(const void* block, const wchar_t* subBlock, void** value, UINT* length)
{
    return VersionLibrary().query(block, subBlock, value, length);
}

}  // namespace

TVersionInfo ReadVersionInfo(const std::string& fileName)
{
    TVersionInfo result;
    std::vector<char> data = VersionResource(fileName);
    if (data.empty())
        return result;
    struct TTranslation {
        WORD language, codePage;
    };
    TTranslation* translation = nullptr;
    UINT length = 0;
    if (QueryVersionValue(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
        translation && length >= sizeof(TTranslation)) {
        wchar_t block[80];
        swprintf(block, 80, L"\\StringFileInfo\\%04x%04x\\FileDescription", translation->language,
                 translation->codePage);
        wchar_t* text = nullptr;
        if (QueryVersionValue(data.data(), block, reinterpret_cast<void**>(&text), &length) && text && length > 0)
            result.Description = WideToGbk(std::wstring(text, wcsnlen(text, length)));
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    if (QueryVersionValue(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed &&
        length >= sizeof *fixed) {
        const std::string version = Format("%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                                           HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
        if (version != "0.0.0.0")
            result.Version = version;
    }
    return result;
}

std::string ReadProductVersion(const std::string& fileName)
{
    std::vector<char> data = VersionResource(fileName);
    if (data.empty())
        return "";
    WORD* translation = nullptr;
    UINT length = 0;
    if (!QueryVersionValue(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
        !translation || length < 4)
        return "";
    wchar_t block[80];
    swprintf(block, 80, L"\\StringFileInfo\\%04x%04x\\ProductVersion", translation[0], translation[1]);
    wchar_t* text = nullptr;
    if (!QueryVersionValue(data.data(), block, reinterpret_cast<void**>(&text), &length) || !text || length == 0)
        return "";
    return WideToGbk(std::wstring(text, wcsnlen(text, length)));
}

std::string ApplicationVersion()
{
    return ReadVersionInfo(ApplicationFileName()).Version;
}

uint32_t FileSizeOf(const std::string& fileName)
{
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileW(W(fileName).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(h);
    return found.nFileSizeLow;
}

bool ForceDeleteFile(const std::string& fileName)
{
    const std::wstring name = W(fileName);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(name.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileW(name.c_str()) != FALSE;
}

bool ReadExportedFunctions(uintptr_t module, TVurazaFunctionsList& functions)
{
    if (!ModuleHasFileName(reinterpret_cast<HMODULE>(module)) ||
        !IsReadableMemory(reinterpret_cast<const void*>(module), 64))
        return false;
    TImageReader image(module);
    if (!image.Open())
        return false;
    const IMAGE_DATA_DIRECTORY& dir = image.Nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (image.Nt().OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT || dir.VirtualAddress == 0)
        return false;
    IMAGE_EXPORT_DIRECTORY exports;
    if (!image.Read(dir.VirtualAddress, &exports, sizeof exports))
        return false;
    const uint32_t codeStart = CodeSectionStart(image);
    size_t added = 0;
    for (uint32_t i = 0; i < exports.NumberOfNames && i < 0x10000; ++i) {
        uint32_t nameRva = 0, functionRva = 0;
        uint16_t ordinal = 0;
        if (!image.Read(exports.AddressOfNames + i * 4, &nameRva, 4) ||
            !image.Read(exports.AddressOfNameOrdinals + i * 2, &ordinal, 2) || ordinal >= exports.NumberOfFunctions ||
            !image.Read(exports.AddressOfFunctions + ordinal * 4u, &functionRva, 4))
            continue;
        TVurazaFunctionInfo info;
        if (!image.ReadName(nameRva, info.Name) || info.Name.empty())
            continue;
        if (functionRva >= dir.VirtualAddress && functionRva - dir.VirtualAddress < dir.Size) {
            // A forwarded export: its RVA names the other module's function.
            info.Address = reinterpret_cast<uintptr_t>(
                reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(module), info.Name.c_str())));
            if (!info.Address)
                continue;
        } else {
            info.Address = module + functionRva;
        }
        info.BelowCode = info.Address < module + codeStart;
        functions.Add(std::move(info));
        ++added;
    }
    functions.SortByAddress();
    return added > 0;
}

TVurazaModulesList& ModulesList()
{
    return Modules();
}

TModulesReadScope::TModulesReadScope()
{
    EnterRead();
}

TModulesReadScope::~TModulesReadScope()
{
    LeaveRead();
}

bool LockModulesForWriting(unsigned milliseconds)
{
    return EnterWrite(milliseconds);
}

void UnlockModulesForWriting()
{
    LeaveWrite();
}

void ClearModuleRecords()
{
    // Taken out under the guard, freed after it: a record's options may look the list up.
    TReporterVector<std::unique_ptr<TVurazaModuleInfo>> gone;
    {
        TWriteScope write(5000);
        gone.swap(Modules().Raw());
    }
    gone.clear();
}

bool IsRefreshingModules()
{
    return refreshing;
}

bool SetRefreshingModules(bool value)
{
    const bool old = refreshing;
    refreshing = value;
    return old;
}

bool HasStoredDataResource(uintptr_t module)
{
    return HasStoredDataResource(ResourceBytes(module, L"ELDATA"));
}

bool HasStoredDataTail(uintptr_t module)
{
    return HasStoredDataTail(TModuleFile(ModuleFileNameOf(reinterpret_cast<HMODULE>(module))));
}

bool HasReporterData(uintptr_t module)
{
    return HasStoredDataResource(module) || HasStoredDataTail(module);
}

uint16_t ReporterDataVersion(uintptr_t module)
{
    TStoredResource resource;
    if (ReadStoredResource(ResourceBytes(module, L"ELDATA"), resource))
        return NormalizeDataVersion(resource.dataVersion);
    TStoredTail tail;
    if (ReadStoredDataTail(TModuleFile(ModuleFileNameOf(reinterpret_cast<HMODULE>(module))), tail, false))
        return NormalizeDataVersion(tail.dataVersion);
    return 0;
}

bool HasCompatibleReporterData(uintptr_t module)
{
    return HasReporterData(module) && ReporterDataVersion(module) >= 6101;
}

namespace {

// Protected data is kept only with a password that opens it, which becomes the record's key.
void AcceptDebugData(TVurazaModuleInfo& record, std::string data)
{
    if (IsProtectedDebugData(data)) {
        std::string password;
        if (!passwordProc || !passwordProc(record, password) || !PasswordOpensDebugData(data, password)) {
            record.DataValid = false;
            return;
        }
        record.DataKey = password;
    }
    record.DebugData = std::make_unique<std::string>(std::move(data));
}

}  // namespace

void SetStoredDataPasswordProc(TStoredDataPasswordProc proc)
{
    passwordProc = proc;
}

bool LoadModuleDebugData(TVurazaModuleInfo& record)
{
    if (!record.Options)
        return false;
    // Options come from the resource when it is filled, else from the tail; the debug data
    // lives only in the tail.
    bool loaded = false;
    const std::string_view resource = ResourceBytes(record.Handle, L"ELDATA");
    TStoredResource stored;
    if (ReadStoredResource(resource, stored) && UnpackOptionsResource(resource, *record.Options)) {
        record.DataVersion = NormalizeDataVersion(stored.dataVersion);
        record.CompilationDate = stored.compilationDate;
        loaded = true;
    }
    TStoredTail tail;
    const bool wantDebugData = !refreshing;
    if (ReadStoredDataTail(TModuleFile(record.FileName), tail, wantDebugData)) {
        if (!loaded) {
            LoadTailOptions(tail, *record.Options);
            record.DataVersion = NormalizeDataVersion(tail.dataVersion);
            record.CompilationDate = tail.compilationDate;
            loaded = true;
        }
        if (wantDebugData && !tail.debugData.empty())
            AcceptDebugData(record, std::move(tail.debugData));
    }
    if (loaded && record.Handle != ThisModule())
        record.Options->ReadPublishedOptions();
    return loaded;
}

namespace {

std::unique_ptr<TVurazaModuleInfo> MakeModuleRecord(uintptr_t module, const std::string& fileName, bool load)
{
    auto record = std::make_unique<TVurazaModuleInfo>();
    record->Handle = module;
    IMAGE_NT_HEADERS32 nt;
    if (ReadModuleNtHeaders(module, nt))
        record->ImageSize = nt.OptionalHeader.SizeOfImage;
    record->FileName = fileName;
    record->LastModified = GetFileDateTime(fileName);
    record->WriteStamp = FileWriteStamp(record->FileName);
    const TVersionInfo version = ReadVersionInfo(fileName);
    record->Description = version.Description;
    record->Version = version.Version;
    record->Size = FileSizeOf(fileName);
    record->Functions = std::make_unique<TVurazaFunctionsList>();
    if (load && !refreshing) {
        if (module != reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)))
            ReadExportedFunctions(module, *record->Functions);
        record->Kind = ModuleImageKind(module);
    }
    record->Options = std::make_unique<TVurazaModuleOptionsEx>(fileName);
    record->StoredDataLoaded = load && LoadModuleDebugData(*record);
    if (!record->StoredDataLoaded) {
        record->DataVersion = 6101;
        record->CompilationDate = 0;
        record->DebugData.reset();
    }
    if (load && !refreshing && preparer)
        preparer(*record);
    return record;
}

TVurazaModuleInfo* AddSpareRecord(uintptr_t module)
{
    for (TVurazaModuleInfo*& spare : spareRecords) {
        if (!spare)
            continue;
        if (!ModuleFileNameInto(reinterpret_cast<HMODULE>(module), spare->FileName))
            return nullptr;
        std::unique_ptr<TVurazaModuleInfo> record(spare);
        spare = nullptr;
        record->Handle = module;
        IMAGE_NT_HEADERS32 nt;
        if (ReadModuleNtHeaders(module, nt))
            record->ImageSize = nt.OptionalHeader.SizeOfImage;
        record->DataVersion = 6101;
        record->WriteStamp = FileWriteStamp(record->FileName);
        TWriteScope write;
        if (!write.held) {
            spare = record.release();
            return nullptr;
        }
        auto& raw = Modules().Raw();
        // The list's memory is the reporter's heap too.
        return raw.insert(raw.begin() + static_cast<ptrdiff_t>(LowerBound(module)), std::move(record))->get();
    }
    return nullptr;
}

// The record of the module whose image holds the address, read from the records alone.
TVurazaModuleInfo* RecordHolding(uintptr_t address)
{
    auto& raw = Modules().Raw();
    size_t at = static_cast<size_t>(
        std::upper_bound(raw.begin(), raw.end(), address, [](uintptr_t a, const auto& r) { return a < r->Handle; }) -
        raw.begin());
    if (at == 0)
        return nullptr;
    TVurazaModuleInfo* record = raw[at - 1].get();
    return record->ImageSize != 0 && address - record->Handle < record->ImageSize ? record : nullptr;
}

TVurazaModuleInfo* RecordOf(uintptr_t module)
{
    const size_t at = LowerBound(module);
    return at < Modules().Count() && Modules().Items(at)->Handle == module ? Modules().Items(at) : nullptr;
}

}  // namespace

bool AddModuleRecord(uintptr_t module, const std::string& fileName, bool load)
{
    // Made outside the guard: making reads files and may look the list up.
    auto record = MakeModuleRecord(module, fileName, load);
    std::unique_ptr<TVurazaModuleInfo> replaced;
    {
        TWriteScope write;
        if (!write.held)
            return false;
        auto& raw = Modules().Raw();
        const size_t at = LowerBound(module);
        if (at < raw.size() && raw[at]->Handle == module) {
            // Another thread made one meanwhile: a full record stays, one of unknown kind gives way.
            if (raw[at]->Kind != mkUnknown || record->Kind == mkUnknown)
                return true;
            replaced = std::move(raw[at]);
            raw[at] = std::move(record);
        } else {
            raw.insert(raw.begin() + static_cast<ptrdiff_t>(at), std::move(record));
        }
    }
    // A replaced record may still be in a lookup's hands on another thread until it returns;
    // it is kept, as a dropped one is.
    if (replaced)
        replaced.release();
    return true;
}

bool AddModuleRecordOfHandle(uintptr_t module)
{
    const std::string fileName = ModuleFileNameOf(reinterpret_cast<HMODULE>(module));
    if (fileName.empty())
        return false;
    return AddModuleRecord(module, fileName, true);
}

namespace {

// Frozen, the list only gains spare records for modules loaded since: nothing is freed, read
// or loaded (the kernel's own module enumeration, into a buffer on the stack).
void AddSpareRecordsOfLoadedModules()
{
    using TEnumProcessModules = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
    const auto enumModules = reinterpret_cast<TEnumProcessModules>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "K32EnumProcessModules")));
    HMODULE handles[512];
    DWORD needed = 0;
    if (!enumModules || !enumModules(GetCurrentProcess(), handles, sizeof handles, &needed))
        return;
    const size_t count = std::min<size_t>(needed / sizeof(HMODULE), std::size(handles));
    for (size_t i = 0; i < count; ++i) {
        const uintptr_t module = reinterpret_cast<uintptr_t>(handles[i]);
        bool known = false;
        {
            TModulesReadScope read;
            known = RecordOf(module) != nullptr;
        }
        if (!known)
            AddSpareRecord(module);
    }
}

}  // namespace

namespace {

TModuleListSource moduleListSource = TModuleListSource::Automatic;

// Windows NT: the process-status library.
std::vector<HMODULE> ProcessStatusModules()
{
    std::vector<HMODULE> handles;
    HMODULE psapi = LoadLibraryW(L"PSAPI.DLL");
    using TEnumProcessModules = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
    auto enumModules = psapi ? reinterpret_cast<TEnumProcessModules>(
                                   reinterpret_cast<void*>(GetProcAddress(psapi, "EnumProcessModules")))
                             : nullptr;
    if (enumModules) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId());
        if (process) {
            handles.resize(1024);
            DWORD needed = 0;
            if (enumModules(process, handles.data(), static_cast<DWORD>(handles.size() * sizeof(HMODULE)), &needed)) {
                handles.resize(std::min<size_t>(needed / sizeof(HMODULE), handles.size()));
            } else {
                handles.clear();
            }
            CloseHandle(process);
        }
    }
    if (psapi)
        FreeLibrary(psapi);
    return handles;
}

// The 95 family: a tool-help module snapshot of this process, through the ANSI functions, the
// only ones those systems have (the handles are all that is taken).
std::vector<HMODULE> ToolHelpModules()
{
    std::vector<HMODULE> handles;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    using TSnapshot = HANDLE(WINAPI*)(DWORD, DWORD);
    using TModuleWalk = BOOL(WINAPI*)(HANDLE, tagMODULEENTRY32*);
    const auto snapshot = reinterpret_cast<TSnapshot>(reinterpret_cast<void*>(GetProcAddress(kernel, "CreateToolhelp32Snapshot")));
    const auto first = reinterpret_cast<TModuleWalk>(reinterpret_cast<void*>(GetProcAddress(kernel, "Module32First")));
    const auto next = reinterpret_cast<TModuleWalk>(reinterpret_cast<void*>(GetProcAddress(kernel, "Module32Next")));
    if (!snapshot || !first || !next)
        return handles;
    HANDLE snap = snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    if (snap == INVALID_HANDLE_VALUE)
        return handles;
    tagMODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = first(snap, &entry); ok; ok = next(snap, &entry))
        handles.push_back(entry.hModule);
    CloseHandle(snap);
    return handles;
}

}  // namespace

void SetModuleListSource(TModuleListSource source)
{
    moduleListSource = source;
}

TModuleListSource ModuleListSourceInUse()
{
    if (moduleListSource != TModuleListSource::Automatic)
        return moduleListSource;
    return OnWindows95Family() ? TModuleListSource::ToolHelp : TModuleListSource::ProcessStatus;
}

namespace {
// Set while the maker is asked to stop: a pass ends at the next module.
std::atomic<bool> makingStopped{false};

void AddRecordsOfLoadedModules()
{
    const std::vector<HMODULE> handles =
        ModuleListSourceInUse() == TModuleListSource::ToolHelp ? ToolHelpModules() : ProcessStatusModules();
    for (HMODULE h : handles) {
        if (makingStopped)
            return;
        const uintptr_t module = reinterpret_cast<uintptr_t>(h);
        {
            TModulesReadScope read;
            if (RecordOf(module))
                continue;
        }
        try {
            AddModuleRecordOfHandle(module);
        } catch (const std::exception&) {
            // A module that can't be described is left out of the list, not out of the report.
        }
    }
}
}  // namespace

void RefreshModuleList()
{
    if (frozen) {
        AddSpareRecordsOfLoadedModules();
        return;
    }
    VersionLibrary();  // loaded now, so that it is in the list it helps to describe
    refreshing = true;
    {
        TWriteScope write;
        for (size_t i = Modules().Count(); write.held && i-- > 0;) {
            if (!ModuleHasFileName(reinterpret_cast<HMODULE>(Modules().Items(i)->Handle)))
                Modules().Raw()[i].release();  // kept, as a dropped record is: a lookup may hold it
        }
        if (write.held) {
            auto& raw = Modules().Raw();
            raw.erase(std::remove(raw.begin(), raw.end(), nullptr), raw.end());
        }
    }
    AddRecordsOfLoadedModules();
    refreshing = false;
}


TVurazaModuleInfo* FindModuleRecord(uintptr_t module)
{
    if (module == 0)
        return nullptr;
    // Frozen, the records answer alone: the loader's lock may be held by the faulting thread.
    if (frozen) {
        {
            TModulesReadScope read;
            if (TVurazaModuleInfo* found = RecordOf(module))
                return found;
        }
        return AddSpareRecord(module);
    }
    if (!ModuleHasFileName(reinterpret_cast<HMODULE>(module)))
        return nullptr;
    {
        TModulesReadScope read;
        TVurazaModuleInfo* found = RecordOf(module);
        if (found && (found->Kind != mkUnknown || refreshing))
            return found;
    }
    if (sparesWanted)
        RefillSpareRecords();
    // Making the record loads its options, whose setters ask for the options in force, which
    // look this module up again: it has no record until this one is made.
    const DWORD self = GetCurrentThreadId();
    if (module == recordInMaking && self == recordInMakingThread)
        return nullptr;
    const std::string fileName = ModuleFileNameOf(reinterpret_cast<HMODULE>(module));
    if (fileName.empty())
        return nullptr;
    struct TMaking {
        uintptr_t outer;
        DWORD outerThread;
        TMaking(uintptr_t module, DWORD thread) : outer(recordInMaking), outerThread(recordInMakingThread)
        {
            recordInMaking = module;
            recordInMakingThread = thread;
        }
        ~TMaking()
        {
            recordInMaking = outer;
            recordInMakingThread = outerThread;
        }
    } making(module, self);
    AddModuleRecord(module, fileName, true);
    TModulesReadScope read;
    return RecordOf(module);
}

TVurazaModuleInfo* FindModuleRecordOfAddress(uintptr_t address)
{
    uintptr_t partial = 0;
    {
        TModulesReadScope read;
        if (TVurazaModuleInfo* found = RecordHolding(address)) {
            // A record the list refresh made holds no more than the module's name: thawed, the
            // lookup makes it in full, as FindModuleRecord does.
            if (frozen || refreshing || found->Kind != mkUnknown)
                return found;
            partial = found->Handle;
        }
    }
    if (frozen)
        return nullptr;
    if (partial)
        return FindModuleRecord(partial);
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(address), &module))
        return nullptr;
    return FindModuleRecord(reinterpret_cast<uintptr_t>(module));
}

bool HasFramePrologue(uintptr_t address)
{
    uint8_t b[3];
    if (!IsReadableMemory(reinterpret_cast<const void*>(address), 3))
        return false;
    memcpy(b, reinterpret_cast<const void*>(address), 3);
    return b[0] == 0x55 && ((b[1] == 0x8B && b[2] == 0xEC) || (b[1] == 0x89 && b[2] == 0xE5));
}

bool StartsWithPushEbx(uintptr_t address)
{
    return IsReadableMemory(reinterpret_cast<const void*>(address), 1) &&
           *reinterpret_cast<const uint8_t*>(address) == 0x53;
}

void SetModuleRecordPreparer(TModuleRecordPreparer prepare)
{
    preparer = prepare;
}

void PrepareModuleRecords()
{
    if (frozen)
        return;
    sparesWanted = true;
    RefillSpareRecords();
    TModulesReadScope read;
    for (size_t i = 0; i < Modules().Count(); ++i) {
        TVurazaModuleInfo& record = *Modules().Items(i);
        if (preparer && record.Kind != mkUnknown)
            preparer(record);
    }
}

void ReleaseSpareModuleRecords()
{
    sparesWanted = false;
    for (TVurazaModuleInfo*& spare : spareRecords) {
        delete spare;
        spare = nullptr;
    }
}

void FreezeModuleRecords(bool freeze)
{
    frozen = freeze;
}

bool ModuleRecordsFrozen()
{
    return frozen;
}

namespace {

// The loader's name of the module in GBK, without the object-path prefix, in text; nothing
// is allocated.
bool LoaderFileName(HMODULE module, char (&text)[fileNameCapacity], std::string_view& name)
{
    wchar_t wide[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, wide, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return false;
    const int length = WideCharToMultiByte(936, 0, wide, static_cast<int>(n), text, sizeof text - 1, nullptr, nullptr);
    if (length <= 0)
        return false;
    name = std::string_view(text, static_cast<size_t>(length));
    const size_t question = name.find('?');
    if (question != std::string_view::npos) {
        const size_t colon = name.find(':', question);
        if (colon != std::string_view::npos && colon > 0)
            name.remove_prefix(colon - 1);
    }
    return true;
}

}  // namespace

bool ModuleFileNameInto(HMODULE module, TReporterString& name)
{
    char text[fileNameCapacity];
    std::string_view view;
    if (!LoaderFileName(module, text, view))
        return false;
    name.assign(view.data(), view.size());
    return true;
}

namespace {

// What the native query gives of a file; the Win32 calls would convert the name on the
// process heap.
struct TNetworkOpenInformation {
    LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime, AllocationSize, EndOfFile;
    ULONG FileAttributes;
};
using TQueryFullAttributes = LONG(NTAPI*)(OBJECT_ATTRIBUTES* attributes, TNetworkOpenInformation* information);

TQueryFullAttributes QueryFullAttributes()
{
    static const auto query = reinterpret_cast<TQueryFullAttributes>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryFullAttributesFile")));
    return query;
}

}  // namespace

uint64_t FileWriteStamp(std::string_view fileName)
{
    const TQueryFullAttributes query = QueryFullAttributes();
    wchar_t path[2 * MAX_PATH + 16];
    if (!query || fileName.empty() || fileName.size() >= fileNameCapacity)
        return 0;
    // "\??\C:\..." for a drive path, "\??\UNC\server\..." for a network one.
    const bool unc = fileName.size() > 2 && fileName[0] == '\\' && fileName[1] == '\\';
    const wchar_t* prefix = unc ? L"\\??\\UNC" : L"\\??\\";
    size_t used = wcslen(prefix);
    wmemcpy(path, prefix, used);
    const std::string_view rest = unc ? fileName.substr(1) : fileName;
    const int n = MultiByteToWideChar(936, 0, rest.data(), static_cast<int>(rest.size()), path + used,
                                      static_cast<int>(std::size(path) - used - 1));
    if (n <= 0)
        return 0;
    used += static_cast<size_t>(n);
    UNICODE_STRING name;
    name.Buffer = path;
    name.Length = static_cast<USHORT>(used * sizeof(wchar_t));
    name.MaximumLength = name.Length;
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof attributes;
    attributes.ObjectName = &name;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    TNetworkOpenInformation information{};
    if (query(&attributes, &information) < 0)
        return 0;
    return static_cast<uint64_t>(information.LastWriteTime.QuadPart);
}

namespace {

// Records dropped while the exception's own thread may still hold a heap's lock: freed when
// the handling is over, by the thread that routed it.
constexpr size_t droppedCapacity = 64;
TVurazaModuleInfo* droppedRecords[droppedCapacity] = {};
size_t droppedCount = 0;

}  // namespace

size_t DropStaleModuleRecords()
{
    if (frozen)
        return 0;
    size_t dropped = 0;
    TWriteScope write;
    if (!write.held)
        return 0;
    auto& raw = Modules().Raw();
    for (size_t i = raw.size(); i-- > 0 && droppedCount < droppedCapacity;) {
        const TVurazaModuleInfo& record = *raw[i];
        // The file now loaded at the handle against the one the record was made of: gone, written
        // since, or another module in the same place.
        char text[fileNameCapacity];
        std::string_view name;
        bool stale = !LoaderFileName(reinterpret_cast<HMODULE>(record.Handle), text, name);
        if (!stale && record.WriteStamp != 0)
            stale = FileWriteStamp(name) != record.WriteStamp;
        if (!stale)
            continue;
        droppedRecords[droppedCount++] = raw[i].release();
        raw.erase(raw.begin() + static_cast<ptrdiff_t>(i));
        ++dropped;
    }
    return dropped;
}

void ReleaseDroppedModuleRecords()
{
    while (droppedCount > 0) {
        delete droppedRecords[--droppedCount];
        droppedRecords[droppedCount] = nullptr;
    }
}

namespace {

// What the loader tells of a load or an unload (LdrRegisterDllNotification).
struct TDllNotificationData {
    ULONG Flags;
    const UNICODE_STRING* FullDllName;
    const UNICODE_STRING* BaseDllName;
    void* DllBase;
    ULONG SizeOfImage;
};
using TDllNotification = VOID(CALLBACK*)(ULONG reason, const TDllNotificationData* data, void* context);
using TRegisterDllNotification = LONG(NTAPI*)(ULONG flags, TDllNotification notification, void* context,
                                              void** cookie);
using TUnregisterDllNotification = LONG(NTAPI*)(void* cookie);
constexpr ULONG dllLoadedReason = 1;

struct TRecordMaker {
    HANDLE thread = nullptr;
    DWORD id = 0;
    HANDLE wake = nullptr;
    void* cookie = nullptr;
    std::atomic<bool> stop{false};
    // Loads the loader has reported, and how many of them the maker has recorded.
    std::atomic<uint32_t> reported{1};  // the modules there are at the start count as one
    std::atomic<uint32_t> recorded{0};
};
TRecordMaker maker;

// Called by the loading thread, which holds the loader's lock: it only counts and wakes.
VOID CALLBACK ModuleLoaded(ULONG reason, const TDllNotificationData*, void*)
{
    if (reason != dllLoadedReason || GetCurrentThreadId() == maker.id)
        return;
    maker.reported.fetch_add(1);
    SetEvent(maker.wake);
}

DWORD WINAPI MakeRecords(void*)
{
    while (!maker.stop) {
        const uint32_t seen = maker.reported.load();
        if (seen != maker.recorded.load()) {
            try {
                AddRecordsOfLoadedModules();
            } catch (...) {
                // A module that can't be described waits for the next load.
            }
            maker.recorded.store(seen);
            continue;
        }
        WaitForSingleObject(maker.wake, INFINITE);
    }
    return 0;
}

}  // namespace

void StartModuleRecordMaker()
{
    if (maker.thread)
        return;
    maker.stop = false;
    if (!maker.wake)
        maker.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!maker.wake)
        return;
    maker.recorded.store(0);
    maker.reported.store(1);
    makingStopped = false;
    // One of the reporter's own threads: made under the thread-control flag, it gets no record.
    TThreadExceptionContext* own = ThreadExceptionContext();
    const bool wasControlling = own && own->threadControl;
    if (own)
        own->threadControl = true;
    maker.thread = CreateThread(nullptr, 0, MakeRecords, nullptr, 0, &maker.id);
    if (own)
        own->threadControl = wasControlling;
    if (!maker.thread)
        return;
    // Background work: the program's own start-up goes first.
    SetThreadPriority(maker.thread, THREAD_PRIORITY_BELOW_NORMAL);
    const auto registerNotification = reinterpret_cast<TRegisterDllNotification>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrRegisterDllNotification")));
    if (registerNotification)
        registerNotification(0, &ModuleLoaded, nullptr, &maker.cookie);
}

void StopModuleRecordMaker()
{
    if (maker.cookie) {
        const auto unregisterNotification = reinterpret_cast<TUnregisterDllNotification>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrUnregisterDllNotification")));
        if (unregisterNotification)
            unregisterNotification(maker.cookie);
        maker.cookie = nullptr;
    }
    if (!maker.thread)
        return;
    maker.stop = true;
    makingStopped = true;
    SetEvent(maker.wake);
    if (WaitForSingleObject(maker.thread, 10000) != WAIT_OBJECT_0)
        TerminateThread(maker.thread, 1);
    CloseHandle(maker.thread);
    maker.thread = nullptr;
    maker.id = 0;
}

DWORD ModuleRecordMakerThreadId()
{
    return maker.id;
}

bool ModuleRecordMakerRunning()
{
    return maker.thread != nullptr && !maker.stop;
}

bool WaitForModuleRecords(unsigned milliseconds)
{
    if (!ModuleRecordMakerRunning() || GetCurrentThreadId() == maker.id)
        return false;
    const uint32_t wanted = maker.reported.load();
    const DWORD start = GetTickCount();
    while (static_cast<int32_t>(maker.recorded.load() - wanted) < 0) {
        if (GetTickCount() - start >= milliseconds)
            return false;
        Sleep(5);
    }
    return true;
}
