#pragma once
// Small stateless helpers every part of the crash reporter uses: versions, texts, variables
// between percent signs, UTF-8, paths and the guarded initialisation step. No Win32 here;
// what they need from the system goes through CorePlatform().

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "framework/StringList.h"

using TCharSet = std::bitset<256>;
TCharSet MakeCharSet(std::string_view chars);

// Versions: each "."-separated component left-padded with "0" to 5 characters, four of them.
std::string PadVersionComponent(std::string_view text);
std::string NormalizeVersionText(std::string_view version);
bool IsNewerVersion(std::string_view oldVersion, std::string_view newVersion);

// Cuts text at every character of delimiters. Without keepDelimiters the delimiters are
// dropped and the text and each piece trimmed; with it each piece keeps its delimiter.
void SplitTextAtChars(std::string_view text, TStringList& list, const TCharSet& delimiters,
                      bool keepDelimiters, bool addEmpty);
// Skips leading delimiters, then adds each trimmed field; an empty last field is dropped.
void SplitTrimmedFields(const TCharSet& delimiters, std::string_view text, TStringList& list);

// Writes UTF-8 with its terminator into dest (size bytes) and returns the bytes used,
// terminator included; never a partial sequence, never more than size, nothing for size 0.
// A null dest returns the size a full conversion needs.
size_t Utf16ToUtf8Buffer(char* dest, size_t size, const char16_t* text, size_t count);
std::string AnsiToUtf8Text(std::string_view text);

std::string FloatToDotText(double value);
double DotTextToFloat(std::string_view text);  // EConvertError

// Environment variable, else "date", "time" and "cd" (any case), else empty.
std::string GetTextVariableValue(const std::string& name);
// Replaces each %name% by its value; values are not scanned again.
std::string ExpandTextVariables(std::string_view text);

// 1-based position of sub at or after start, 0 when absent. Matches start on characters,
// never on the trail byte of a GBK pair.
size_t FindTextFrom(std::string_view sub, std::string_view text, size_t start);
std::string ReplaceAllText(std::string_view text, std::string_view search, std::string_view replacement);
std::string StripHostSuffix(std::string_view fileName);

// Paths use "\"; a 0x5C that is the second byte of a GBK character is no separator.
std::string IncludeTrailingSlash(std::string_view folder);
std::string ExcludeTrailingSlash(std::string_view folder);
std::string ExtractFilePath(std::string_view path);  // up to and including the last "\"
std::string ExtractFileName(std::string_view path);
std::string ExtractFileExt(std::string_view path);   // from the last "." of the name
std::string ChangeFileExt(std::string_view path, std::string_view ext);

// The application-data folder: the first of the candidates that is not empty, without a
// final "\". The last ones (temp, program folder) keep it from ever being a lone "\".
std::string ChooseAppDataFolder(std::initializer_list<std::string_view> candidates);

// A DOS date and time as days since 1899-12-30; 0 for a date that can't be one.
double DosDateTimeToDateTime(uint16_t dosDate, uint16_t dosTime);

bool ForceFolders(std::string_view folder);
// Finds a place where the file can be used: where it is, else in the reporter data folder
// (in the program's sub-folder when perProgramFolder). Updates path on success.
bool ResolveAccessibleFilePath(std::string& path, bool perProgramFolder, bool readOnly);

bool IsRunningInIde();
// Sets the flag from the main module's file name.
void DetectRunningInIde(std::string_view mainModuleFileName);

// Runs a unit's initialisation or finalisation. Nothing escapes: a failure goes to the
// critical-error notifier when one is installed, else to the internal-error procedure.
using TCriticalErrorNotifier = void (*)(const std::string& text);
using TInternalErrorProc = void (*)(const std::string& section, const std::string& text);
void SetCriticalErrorNotifier(TCriticalErrorNotifier notifier);
void SetInternalErrorProc(TInternalErrorProc proc);
void RunGuardedStep(void (*procedure)(), const char* stepName);
// The text of the last failed step that no procedure took.
const std::string& LastCriticalErrorText();
