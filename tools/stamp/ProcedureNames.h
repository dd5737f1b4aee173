#pragma once
// Procedure names as a report shows them: the demangled name cut into the enclosing scope
// (the "class") and the procedure, without parameters or return type.

#include <string>
#include <string_view>

struct TProcedureName {
    std::string className;
    std::string name;
};

// A COFF symbol of the i686 target: the leading underscore dropped, C++ names demangled.
std::string DemangleSymbol(std::string_view symbol);
// "ns::TFoo::Bar(int) const" -> {"ns::TFoo", "Bar"}; "main" -> {"", "main"}.
TProcedureName SplitProcedureName(std::string_view demangled);
