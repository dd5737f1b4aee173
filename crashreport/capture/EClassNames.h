#pragma once
// Class-name ancestry of C++ exceptions: "the class or an ancestor bears the name", decided
// by walking the type information and its bases, as the reporter matches classes by name.

#include <exception>
#include <string>
#include <string_view>
#include <typeinfo>

std::string DemangledTypeName(const std::type_info& type);
// True when the type or one of its bases is called name: the full demangled name or its last
// "::" component, name trimmed, ASCII case ignored.
bool TypeInheritsFromName(const std::type_info& type, std::string_view name);
// The type of the object an exception_ptr holds; nullptr for an empty one.
const std::type_info* ExceptionType(const std::exception_ptr& error);
