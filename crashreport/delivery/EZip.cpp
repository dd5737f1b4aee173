#include "crashreport/delivery/EZip.h"

#include <windows.h>

#include <zlib.h>
// zip.h first: it brings the declarations iowin32.h leans on.
#include <minizip/zip.h>
#include <minizip/iowin32.h>


#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"
#include "framework/ScopedWin.h"
#include "framework/SysUtils.h"

namespace {

bool ReadWhole(const std::wstring& path, std::string& bytes, FILETIME& written)
{
    // Denies others write access while reading: a file being written is not taken half-done.
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && GetFileTime(file, nullptr, nullptr, &written) && ReadWholeFile(file.Get(), bytes, 0xFFFFFFFF);
}

void EntryTime(const FILETIME& written, zip_fileinfo& info)
{
    FILETIME local;
    SYSTEMTIME st;
    WORD dosDate = 0, dosTime = 0;
    if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &st)) return;
    info.tmz_date.tm_sec = st.wSecond;
    info.tmz_date.tm_min = st.wMinute;
    info.tmz_date.tm_hour = st.wHour;
    info.tmz_date.tm_mday = st.wDay;
    info.tmz_date.tm_mon = st.wMonth - 1;
    info.tmz_date.tm_year = st.wYear;
    if (FileTimeToDosDateTime(&local, &dosDate, &dosTime)) info.dosDate = (static_cast<uLong>(dosDate) << 16) | dosTime;
}

}  // namespace

TZipWriter::TZipWriter(const std::string& archiveName, const std::string& password) : password_(password)
{
    const std::wstring path = GbkToWide(archiveName);
    DeleteFileW(path.c_str());
    zlib_filefunc64_def files;
    fill_win32_filefunc64W(&files);
    zip_ = zipOpen2_64(path.c_str(), APPEND_STATUS_CREATE, nullptr, &files);
}

TZipWriter::~TZipWriter() { Close(); }

bool TZipWriter::Close()
{
    if (!zip_) return false;
    const int closed = zipClose(static_cast<zipFile>(zip_), nullptr);
    zip_ = nullptr;
    return closed == ZIP_OK;
}

bool TZipWriter::AddFile(const std::string& fileName, const std::string& nameInArchive)
{
    if (!zip_) return false;
    std::string bytes;
    FILETIME written{};
    if (!ReadWhole(GbkToWide(fileName), bytes, written)) return false;

    std::string name = nameInArchive;
    for (int n = 2; names_.count(UpperCase(name)); ++n)
        name = ChangeFileExt(nameInArchive, "") + "_" + std::to_string(n) + ExtractFileExt(nameInArchive);

    zip_fileinfo info{};
    EntryTime(written, info);
    const bool encrypt = !password_.empty();
    const uLong crc = encrypt ? crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())) : 0;
    zipFile zip = static_cast<zipFile>(zip_);
    if (zipOpenNewFileInZip3(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 9, 0, -MAX_WBITS, 8,
                             Z_DEFAULT_STRATEGY, encrypt ? password_.c_str() : nullptr, crc) != ZIP_OK)
        return false;
    const int wrote = zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size()));
    const int closed = zipCloseFileInZip(zip);
    if (wrote < 0 || closed != ZIP_OK) return false;
    names_.insert(UpperCase(name));
    return true;
}
