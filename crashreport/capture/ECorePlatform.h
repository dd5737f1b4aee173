#pragma once
// What the crash reporter's system-free helpers ask of the system, behind one interface so
// that they build and run on the host too. The Win32 build supplies the real one; tests may
// install their own.

#include <cstdint>
#include <string>

class TCorePlatform {
public:
    virtual ~TCorePlatform() = default;
    // False when the variable is absent.
    virtual bool GetEnvironment(const std::string& name, std::string& value) = 0;
    // Now, in the system's short date and time formats.
    virtual std::string ShortDateText() = 0;
    virtual std::string ShortTimeText() = 0;
    virtual std::string CurrentFolder() = 0;
    virtual char DecimalSeparator() = 0;

    virtual bool FolderExists(const std::string& path) = 0;
    virtual bool CreateFolder(const std::string& path) = 0;
    virtual bool CanCreateFile(const std::string& path) = 0;
    virtual bool CanOpenFileForReading(const std::string& path) = 0;
    // The application-data folder followed by "\DuruvaDod".
    virtual std::string ReporterDataFolder() = 0;
    virtual std::string ApplicationFileName() = 0;
    virtual std::string SafeComputerName() = 0;

    // 0 stands for "no module".
    virtual uintptr_t ModuleHandleOf(const std::string& fileName) = 0;
    virtual uintptr_t RunningModuleHandle() = 0;

    // Whole files; false when the file can't be opened. Reading denies others write access.
    virtual bool ReadFileBytes(const std::string& path, std::string& bytes) = 0;
    virtual bool WriteFileBytes(const std::string& path, const std::string& bytes) = 0;
};

TCorePlatform& CorePlatform();
// Installs a platform (nullptr puts the system's back) and returns the one it replaced.
TCorePlatform* SetCorePlatform(TCorePlatform* platform);
