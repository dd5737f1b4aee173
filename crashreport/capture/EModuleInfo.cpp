#include "crashreport/capture/EModuleInfo.h"

#include <algorithm>

#include "crashreport/capture/EDebugModel.h"
#include "crashreport/capture/EOptions.h"

void TVurazaFunctionsList::SortByAddress()
{
    std::stable_sort(items_.begin(), items_.end(),
                     [](const TVurazaFunctionInfo& a, const TVurazaFunctionInfo& b) { return a.Address < b.Address; });
}

TVurazaModuleInfo::TVurazaModuleInfo() = default;
TVurazaModuleInfo::~TVurazaModuleInfo() = default;

uint32_t PriorityClassOfBasePriority(int32_t basePriority)
{
    if (basePriority == 0)
        return 0;
    if (basePriority < 6)
        return 64;
    if (basePriority < 8)
        return 0x4000;
    if (basePriority < 10)
        return 32;
    if (basePriority < 13)
        return 0x8000;
    if (basePriority > 23)
        return 256;
    return 128;
}

std::string PriorityText(uint32_t priorityClass)
{
    switch (priorityClass) {
    case 32: return "Normal";
    case 64: return "Low";
    case 128: return "High";
    case 256: return "Real-Time";
    case 0x4000: return "Below-Normal";
    case 0x8000: return "Above-Normal";
    default: return "";
    }
}

std::string ThreadCountText(uint32_t count)
{
    return count ? std::to_string(count) : "??";
}

std::string ModuleFolderText(const std::string& fileName)
{
    std::string name = fileName;
    if (name.rfind("\\??\\", 0) == 0)
        name.erase(0, 4);
    // The last "\" that is not the trail byte of a GBK pair.
    size_t slash = std::string::npos;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < name.size()) {
            ++i;
            continue;
        }
        if (c == '\\')
            slash = i;
    }
    if (slash == std::string::npos)
        return "";
    if (slash == 2 && name[1] == ':')
        return name.substr(0, 3);  // a drive root keeps its backslash
    return name.substr(0, slash);
}

std::string SizeInKbText(uint64_t bytes)
{
    if (bytes == 0)
        return "";
    return std::to_string((bytes + 512) / 1024) + " Kb";
}

std::string VersionFamilyText(const std::string& version)
{
    const size_t first = version.find('.');
    if (first == std::string::npos)
        return version;
    const size_t second = version.find('.', first + 1);
    if (second == std::string::npos)
        return version;
    return version.substr(0, second + 1) + "x";
}
