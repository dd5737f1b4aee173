#pragma once
// The plain-text report of one exception: banner, the seven numbered general sections, the
// call-stack, modules and processes tables, the assembler listing and the CPU section.
// Everything the system knows arrives as facts and through the memory reader, so the text is
// built the same from a live process and from a test's data.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/capture/EAsmListing.h"
#include "crashreport/capture/EThreadHeader.h"

class TVurazaModuleOptions;

constexpr const char* ReportProductVersion = "6.1.01 RC 1";

// Times are day counts since 1899-12-30 (local time), as the report's dates are kept.
struct TReportAdapter {
    std::string IpAddress, SubnetMask, Gateway;  // dotted; empty when missing
    std::vector<std::string> DnsServers;
    bool DnsListReadable = true;
    bool Dhcp = false;
};

struct TReportPrivilege {
    std::string Name;
    bool Enabled = false;
};

struct TReportGeneralFacts {
    double StartTime = 0;
    double ExceptionTime = 0;
    int TimeZoneMinutes = 0;  // local time minus UTC
    std::string ProgramFileName, ProgramDescription, ApplicationVersion;
    std::string CommandLine;
    double CompilationDate = 0;  // 0: the module record has none
    uint32_t ExceptionAddress = 0;
    std::string ExceptModuleName, ExceptModuleDescription, ExceptModuleVersion;
    std::string ExceptionClass;    // empty: not a valid object
    std::string ExceptionMessage;  // as the object carries it (see AccessViolationMessage)
    bool IsExceptionObject = true;
    std::string BugId;
    std::string UserId, UserName, UserEmail, Company;
    bool VistaOrLater = true;
    std::vector<TReportPrivilege> Privileges;
    std::string FormClass, FormText, ControlClass, ControlText;
    bool IsConsoleProgram = false, IsWebServerApplication = false;
    std::string ComputerName;
    uint64_t TotalMemory = 0, FreeMemory = 0;  // bytes
    bool DiskKnown = false;
    uint64_t TotalDisk = 0, FreeDisk = 0;  // bytes
    uint64_t SystemTickMilliseconds = 0;
    std::string ProcessorNameString, VendorIdentifier, Identifier;
    int ScreenWidth = 0, ScreenHeight = 0, BitsPerPixel = 0, Dpi = 0;
    std::string VideoAdapterName, VideoDriverVersion;
    uint64_t VideoMemory = 0;  // bytes; 0 unknown
    bool HasDefaultPrinter = false;
    std::string PrinterDriverName, PrinterDriverVersion;
    std::string OsType, OsBuild, OsUpdate, OsLanguage;
    int Charset = 0;
    bool NetworkAvailable = true;
    std::vector<TReportAdapter> Adapters;
};

// One frame or thread of the stack list: kinds 0 nothing found, 1 module, 2 procedure,
// 3 unit and procedure, 4 with a line.
struct TReportStackItem {
    int Kind = 0;
    std::string ModuleFileName;
    uint32_t ThreadId = 0;
    uint8_t Group = 1;
    uint8_t First = 0;
    uint32_t Address = 0;
    std::string UnitName, ClassName, ProcedureName;
    uint32_t Line = 0, LineDistance = 0;
    TThreadHeaderFacts Thread;
};

struct TReportModule {
    uint32_t Handle = 0;
    std::string FileName, Description, Version;
    uint64_t Size = 0;
    double Modified = 0;
    std::string Path;
};

struct TReportProcess {
    uint32_t Id = 0;
    std::string FileName, Description, Version;
    uint64_t Memory = 0;
    std::string Priority;
    uint32_t Threads = 0;
    std::string Path;
};

struct TReportFacts {
    TReportGeneralFacts General;
    bool HasStackList = false;
    std::vector<TReportStackItem> StackList;
    std::vector<TReportModule> Modules;
    std::vector<TReportProcess> Processes;
    // Assembler and CPU sections.
    uint32_t StackPointer = 0;
    bool HasContext = false;
    TCpuRegisters Registers{};
    TListingMemory* Memory = nullptr;
    TListingSymbols* Symbols = nullptr;
};

struct TReportText {
    std::string LastReportText;
    std::string LogReportText;
    std::string ExceptionClassText;
    std::string ExceptionMessageText;
    std::string Header;  // for the console and web outputs; not part of the report
};

TReportText BuildReportText(const TReportFacts& facts, const TVurazaModuleOptions& options);

// A section added to a built report after its general part, the one after section number (its
// items numbered number + 1), headed by header,
// with one unnamed item holding value, or (ReportListSection) one item per "name=value" line,
// name and value trimmed; a list without lines gives no section.
std::string ReportItemSection(int number, std::string_view header, std::string_view value);
std::string ReportListSection(int number, std::string_view header, const std::vector<std::string>& lines);
// Puts the section into the report just after its general part (before the first table), an
// empty line on each side, where the log's readers take it for a general section.
void InsertAfterGeneralPart(std::string& report, std::string_view section);
// The banner and the general sections.
std::string FillGeneralSections(const TReportGeneralFacts& facts, const TVurazaModuleOptions& options,
                                TReportText* out = nullptr);

// CR, LF and a "|" of its own become "?" (a 0x7C trail byte stays part of its character), and
// so does a lead byte without its trail.
std::string CleanTableCell(std::string_view text);
std::string SectionTitleBlock(std::string_view title);
// "|" + each value padded or cut to its width + "|" CR LF; a cut never splits a character.
void WriteTableRow(std::string& out, const std::vector<std::string>& values, const std::vector<size_t>& widths);

// Value forms.
std::string ReportMailDate(double localTime, int timeZoneMinutes);
std::string MegabyteText(uint64_t bytes);
std::string GigabyteText(uint64_t bytes);
std::string PaddedIpAddress(std::string_view dotted);
// The command line after its first token, as Windows splits it.
std::string CommandLineParameters(std::string_view commandLine);
// moduleFileName empty: the code address lies in no module with a file name.
std::string AccessViolationMessage(uint32_t codeAddress, std::string_view moduleFileName, bool write,
                                   uint32_t dataAddress);
std::string NetworkValues(const std::vector<TReportAdapter>& adapters, int which);
std::string ProcessorText(std::string_view nameString, std::string_view vendor, std::string_view identifier);
std::string VideoCardText(std::string_view adapter, std::string_view driverVersion, uint64_t memoryBytes);
std::string PrinterText(bool hasDefault, std::string_view driverName, std::string_view driverVersion);
