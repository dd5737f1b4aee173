// The host build's platform: enough of the system for the helpers' own tests. Windows paths
// are only exercised there through a test platform, so the folders here are placeholders.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>

#include "crashreport/capture/ECorePlatform.h"

namespace {

std::string NowText(const char* format)
{
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char buf[64];
    std::strftime(buf, sizeof buf, format, &parts);
    return buf;
}

class TPosixPlatform : public TCorePlatform {
public:
    bool GetEnvironment(const std::string& name, std::string& value) override
    {
        const char* v = std::getenv(name.c_str());
        if (!v)
            return false;
        value = v;
        return true;
    }
    std::string ShortDateText() override { return NowText("%Y-%m-%d"); }
    std::string ShortTimeText() override { return NowText("%H:%M:%S"); }
    std::string CurrentFolder() override
    {
        char buf[4096];
        return getcwd(buf, sizeof buf) ? buf : "";
    }
    char DecimalSeparator() override { return '.'; }
    bool FolderExists(const std::string& path) override
    {
        struct stat st{};
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    bool CreateFolder(const std::string& path) override { return mkdir(path.c_str(), 0777) == 0; }
    bool CanCreateFile(const std::string& path) override
    {
        const bool existed = access(path.c_str(), F_OK) == 0;
        std::FILE* f = std::fopen(path.c_str(), existed ? "r+" : "w+");
        if (!f)
            return false;
        std::fclose(f);
        if (!existed)
            std::remove(path.c_str());
        return true;
    }
    bool CanOpenFileForReading(const std::string& path) override
    {
        std::FILE* f = std::fopen(path.c_str(), "r");
        if (!f)
            return false;
        std::fclose(f);
        return true;
    }
    std::string ReporterDataFolder() override { return "/tmp\\DuruvaDod"; }
    std::string ApplicationFileName() override { return "/proc/self/exe"; }
    std::string SafeComputerName() override { return "HOST"; }
    uintptr_t ModuleHandleOf(const std::string& fileName) override { return fileName.empty() ? 0 : 1; }
    uintptr_t RunningModuleHandle() override { return 1; }
    bool ReadFileBytes(const std::string& path, std::string& bytes) override
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return false;
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return true;
    }
    bool WriteFileBytes(const std::string& path, const std::string& bytes) override
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out);
    }
};

}  // namespace

TCorePlatform& SystemCorePlatform()
{
    static TPosixPlatform platform;
    return platform;
}
