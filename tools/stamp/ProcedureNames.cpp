#include "tools/stamp/ProcedureNames.h"

#include <cxxabi.h>

#include <cctype>
#include <cstdlib>
#include <vector>

std::string DemangleSymbol(std::string_view symbol)
{
    std::string name(symbol);
    if (!name.empty() && name[0] == '_')
        name.erase(0, 1);
    // stdcall and fastcall decorations, of C and C++ names alike: "Foo@12", "_ZN4TFoo4ProcEPv@4"
    // (window and thread procedures); the demangler knows no such suffix.
    const size_t at = name.rfind('@');
    if (at != std::string::npos && at > 0 &&
        name.find_first_not_of("0123456789", at + 1) == std::string::npos)
        name.erase(at);
    if (name.rfind("_Z", 0) != 0)
        return name;
    int status = 0;
    char* out = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    if (status != 0 || !out)
        return name;
    std::string result(out);
    std::free(out);
    return result;
}

namespace {

bool StartsWithAt(std::string_view s, size_t i, std::string_view word)
{
    return s.substr(i, word.size()) == word;
}

// Index just past a group opened at i ('(' or '<'), counting nested brackets of both kinds.
size_t GroupEnd(std::string_view s, size_t i)
{
    int depth = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '(' || c == '<' || c == '[' || c == '{')
            ++depth;
        else if (c == ')' || c == '>' || c == ']' || c == '}') {
            if (--depth == 0)
                return i + 1;
        }
    }
    return s.size();
}

}  // namespace

TProcedureName SplitProcedureName(std::string_view s)
{
    // Drop a clone suffix: "f() [clone .cold]".
    if (const size_t clone = s.find(" [clone "); clone != std::string_view::npos)
        s = s.substr(0, clone);
    // Walk the top level, cutting at "::", at a blank that ends a return type, and at the
    // parameter list. Operator names hold brackets of their own and are taken whole.
    std::vector<std::string> parts;
    std::string current;
    size_t i = 0;
    while (i < s.size()) {
        if (StartsWithAt(s, i, "operator") && (i + 8 >= s.size() || !std::isalnum(static_cast<unsigned char>(s[i + 8])))) {
            size_t j = i + 8;
            if (StartsWithAt(s, j, "()"))
                j += 2;
            else if (StartsWithAt(s, j, "<<=") || StartsWithAt(s, j, ">>=") || StartsWithAt(s, j, "<=>"))
                j += 3;
            else if (StartsWithAt(s, j, "<<") || StartsWithAt(s, j, ">>") || StartsWithAt(s, j, "<=") ||
                     StartsWithAt(s, j, ">=") || StartsWithAt(s, j, "->") || StartsWithAt(s, j, "[]"))
                j += 2;
            else if (j < s.size() && (s[j] == '<' || s[j] == '>'))
                j += 1;
            // Conversion operators and "operator new[]": up to the parameter list.
            while (j < s.size() && s[j] != '(')
                ++j;
            current.append(s.substr(i, j - i));
            i = j;
            continue;
        }
        const char c = s[i];
        if (c == '(' && StartsWithAt(s, i, "(anonymous namespace)")) {
            current += "(anonymous namespace)";
            i += 21;
        } else if (c == '<' || c == '{') {
            const size_t e = GroupEnd(s, i);
            current.append(s.substr(i, e - i));
            i = e;
        } else if (c == '(') {
            break;  // the parameter list
        } else if (c == ':' && StartsWithAt(s, i, "::")) {
            parts.push_back(current);
            current.clear();
            i += 2;
        } else if (c == ' ') {
            // A blank at the top level ends a return type ("void f<int>(int)").
            parts.clear();
            current.clear();
            ++i;
        } else {
            current += c;
            ++i;
        }
    }
    TProcedureName out;
    out.name = current;
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k)
            out.className += "::";
        out.className += parts[k];
    }
    return out;
}
