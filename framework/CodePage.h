#pragma once
// Conversions between the program's GBK texts (code page 936) and the encodings at its
// boundaries. Code page 936 is always named explicitly: the system code page plays no part.

#include <string>
#include <string_view>

// GBK bytes that form no character become '?'.
std::string GbkToUtf8(std::string_view gbk);
// Malformed UTF-8 raises EConvertError; characters GBK lacks become '?'.
std::string Utf8ToGbk(std::string_view utf8);
// The same, appended to out.
void AppendUtf8AsGbk(std::string& out, std::string_view utf8);

#ifdef _WIN32
std::wstring GbkToWide(std::string_view gbk);
std::string WideToGbk(std::wstring_view wide);
#endif
