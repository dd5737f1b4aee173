#include "crashreport/delivery/ELogFileWin.h"

#include <windows.h>

#include <cstdio>

#include "crashreport/capture/EHash.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"
#include "framework/Exception.h"
#include "framework/SysUtils.h"

namespace {

void (*saveHook)() = nullptr;

constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplaceWaitMs = 100;

std::wstring FullPath(const std::string& fileName)
{
    const std::wstring wide = GbkToWide(fileName);
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(std::size(buffer)), buffer, nullptr);
    return n > 0 && n < std::size(buffer) ? std::wstring(buffer, n) : wide;
}

// What names the log whatever the spelling of its path (8.3, UNC, a mapped drive): the
// folder's volume serial and file index, and the file's long name. The folder, because the
// log itself may not exist yet; without it, the full path.
std::wstring LogIdentity(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return path;
    std::wstring name = path.substr(slash + 1);
    wchar_t longPath[MAX_PATH * 2];
    const DWORD n = GetLongPathNameW(path.c_str(), longPath, static_cast<DWORD>(std::size(longPath)));
    if (n > 0 && n < std::size(longPath)) {
        const std::wstring full(longPath, n);
        name = full.substr(full.find_last_of(L"\\/") + 1);
    }
    HANDLE folder = CreateFileW(path.substr(0, slash + 1).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return path;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(folder, &info) != FALSE;
    CloseHandle(folder);
    if (!known)
        return path;
    wchar_t id[40];
    std::swprintf(id, std::size(id), L"%08X%08X%08X\\", static_cast<unsigned>(info.dwVolumeSerialNumber),
                  static_cast<unsigned>(info.nFileIndexHigh), static_cast<unsigned>(info.nFileIndexLow));
    return id + name;
}

// Mutex names can't hold "\": the name is a digest of the upper-cased identity.
std::wstring LockName(const std::wstring& path)
{
    std::wstring upper = LogIdentity(path);
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    uint8_t digest[16];
    Md5Digest(digest, upper.data(), upper.size() * sizeof(wchar_t));
    wchar_t name[64];
    std::swprintf(name, std::size(name), L"Local\\DuruvaDodLog_%08X%08X", *reinterpret_cast<uint32_t*>(digest),
                  *reinterpret_cast<uint32_t*>(digest + 4));
    return name;
}

[[noreturn]] void RaiseFileError(const char* what, const std::wstring& path)
{
    const DWORD error = GetLastError();
    throw Exception(Format("%s \"%s\" (error %u).", what, WideToGbk(path).c_str(), static_cast<unsigned>(error)));
}

class TScopedFile {
public:
    explicit TScopedFile(HANDLE handle) : handle_(handle) {}
    ~TScopedFile()
    {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    TScopedFile(const TScopedFile&) = delete;
    TScopedFile& operator=(const TScopedFile&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

void WriteWhole(const std::wstring& path, std::string_view text)
{
    TScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) RaiseFileError("Cannot create the file", path);
    size_t done = 0;
    while (done < text.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(file.Get(), text.data() + done, chunk, &written, nullptr) || written == 0)
            RaiseFileError("Cannot write the file", path);
        done += written;
    }
    if (!FlushFileBuffers(file.Get())) RaiseFileError("Cannot write the file", path);
}

class TWinLogFileStore : public TLogFileStore {
public:
    explicit TWinLogFileStore(const std::string& fileName) : path_(FullPath(fileName))
    {
        lock_ = CreateMutexW(nullptr, FALSE, LockName(path_).c_str());
        if (!lock_) RaiseFileError("Cannot lock the log file", path_);
        const DWORD wait = WaitForSingleObject(lock_, kLogLockTimeoutMs);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
            CloseHandle(lock_);
            SetLastError(WAIT_TIMEOUT);
            RaiseFileError("Cannot lock the log file", path_);
        }
    }
    ~TWinLogFileStore() override
    {
        ReleaseMutex(lock_);
        CloseHandle(lock_);
    }

    std::optional<std::string> Read() override
    {
        TScopedFile file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
            RaiseFileError("Cannot open the file", path_);
        }
        std::string text;
        if (!ReadWholeFile(file.Get(), text)) RaiseFileError("Cannot read the file", path_);
        return text;
    }

    // The new text goes beside the log first, so a crash in the middle leaves the old log whole.
    // A log someone holds open (a scanner, an editor) is mostly let go soon: the replace is
    // tried again, and the log is never written in place, where a kill would leave nothing whole.
    void Write(std::string_view text) override
    {
        const std::wstring temp = path_ + L".tmp";
        try {
            WriteWhole(temp, text);
        } catch (...) {
            DeleteFileW(temp.c_str());
            throw;
        }
        if (saveHook) saveHook();
        for (int attempt = 1;; ++attempt) {
            if (MoveFileExW(temp.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return;
            if (attempt == kReplaceAttempts) break;
            Sleep(kReplaceWaitMs);
        }
        const DWORD error = GetLastError();
        DeleteFileW(temp.c_str());
        SetLastError(error);
        RaiseFileError("Cannot replace the file", path_);
    }

private:
    std::wstring path_;
    HANDLE lock_ = nullptr;
};

}  // namespace

void SetLogSaveHook(void (*hook)()) { saveHook = hook; }

std::unique_ptr<TLogFileStore> OpenLogFileStore(const std::string& fileName)
{
    return std::make_unique<TWinLogFileStore>(fileName);
}

std::unique_ptr<TLogFile> OpenLogFile(const std::string& fileName)
{
    return std::make_unique<TLogFile>(OpenLogFileStore(fileName));
}
