#pragma once
// The rich text of the detailed dialog's text pages: the report part escaped, its lines
// coloured, wrapped in a document that always declares code page 936 and character set 134,
// the program's own text code page, whatever the system's. No Win32 here.

#include <string>
#include <string_view>

// Backslash, braces and line breaks become RTF; every double-byte character is written as two
// \'hh escapes, so a trail byte 0x5C, 0x7B or 0x7D stays part of its character.
std::string EscapeRtfText(std::string_view text);

std::string ColorGeneralRtf(std::string_view escaped);
std::string ColorAssemblerRtf(std::string_view escaped);
// tabTwips: the tab stop of line 8 (15 times the pixel width of 21 dashes in the font).
std::string ColorCpuRtf(std::string_view escaped, int tabTwips);

std::string RtfDocument(std::string_view monospaceFace, int pointSize, std::string_view coloredBody);

enum class TRichPage { General, Assembler, Cpu };
std::string BuildPageRtf(TRichPage page, std::string_view text, std::string_view monospaceFace, int pointSize,
                         int tabTwips);
