#include "crashreport/capture/EClassNames.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

#include "framework/SysUtils.h"

std::string DemangledTypeName(const std::type_info& type)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

namespace {

bool NameFits(const std::string& full, std::string_view wanted)
{
    if (SameText(full, wanted))
        return true;
    const size_t colon = full.rfind("::");
    return colon != std::string::npos && SameText(std::string_view(full).substr(colon + 2), wanted);
}

bool Walk(const std::type_info& type, std::string_view wanted, int depth)
{
    if (depth > 64)
        return false;
    if (NameFits(DemangledTypeName(type), wanted))
        return true;
    if (auto single = dynamic_cast<const abi::__si_class_type_info*>(&type))
        return Walk(*single->__base_type, wanted, depth + 1);
    if (auto multi = dynamic_cast<const abi::__vmi_class_type_info*>(&type)) {
        for (unsigned i = 0; i < multi->__base_count; ++i)
            if (Walk(*multi->__base_info[i].__base_type, wanted, depth + 1))
                return true;
    }
    return false;
}

}  // namespace

bool TypeInheritsFromName(const std::type_info& type, std::string_view name)
{
    const std::string wanted = Trim(name);
    return !wanted.empty() && Walk(type, wanted, 0);
}

const std::type_info* ExceptionType(const std::exception_ptr& error)
{
    if (!error)
        return nullptr;
    try {
        std::rethrow_exception(error);
    } catch (...) {
        return abi::__cxa_current_exception_type();
    }
}
