#pragma once
// Zip archives of a report's files: deflate at level 9 in raw form, optionally protected by the
// traditional zip encryption. Paths are GBK and reach the system as UTF-16.

#include <set>
#include <string>

class TZipWriter {
public:
    // An existing file of that name is replaced. An empty password writes plain entries.
    TZipWriter(const std::string& archiveName, const std::string& password);
    ~TZipWriter();
    TZipWriter(const TZipWriter&) = delete;
    TZipWriter& operator=(const TZipWriter&) = delete;

    bool IsOpen() const { return zip_ != nullptr; }
    // False, with no entry added, when the file can't be read whole (another process may be
    // writing it); the archive stays usable. A name already in the archive gets "_2", "_3"...
    // before its extension, so no entry hides another.
    bool AddFile(const std::string& fileName, const std::string& nameInArchive);
    // Closes the archive; true when minizip closed it cleanly. The destructor closes too.
    bool Close();

private:
    void* zip_ = nullptr;
    std::string password_;
    std::set<std::string> names_;
};
