#include "crashreport/capture/EReporterUnits.h"

#include <cctype>
#include <iterator>

#include "crashreport/capture/EReporterUnitNames.h"

size_t ReporterUnitCount()
{
    return std::size(ReporterUnitNames);
}

std::string_view ReporterUnitName(size_t index)
{
    return index < std::size(ReporterUnitNames) ? ReporterUnitNames[index] : std::string_view();
}

bool IsReporterUnit(std::string_view unitName)
{
    for (std::string_view name : ReporterUnitNames) {
        if (name.size() != unitName.size())
            continue;
        size_t i = 0;
        while (i < name.size() && std::tolower(static_cast<unsigned char>(name[i])) ==
                                      std::tolower(static_cast<unsigned char>(unitName[i])))
            ++i;
        if (i == name.size())
            return true;
    }
    return false;
}
