#pragma once
// A platform with a fixed clock, a chosen environment and a small file system of folders, so
// that the system-free helpers can be tested the same way on the host and under Wine.

#include <map>
#include <set>
#include <string>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECorePlatform.h"
#include "framework/SysUtils.h"

class TFakePlatform : public TCorePlatform {
public:
    std::map<std::string, std::string> environment;
    std::set<std::string> folders{"C:", "C:\\Program", "C:\\AppData", "D:", "D:\\logs"};
    std::set<std::string> readOnly;
    std::set<std::string> files;
    std::map<std::string, std::string> contents;
    std::string reporterFolder = "C:\\AppData\\DuruvaDod";
    uintptr_t runningModule = 0x400000;
    int folderCreations = 0;

    TFakePlatform() { previous_ = SetCorePlatform(this); }
    ~TFakePlatform() override { SetCorePlatform(previous_); }

    bool GetEnvironment(const std::string& name, std::string& value) override
    {
        // Names ignore case, as Windows' do.
        for (const auto& [key, v] : environment)
            if (SameText(key, name)) {
                value = v;
                return true;
            }
        return false;
    }
    std::string ShortDateText() override { return "2026-12-10"; }
    std::string ShortTimeText() override { return "13:45:00"; }
    std::string CurrentFolder() override { return "C:\\work"; }
    char DecimalSeparator() override { return ','; }
    bool FolderExists(const std::string& path) override { return folders.count(path) != 0; }
    bool CreateFolder(const std::string& path) override
    {
        const std::string parent = ExcludeTrailingSlash(ExtractFilePath(path));
        if (!folders.count(parent) || readOnly.count(parent))
            return false;
        ++folderCreations;
        folders.insert(path);
        return true;
    }
    bool CanCreateFile(const std::string& path) override
    {
        const std::string folder = ExcludeTrailingSlash(ExtractFilePath(path));
        return folders.count(folder) && !readOnly.count(folder);
    }
    bool CanOpenFileForReading(const std::string& path) override { return files.count(path) != 0; }
    std::string ReporterDataFolder() override { return reporterFolder; }
    std::string ApplicationFileName() override { return "C:\\Program\\Trader.exe"; }
    std::string SafeComputerName() override { return "PC_1"; }
    uintptr_t ModuleHandleOf(const std::string& fileName) override
    {
        return fileName == "C:\\Program\\Trader.exe" ? 0x400000 : fileName.empty() ? 0 : 0x10000000;
    }
    uintptr_t RunningModuleHandle() override { return runningModule; }
    bool ReadFileBytes(const std::string& path, std::string& bytes) override
    {
        auto it = contents.find(path);
        if (it == contents.end())
            return false;
        bytes = it->second;
        return true;
    }
    bool WriteFileBytes(const std::string& path, const std::string& bytes) override
    {
        if (!CanCreateFile(path))
            return false;
        contents[path] = bytes;
        return true;
    }

private:
    TCorePlatform* previous_;
};
