#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "crashreport/capture/EDialogRoad.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EReportSources.h"
#include "crashreport/capture/EReportText.h"
#include "crashreport/capture/EUtils.h"
#include "crashreport/delivery/ELogFile.h"
#include "crashreport/delivery/EXml.h"
#include "framework/SysUtils.h"

namespace {

double Day(int days, int h, int m, int s) { return days + h / 24.0 + m / 1440.0 + s / 86400.0; }

// The code round the fault (Button1Click and the procedure it calls), a string it pushes and
// the stack the CPU section dumps.
class TFakeMemory : public TListingMemory {
public:
    struct TRegion {
        uint32_t base;
        std::vector<uint8_t> bytes;
    };
    std::vector<TRegion> regions = {
        {0x00401A00, CodeBytes()}, {0x0012FF00, StackBytes()}, {0x00405000, {'O', 'r', 'd', 'e', 'r', ' ', '%', 's', 0}}};
    bool IsReadable(uint32_t address, size_t count) override { return Find(address, count) != nullptr; }
    bool Read(uint32_t address, void* dest, size_t count) override
    {
        const TRegion* r = Find(address, count);
        if (!r) return false;
        std::memcpy(dest, r->bytes.data() + (address - r->base), count);
        return true;
    }

private:
    const TRegion* Find(uint32_t address, size_t count) const
    {
        for (const TRegion& r : regions)
            if (address >= r.base && address - r.base + count <= r.bytes.size()) return &r;
        return nullptr;
    }
    static std::vector<uint8_t> CodeBytes()
    {
        std::vector<uint8_t> bytes = {
            0x55,                                      // 00401A00 push ebp
            0x8B, 0xEC,                                // 00401A01 mov ebp, esp
            0x83, 0xEC, 0x08,                          // 00401A03 sub esp, 8
            0x53,                                      // 00401A06 push ebx
            0x56,                                      // 00401A07 push esi
            0x8B, 0xD8,                                // 00401A08 mov ebx, eax
            0x8B, 0x75, 0x08,                          // 00401A0A mov esi, [ebp+8]
            0x68, 0x00, 0x50, 0x40, 0x00,              // 00401A0D push 00405000
            0xE8, 0xE9, 0x05, 0x00, 0x00,              // 00401A12 call 00402000
            0x8B, 0x83, 0xF4, 0x01, 0x00, 0x00,        // 00401A17 mov eax, [ebx+1F4]
            0x85, 0xC0,                                // 00401A1D test eax, eax
            0x74, 0x0B,                                // 00401A1F je 00401A2C
            0x8D, 0x44, 0x24, 0x04,                    // 00401A21 lea eax, [esp+4]
            0x66, 0x89, 0x46, 0x02,                    // 00401A25 mov [esi+2], ax
            0x0F, 0x44, 0xC1,                          // 00401A29 cmove eax, ecx
            0xC6, 0x00, 0x05,                          // 00401A2C mov byte ptr [eax], 5: the fault
            0x64, 0x8B, 0x0D, 0x00, 0x00, 0x00, 0x00,  // 00401A2F mov ecx, fs:[0]
            0xDD, 0x45, 0xF8,                          // 00401A36 fld qword ptr [ebp-8]
            0x5E,                                      // 00401A39 pop esi
            0x5B,                                      // 00401A3A pop ebx
            0x8B, 0xE5,                                // 00401A3B mov esp, ebp
            0x5D,                                      // 00401A3D pop ebp
            0xC2, 0x04, 0x00,                          // 00401A3E ret 4
        };
        // Then every printable byte and a few that are not.
        for (size_t i = bytes.size(); i < 0x200; ++i) bytes.push_back(static_cast<uint8_t>(0x1E + (i - 0x41) % 0x64));
        return bytes;
    }
    static std::vector<uint8_t> StackBytes()
    {
        std::vector<uint8_t> bytes;
        for (uint32_t i = 0; i < 16; ++i)
            for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<uint8_t>((0xC0DE0000u + i * 0x111) >> (8 * k)));
        return bytes;
    }
};

// Button1Click's lines 11 and 12 (the fault), and the procedure it calls.
class TGoldenSymbols : public TListingSymbols {
public:
    void LookupWithDebugSource(uint32_t address, TCodeLocation& location) override
    {
        location = TCodeLocation{};
        if (address >= 0x00401A00 && address < 0x00401A41) {
            location.Kind = 4;
            location.UnitName = "Unit1.pas";
            location.ClassName = "TForm1";
            location.ProcedureName = "Button1Click";
            location.Line = address < 0x00401A2C ? 11 : 12;
            location.LineDistance = address < 0x00401A2C ? 2 : 3;
        } else if (address == 0x00402000) {
            location.Kind = 3;
            location.UnitName = "Unit2.pas";
            location.ProcedureName = "ProcessOrder";
        }
    }
};

class TMemoryStore : public TLogFileStore {
public:
    explicit TMemoryStore(std::shared_ptr<std::string> file) : file_(std::move(file)) {}
    std::optional<std::string> Read() override
    {
        if (file_->empty()) return std::nullopt;
        return *file_;
    }
    void Write(std::string_view text) override { *file_ = std::string(text); }

private:
    std::shared_ptr<std::string> file_;
};

TReportGeneralFacts GoldenGeneral()
{
    TReportGeneralFacts f;
    f.StartTime = Day(46366, 8, 0, 0);
    f.ExceptionTime = Day(46367, 20, 1, 1);
    f.TimeZoneMinutes = 480;
    f.ProgramFileName = "Vidudo.exe";
    f.ProgramDescription = "Vidudo trading client";
    f.ApplicationVersion = "1.0.0.7";
    f.CommandLine = " \"C:\\Program Files\\Vidudo\\Vidudo.exe\" -site 2 /log ";
    f.CompilationDate = Day(46357, 2, 0, 0);
    f.ExceptionAddress = 0x00401A2C;
    f.ExceptModuleName = "Vidudo.exe";
    f.ExceptModuleDescription = "Vidudo trading client";
    f.ExceptModuleVersion = "1.0.0.7";
    f.ExceptionClass = "EAccessViolation";
    f.ExceptionMessage = "Access violation at address 00401A2C";
    f.BugId = "1A2B3C4D";
    f.UserId = "trader";
    f.UserName = "Li Wei";
    f.UserEmail = "li.wei@example.com";
    f.Company = "Vidudo Securities";
    f.Privileges = {{"SeDebugPrivilege", true}, {"SeShutdownPrivilege", false}};
    f.FormClass = "TMainForm";
    f.FormText = "Vidudo\r\n- main";
    f.ControlClass = "TEdit";
    f.ControlText = "600123";
    f.ComputerName = "TRADER-PC";
    f.TotalMemory = (4096ull << 20) + (1 << 19);
    f.FreeMemory = 3ull << 19;
    f.DiskKnown = true;
    f.TotalDisk = 500107862016ull;
    f.FreeDisk = 100ull << 30;
    f.SystemTickMilliseconds = 90061000;
    f.ProcessorNameString = "  Intel(R) Core(TM) i5 CPU  ";
    f.ScreenWidth = 1920;
    f.ScreenHeight = 1080;
    f.BitsPerPixel = 32;
    f.Dpi = 96;
    f.VideoAdapterName = "Wine Display ";
    f.VideoDriverVersion = "6.0.0.1";
    f.VideoMemory = 256ull << 20;
    f.HasDefaultPrinter = true;
    f.PrinterDriverName = "XPS Writer";
    f.PrinterDriverVersion = "6.1. 7600.16385";
    f.OsType = "Microsoft Windows 7";
    f.OsBuild = "7601";
    f.OsUpdate = " Service Pack 1 ";
    f.OsLanguage = "Chinese";
    f.Charset = 134;
    TReportAdapter first;
    first.IpAddress = "192.168.1.20";
    first.SubnetMask = "255.255.255.0";
    first.Gateway = "192.168.1.1";
    first.DnsServers = {"192.168.1.1"};
    first.Dhcp = true;
    TReportAdapter second;
    second.IpAddress = "10.0.0.5";
    second.SubnetMask = "255.0.0.0";
    second.DnsServers = {"10.0.0.1", "10.0.0.2"};
    second.DnsListReadable = false;
    f.Adapters = {first, second};
    return f;
}

TReportStackItem Frame(int kind, uint32_t address, const char* module, const char* unit, const char* cls,
                       const char* proc, uint32_t line, uint32_t distance)
{
    TReportStackItem it;
    it.Kind = kind;
    it.Address = address;
    it.ModuleFileName = module;
    it.UnitName = unit;
    it.ClassName = cls;
    it.ProcedureName = proc;
    it.Line = line;
    it.LineDistance = distance;
    return it;
}

TReportFacts GoldenFacts()
{
    TReportFacts facts;
    facts.General = GoldenGeneral();
    TThreadHeaderFacts faulting;
    faulting.IsExceptionThread = true;
    faulting.ThreadId = 1111;
    faulting.Priority = "Normal";
    faulting.ThreadName = "Or|d\r\n";
    std::vector<TReportStackItem> own = {
        Frame(4, 0x00401A2C, "Vidudo.exe", "Unit1", "TForm1", "Button1Click", 12, 3),
        Frame(4, 0x00401B00, "Vidudo.exe", "Unit1", "TForm1", "DoWork", 40, 7),
        Frame(3, 0x00402000, "Vidudo.exe", "Unit2", "", "ProcessOrder", 0, 0),
        Frame(1, 0x7C900000, "ntdll.dll", "", "", "", 0, 0),  // module only: never listed
        Frame(2, 0x7C801000, "kernel32.dll", "", "", "LoadLibraryA", 0, 0),
        Frame(4, 0x00403000, "Vidudo.exe", "Threads", "TWorker", "Execute", 88, 2),
        Frame(4, 0x00403100, "Vidudo.exe", "Threads", "TWorker", "Start", 20, 0),
    };
    for (size_t i = 0; i < own.size(); ++i) {
        own[i].ThreadId = 1111;
        own[i].Thread = faulting;
        own[i].First = i == 0;
        own[i].Group = i < 5 ? 1 : 0;
        own[i].Thread.Group = own[i].Group;
    }
    TReportStackItem running = Frame(2, 0x7C90E4F4, "ntdll.dll", "", "", "KiFastSystemCallRet", 0, 0);
    running.ThreadId = 2222;
    running.Thread.ThreadId = 2222;
    running.Thread.Priority = "Higher";
    running.Thread.IsMainThread = true;
    running.Thread.ThreadName = "Feed";
    facts.HasStackList = true;
    facts.StackList = own;
    facts.StackList.push_back(running);
    facts.Modules = {
        {0x00400000, "Vidudo.exe", "Vidudo trading client", "1.0.0.7", 2345678, Day(46357, 2, 0, 0),
         "C:\\Program Files\\Vidudo\\"},
        {0x7C800000, "kernel32.dll", "Windows NT BASE API|Client\r\nDLL", "5.1.2600.5781", 989696,
         Day(39552, 12, 0, 0), "C:\\WINDOWS\\system32\\"},
    };
    facts.Processes = {
        {1234, "Vidudo.exe", "Vidudo trading client", "1.0.0.7", 52428800, "Normal", 12, "C:\\Program Files\\Vidudo\\"},
        {4, "System", "", "", 245760, "Normal", 0, ""},
    };
    facts.StackPointer = 0x0012FF00;
    return facts;
}

// Written by hand from the layout rules: rows padded to their column, rules as wide as the table.
const char* const kGoldenLines[] = {
    "DuruvaDod 6.1.01 RC 1",
    "",
    "Application:",
    "------------------------------------------------------------",
    "  1.1 Start Date      : Thu, 10 Dec 2026 08:00:00 +0800",
    "  1.2 Name/Description: Vidudo.exe - (Vidudo trading client)",
    "  1.3 Version Number  : 1.0.0.7",
    "  1.4 Parameters      : -site 2 /log",
    "  1.5 Compilation Date: Tue, 1 Dec 2026 10:00:00 +0800",
    "  1.6 Up Time         : 1 day, 12 hours, 1 minute, 1 second",
    "",
    "Exception:",
    "-----------------------------------------------------------",
    "  2.1 Date          : Fri, 11 Dec 2026 20:01:01 +0800",
    "  2.2 Address       : 00401A2C",
    "  2.3 Module Name   : Vidudo.exe - (Vidudo trading client)",
    "  2.4 Module Version: 1.0.0.7",
    "  2.5 Type          : EAccessViolation",
    "  2.6 Message       : Access violation at address 00401A2C.",
    "  2.7 ID            : 1A2B3C4D",
    "  2.8 Count         : 1",
    "  2.9 Status        : New",
    "  2.10 Note         : ",
    "",
    "User:",
    "-------------------------------------------------------",
    "  3.1 ID        : trader",
    "  3.2 Name      : Li Wei",
    "  3.3 Email     : li.wei@example.com",
    "  3.4 Company   : Vidudo Securities",
    "  3.5 Privileges: SeDebugPrivilege                - ON",
    "                  SeShutdownPrivilege             - OFF",
    "                  .",
    "",
    "Active Controls:",
    "----------------------------------",
    "  4.1 Form Class   : TMainForm",
    "  4.2 Form Text    : Vidudo - main",
    "  4.3 Control Class: TEdit",
    "  4.4 Control Text : 600123",
    "",
    "Computer:",
    "----------------------------------------------------------------",
    "  5.1 Name          : TRADER-PC",
    "  5.2 Total Memory  : 4096 Mb",
    "  5.3 Free Memory   : 2 Mb",
    "  5.4 Total Disk    : 465.76 Gb",
    "  5.5 Free Disk     : 100 Gb",
    "  5.6 System Up Time: 1 day, 1 hour, 1 minute, 1 second",
    "  5.7 Processor     : Intel(R) Core(TM) i5 CPU",
    "  5.8 Display Mode  : 1920 x 1080, 32 bit",
    "  5.9 Display DPI   : 96",
    "  5.10 Video Card   : Wine Display (driver 6.0.0.1 - RAM 256 MB)",
    "  5.11 Printer      : XPS Writer (driver 6.1.7600.16385)",
    "",
    "Operating System:",
    "-----------------------------------",
    "  6.1 Type    : Microsoft Windows 7",
    "  6.2 Build # : 7601",
    "  6.3 Update  : Service Pack 1",
    "  6.4 Language: Chinese",
    "  6.5 Charset : 134",
    "",
    "Network:",
    "---------------------------------------------------",
    "  7.1 IP Address: 192.168.001.020 - 010.000.000.005",
    "  7.2 Submask   : 255.255.255.000 - 255.000.000.000",
    "  7.3 Gateway   : 192.168.001.001 - 000.000.000.000",
    "  7.4 DNS 1     : 192.168.001.001 - 000.000.000.000",
    "  7.5 DNS 2     : 000.000.000.000 - 000.000.000.000",
    "  7.6 DHCP      : ON              - OFF            ",
    "",
    "Call Stack Information:",
    "-----------------------------------------------------------------",
    "|Address |Module      |Unit   |Class  |Procedure/Method   |Line |",
    "-----------------------------------------------------------------",
    "|*Exception Thread: ID=1111; Priority=Normal; Class= (Or?d?\?)   |",
    "|---------------------------------------------------------------|",
    "|00401A2C|Vidudo.exe  |Unit1  |TForm1 |Button1Click       |12[3]|",
    "|00401B00|Vidudo.exe  |Unit1  |TForm1 |DoWork             |40[7]|",
    "|00402000|Vidudo.exe  |Unit2  |       |ProcessOrder       |     |",
    "|7C801000|kernel32.dll|       |       |LoadLibraryA       |     |",
    "|---------------------------------------------------------------|",
    "|Calling Thread: ID=1111; Priority=Normal; Class= (Or?d?\?)      |",
    "|---------------------------------------------------------------|",
    "|00403000|Vidudo.exe  |Threads|TWorker|Execute            |88[2]|",
    "|00403100|Vidudo.exe  |Threads|TWorker|Start              |20[0]|",
    "|---------------------------------------------------------------|",
    "|                                                               |",
    "|Running Thread: ID=2222; Priority=Higher; Class=; [Main] (Feed)|",
    "|---------------------------------------------------------------|",
    "|7C90E4F4|ntdll.dll   |       |       |KiFastSystemCallRet|     |",
    "-----------------------------------------------------------------",
    "",
    "Modules Information:",
    "--------------------------------------------------------------------------------------------------------------------------",
    "|Handle  |Name        |Description                    |Version      |Size   |Modified           |Path                    |",
    "--------------------------------------------------------------------------------------------------------------------------",
    "|00400000|Vidudo.exe  |Vidudo trading client          |1.0.0.7      |2345678|2026-12-01 02:00:00|C:\\Program Files\\Vidudo\\|",
    "|7C800000|kernel32.dll|Windows NT BASE API?Client??DLL|5.1.2600.5781|989696 |2008-04-14 12:00:00|C:\\WINDOWS\\system32\\    |",
    "--------------------------------------------------------------------------------------------------------------------------",
    "",
    "Processes Information:",
    "--------------------------------------------------------------------------------------------------",
    "|ID  |Name      |Description          |Version|Memory  |Priority|Threads|Path                    |",
    "--------------------------------------------------------------------------------------------------",
    "|1234|Vidudo.exe|Vidudo trading client|1.0.0.7|52428800|Normal  |12     |C:\\Program Files\\Vidudo\\|",
    "|4   |System    |                     |       |245760  |Normal  |??     |                        |",
    "--------------------------------------------------------------------------------------------------",
    "",
};

// The listing round the fault, its comments aligned two columns after the longest code part.
std::string GoldenListing()
{
    const auto pad = [](std::string code) { return code.append(55 - code.size(), ' '); };
    const std::string lines[] = {
        "Assembler Information:",
        std::string(70, '-'),
        "; Unit1.TForm1.Button1Click (Line=11 - Offset=2)",
        "; ----------------------------------------------",
        "00401A08  mov     ebx, eax",
        "00401A0A  mov     esi, [ebp+$08]",
        pad("00401A0D  push    $00405000") + "; 'Order %s'",
        "00401A12  call    Unit2.ProcessOrder",
        "00401A17  mov     eax, [ebx+$01F4]",
        "00401A1D  test    eax, eax",
        "00401A1F  jz      Unit1.TForm1.Button1Click (Line=12)",
        "00401A21  lea     eax, [esp+$04]",
        "00401A25  mov     [esi+$02], ax",
        "00401A29  cmovz   eax, ecx",
        ";",
        "; Line=12 - Offset=3",
        "; ------------------",
        pad("00401A2C  mov     byte ptr [eax], $05") + "; <-- EXCEPTION",
        "00401A2F  mov     ecx, fs:[$0000]",
        "00401A36  fld     qword ptr [ebp-$08]",
        "00401A39  pop     esi",
        "00401A3A  pop     ebx",
        "00401A3B  mov     esp, ebp",
        "00401A3D  pop     ebp",
        "00401A3E  ret     $0004",
    };
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// The registers of the context, the 16 stack values and the 256 bytes from the fault on.
const char* const kGoldenCpuLines[] = {
    "Registers:",
    "-----------------------------",
    "EAX: 00000001   EDI: 00000002",
    "EBX: 00000003   ESI: 00000004",
    "ECX: 00000005   ESP: 0012FF00",
    "EDX: 00000007   EIP: 00401A2C",
    "",
    "Stack:               Memory Dump:",
    "------------------   ---------------------------------------------------------------------------",
    "0012FF00: C0DE0000   00401A2C: C6 00 05 64 8B 0D 00 00 00 00 DD 45 F8 5E 5B 8B  ...d.......E.^[.",
    "0012FF04: C0DE0111   00401A3C: E5 5D C2 04 00 1E 1F 20 21 22 23 24 25 26 27 28  .]..... !\"#$%&'(",
    "0012FF08: C0DE0222   00401A4C: 29 2A 2B 2C 2D 2E 2F 30 31 32 33 34 35 36 37 38  )*+,-./012345678",
    "0012FF0C: C0DE0333   00401A5C: 39 3A 3B 3C 3D 3E 3F 40 41 42 43 44 45 46 47 48  9:;<=>?@ABCDEFGH",
    "0012FF10: C0DE0444   00401A6C: 49 4A 4B 4C 4D 4E 4F 50 51 52 53 54 55 56 57 58  IJKLMNOPQRSTUVWX",
    "0012FF14: C0DE0555   00401A7C: 59 5A 5B 5C 5D 5E 5F 60 61 62 63 64 65 66 67 68  YZ[\\]^_`abcdefgh",
    "0012FF18: C0DE0666   00401A8C: 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78  ijklmnopqrstuvwx",
    "0012FF1C: C0DE0777   00401A9C: 79 7A 7B 7C 7D 7E 7F 80 81 1E 1F 20 21 22 23 24  yz{|}~..... !\"#$",
    "0012FF20: C0DE0888   00401AAC: 25 26 27 28 29 2A 2B 2C 2D 2E 2F 30 31 32 33 34  %&'()*+,-./01234",
    "0012FF24: C0DE0999   00401ABC: 35 36 37 38 39 3A 3B 3C 3D 3E 3F 40 41 42 43 44  56789:;<=>?@ABCD",
    "0012FF28: C0DE0AAA   00401ACC: 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 51 52 53 54  EFGHIJKLMNOPQRST",
    "0012FF2C: C0DE0BBB   00401ADC: 55 56 57 58 59 5A 5B 5C 5D 5E 5F 60 61 62 63 64  UVWXYZ[\\]^_`abcd",
    "0012FF30: C0DE0CCC   00401AEC: 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74  efghijklmnopqrst",
    "0012FF34: C0DE0DDD   00401AFC: 75 76 77 78 79 7A 7B 7C 7D 7E 7F 80 81 1E 1F 20  uvwxyz{|}~..... ",
    "0012FF38: C0DE0EEE   00401B0C: 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F 30  !\"#$%&'()*+,-./0",
    "0012FF3C: C0DE0FFF   00401B1C: 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F 40  123456789:;<=>?@",
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        out.push_back(text.substr(start, at - start));
    out.push_back(text.substr(start));
    return out;
}

std::string GoldenTables()
{
    std::string text;
    for (const char* line : kGoldenLines) text += std::string(line) + "\r\n";
    return text;
}

// The golden facts with their code, symbols and registers, built into a report.
TReportText GoldenReport(const TVurazaModuleOptions& options)
{
    TReportFacts facts = GoldenFacts();
    TFakeMemory memory;
    TGoldenSymbols symbols;
    facts.Memory = &memory;
    facts.Symbols = &symbols;
    facts.HasContext = true;
    facts.Registers = {1, 2, 3, 4, 5, 0x0012FF00, 7, 0x00401A2C};
    return BuildReportText(facts, options);
}

}  // namespace

TEST(ReportText, GoldenReportByteForByte)
{
    TVurazaModuleOptions options("Vidudo.exe");
    ASSERT_EQ(0x30, options.LogFlags());
    ASSERT_EQ(AllReportFields, options.ReportFieldVisibility());
    const TReportText report = GoldenReport(options);

    std::string expected = GoldenTables() + GoldenListing() + "\r\n";
    for (const char* line : kGoldenCpuLines) expected += std::string(line) + "\r\n";
    EXPECT_EQ(expected, report.LastReportText);

    // The detail pages' three parts: the general part without the empty line before the table.
    const TReportParts parts =
        SplitReportParts(report.LastReportText, "Call Stack Information", "Assembler Information", "Registers");
    const std::string tables = GoldenTables();
    EXPECT_EQ(tables.substr(0, tables.find("\r\n\r\nCall Stack Information:")), parts.general);
    const std::string listing = GoldenListing();
    const size_t body = listing.find("\r\n", listing.find("\r\n") + 2) + 2;
    EXPECT_EQ(listing.substr(body, listing.size() - body - 2), parts.assembler);
    EXPECT_EQ(expected.substr(expected.find("Registers:\r\n"), expected.size() - expected.find("Registers:\r\n") - 2),
              parts.cpu);
    EXPECT_EQ(report.LastReportText, report.LogReportText);
    EXPECT_NE(std::string::npos, report.LastReportText.find("-\r\n|"));
    EXPECT_EQ("EAccessViolation", report.ExceptionClassText);
    EXPECT_EQ("Access violation at address 00401A2C.", report.ExceptionMessageText);
    EXPECT_EQ(options.MessageText(4) + "\r\n\r\n", report.Header);

    // Every table line is as long as the rule above its table.
    size_t ruleLength = 0;
    for (const std::string& line : Lines(GoldenTables())) {
        if (!line.empty() && line.find_first_not_of('-') == std::string::npos) ruleLength = line.size();
        if (!line.empty() && line[0] == '|') {
            SCOPED_TRACE(line);
            EXPECT_EQ(ruleLength, line.size());
        }
    }
}

namespace {

// The report saved to a log in memory and loaded from it again.
std::unique_ptr<TLogFile> StoredAndReloaded(const std::string& reportText)
{
    auto file = std::make_shared<std::string>();
    {
        TLogFile log(std::make_unique<TMemoryStore>(file));
        log.AddLogReport(reportText, 10);
        log.SaveLogFile();
    }
    return std::make_unique<TLogFile>(std::make_unique<TMemoryStore>(file));
}

}  // namespace

TEST(ReportText, StoredReportGivesBackEveryGeneralItem)
{
    TVurazaModuleOptions options("Vidudo.exe");
    TReportFacts facts = GoldenFacts();
    // The log's report separator inside a thread name must not cut the stored report.
    facts.StackList.back().Thread.ThreadName = "a\r\n\r\n\r\n\r\nb|c";
    const TReportText report = BuildReportText(facts, options);
    const std::unique_ptr<TLogFile> stored = StoredAndReloaded(report.LastReportText);
    TLogFile& reloaded = *stored;
    ASSERT_EQ(1, reloaded.ReportCount());
    const std::string& text = report.LastReportText;
    const size_t tableStart = text.find("\r\n", text.find("Call Stack Information:")) + 2;
    const size_t tableEnd = text.find("\r\n\r\nModules Information:");
    EXPECT_EQ(text.substr(tableStart, tableEnd - tableStart), reloaded.CallStackTable(0));
    EXPECT_NE(std::string::npos, text.find("|Running Thread: ID=2222; Priority=Higher; Class=; [Main] (a???\?|\r\n")) << text;
    size_t rule = 0;
    for (const std::string& line : Lines(reloaded.CallStackTable(0))) {
        if (!line.empty() && line[0] == '-') rule = line.size();
        SCOPED_TRACE(line);
        EXPECT_EQ(rule, line.size());
    }
    EXPECT_EQ("6.1.01 RC 1", ReportVersion(reloaded.Report(0)));
    // Every "N.I Label: value" line of the golden text, read back by its number.
    int items = 0;
    for (const char* line : kGoldenLines) {
        const std::string text = line;
        if (text.rfind("  ", 0) != 0 || text.size() < 4 || !isdigit(static_cast<unsigned char>(text[2]))) continue;
        const std::string number = text.substr(2, text.find(' ', 2) - 2);
        const size_t colon = text.find(": ");
        SCOPED_TRACE(number);
        std::string value = text.substr(colon + 2);
        if (number == "3.5")
            value = std::string("SeDebugPrivilege").append(15, ' ') + " - ON\r\nSeShutdownPrivilege" +
                    std::string(12, ' ') + " - OFF\r\n";
        EXPECT_EQ(Trim(value), Trim(reloaded.GetReportItem(number, 0)));
        ++items;
    }
    EXPECT_EQ(47, items);
    EXPECT_NE("", reloaded.CallStackTable(0));
    EXPECT_NE(std::string::npos, reloaded.ModulesTable(0).find("Windows NT BASE API?Client??DLL"));
    EXPECT_NE(std::string::npos, reloaded.ProcessesTable(0).find("|4   |System"));
}

namespace {

// The XML form of a report as the builder made it, stored and reloaded.
std::string StoredReportXml(const TReportText& report)
{
    const std::unique_ptr<TLogFile> stored = StoredAndReloaded(report.LastReportText);
    TLogFile& reloaded = *stored;
    EXPECT_EQ(1, reloaded.ReportCount());
    return LogToXml(reloaded);
}

std::string Hex8Text(uint32_t value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", value);
    return buf;
}

}  // namespace

TEST(ReportText, BuiltReportGivesBackEveryGroupValueAndDumpLineAsXml)
{
    TVurazaModuleOptions options("Vidudo.exe");
    const std::string xml = StoredReportXml(GoldenReport(options));
    const size_t general = xml.find("<General>"), generalEnd = xml.find("</General>");
    ASSERT_NE(std::string::npos, generalEnd) << xml;

    const char* groups[] = {"Application", "Exception", "User", "Active Controls", "Computer", "Operating System",
                            "Network"};
    for (size_t g = 0; g < 7; ++g) {
        SCOPED_TRACE(groups[g]);
        const std::string tag = "<Group ID=\"" + std::to_string(g + 1) + "\" Label=\"" + groups[g] + "\">";
        EXPECT_LT(xml.find(tag, general), generalEnd);
    }
    // Every item line of the golden text, with its value as built.
    int items = 0;
    for (const char* line : kGoldenLines) {
        const std::string text = line;
        if (text.rfind("  ", 0) != 0 || text.size() < 4 || !isdigit(static_cast<unsigned char>(text[2]))) continue;
        const size_t blank = text.find(' ', 2), colon = text.find(": ");
        const std::string number = text.substr(2, blank - 2);
        std::string value = TrimRight(text.substr(colon + 2));
        if (number == "3.5")
            value = std::string("SeDebugPrivilege").append(15, ' ') + " - ON\r\nSeShutdownPrivilege" +
                    std::string(12, ' ') + " - OFF\r\n";
        const std::string element = "<Line ID=\"" + number + "\" Label=\"" + Trim(text.substr(blank, colon - blank)) +
                                    "\" Value=\"" + XmlEscape(value) + "\"/>";
        SCOPED_TRACE(element);
        EXPECT_LT(xml.find(element, general), generalEnd);
        ++items;
    }
    EXPECT_EQ(47, items);
    size_t lines = 0;
    for (size_t at = xml.find("<Line ID=", general); at < generalEnd; at = xml.find("<Line ID=", at + 1)) ++lines;
    EXPECT_EQ(47u, lines);

    EXPECT_NE(std::string::npos, xml.find("<Assembler>\r\n      <Line Address=\"\" Command=\"\" Comment=\" "
                                          "Unit1.TForm1.Button1Click (Line=11 - Offset=2)\"/>"))
        << xml;
    EXPECT_NE(std::string::npos, xml.find("<Line Address=\"00401A2C\" Command=\"mov     byte ptr [eax], $05\" "
                                          "Comment=\"&#060;-- EXCEPTION\"/>"));
    EXPECT_NE(std::string::npos, xml.find("<Registers EAX=\"00000001\" EBX=\"00000003\" ECX=\"00000005\" "
                                          "EDX=\"00000007\" EDI=\"00000002\" ESI=\"00000004\" ESP=\"0012FF00\" "
                                          "EIP=\"00401A2C\"/>"))
        << xml;
    // Each of the 16 stack lines and dump lines, at the columns the CPU section writes them; the
    // bytes are those of the golden memory the report was built over.
    TFakeMemory memory;
    std::string stack = "<Stack>\r\n", dump = "<MemoryDump>\r\n";
    const std::string indent = "        ";
    for (uint32_t i = 0; i < 16; ++i) {
        stack += indent + "<Line Address=\"" + Hex8Text(0x0012FF00 + 4 * i) + "\" Value=\"" +
                 Hex8Text(0xC0DE0000u + i * 0x111) + "\"/>\r\n";
        std::string bytes, chars;
        for (uint32_t k = 0; k < 16; ++k) {
            uint8_t b = 0;
            ASSERT_TRUE(memory.Read(0x00401A2C + 16 * i + k, &b, 1));
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", b);
            bytes += (k ? " " : "") + std::string(hex);
            chars += b < 32 || b > 126 ? '.' : static_cast<char>(b);
        }
        dump += indent + "<Line Address=\"" + Hex8Text(0x00401A2C + 16 * i) + "\" Bytes=\"" + bytes + "\" Chars=\"" +
                XmlEscape(chars) + "\"/>\r\n";
    }
    EXPECT_NE(std::string::npos, xml.find(stack + "      </Stack>\r\n")) << xml;
    EXPECT_NE(std::string::npos, xml.find(dump + "      </MemoryDump>\r\n")) << xml;
}

// A general part of one section keeps it in the XML, its last item too.
TEST(ReportText, SwitchedOffItemsLeaveTheRestInTheXml)
{
    struct {
        uint64_t bits;
        const char* group;
        const char* line;
    } cases[] = {
        {1ull << 13, "<Group ID=\"2\" Label=\"Exception\">", "<Line ID=\"2.8\" Label=\"Count\" Value=\"1\"/>"},
        {1ull << 46, "<Group ID=\"7\" Label=\"Network\">", "<Line ID=\"7.6\" Label=\"DHCP\" Value=\"ON              - OFF\"/>"},
        {0, "", "<General/>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TVurazaModuleOptions options("Vidudo.exe");
        options.SetReportFieldVisibility(c.bits);
        const std::string xml = StoredReportXml(BuildReportText(GoldenFacts(), options));
        EXPECT_NE(std::string::npos, xml.find(std::string(c.group) + (*c.group ? "\r\n" : "")));
        EXPECT_NE(std::string::npos, xml.find(c.line)) << xml;
        EXPECT_NE(std::string::npos, xml.find("<CallStack>\r\n      <ExceptionThread ID=\"1111\"")) << xml;
    }
}

// 東, 億 and 瑋 end in 0x7C, the byte of "|": in a thread name, a module's description and path
// they stay whole through the table, the stored report and the XML reader.
TEST(ReportText, GbkCharactersEndingInTheBarByteStayWhole)
{
    for (size_t pad = 0; pad < 2; ++pad) {
        SCOPED_TRACE(pad);
        TReportFacts facts = GoldenFacts();
        const std::string name = "東|x億" + std::string(pad, 'a') + "瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋瑋\xAC";
        for (TReportStackItem& it : facts.StackList) it.Thread.ThreadName = name;
        facts.Modules[1].Description = "億|瑋";
        facts.Modules[1].Path = "C:\\東\\";
        TVurazaModuleOptions options("Vidudo.exe");
        const std::string text = BuildReportText(facts, options).LastReportText;

        // Every row, read character by character, ends in a "|" of its own and is as long as its
        // rule: a cut thread row keeps no half character.
        size_t rule = 0, rows = 0;
        for (const std::string& line : Lines(text)) {
            if (!line.empty() && line.find_first_not_of('-') == std::string::npos) rule = line.size();
            if (line.empty() || line[0] != '|') continue;
            SCOPED_TRACE(line);
            ++rows;
            EXPECT_EQ(rule, line.size());
            size_t at = 0, last = 0;
            for (; at < line.size(); at += GbkCharLength(line, at)) last = at;
            EXPECT_EQ(line.size() - 1, last);
        }
        EXPECT_GT(rows, 10u);
        EXPECT_NE(std::string::npos, text.find("|*Exception Thread: ID=1111; Priority=Normal; Class= (東?x億"));
        EXPECT_NE(std::string::npos, text.find("|億?瑋 "));

        const std::string xml = StoredReportXml(BuildReportText(facts, options));
        EXPECT_NE(std::string::npos, xml.find("<ExceptionThread ID=\"1111\" Priority=\"Normal\" Class=\"" +
                                              XmlEscape(" (東?x億").substr(1)))
            << xml;
        EXPECT_NE(std::string::npos, xml.find("Description=\"" + XmlEscape("億?瑋") + "\" Version=\"5.1.2600.5781\""))
            << xml;
        EXPECT_NE(std::string::npos, xml.find("Path=\"" + XmlEscape("C:\\東\\") + "\"/>")) << xml;
    }
}

TEST(ReportText, FieldSwitches)
{
    const std::string banner = "DuruvaDod 6.1.01 RC 1\r\n\r\n";
    struct {
        uint64_t bits;
        bool console;
        std::string general;
    } cases[] = {
        {0, false, ""},
        {1ull << 13, false, "Exception:\r\n" + std::string(14, '-') + "\r\n  2.8 Count: 1"},
        {1ull << 19, false,
         "User:\r\n" + std::string(55, '-') + "\r\n"
         "  3.5 Privileges: SeDebugPrivilege                - ON\r\n"
         "                  SeShutdownPrivilege             - OFF\r\n"
         "                  ."},
        {1ull << 20, false, "User:\r\n" + std::string(32, '-') + "\r\n  3.4 Company: Vidudo Securities"},
        {0xFull << 21, true, ""},
        {1ull << 22, false, "Active Controls:\r\n" + std::string(30, '-') + "\r\n  4.2 Form Text: Vidudo - main"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits);
        TVurazaModuleOptions options("Vidudo.exe");
        options.SetReportFieldVisibility(c.bits);
        TReportGeneralFacts facts = GoldenGeneral();
        facts.IsConsoleProgram = c.console;
        EXPECT_EQ(banner + c.general, FillGeneralSections(facts, options));
    }
}

TEST(ReportText, ValueForms)
{
    const double t = Day(46367, 20, 1, 1);
    struct {
        std::string got, expected;
    } cases[] = {
        {ReportMailDate(t, 480), "Fri, 11 Dec 2026 20:01:01 +0800"},
        {ReportMailDate(t, -300), "Fri, 11 Dec 2026 20:01:01 -0500"},
        {ReportMailDate(t, 0), "Fri, 11 Dec 2026 20:01:01 +0000"},
        {ReportMailDate(t, 330), "Fri, 11 Dec 2026 20:01:01 +0500"},
        {ReportMailDate(Day(46023, 0, 0, 0), 600), "Thu, 1 Jan 2026 00:00:00 +1000"},
        {DurationText(1.5), "1 day, 12 hours, 0 second"},
        {DurationText(2.0 / 24), "2 hours, 0 second"},
        {DurationText(61.0 / 86400), "1 minute, 1 second"},
        {DurationText(0), "0 second"},
        {MegabyteText(3ull << 19), "2 Mb"},
        {MegabyteText(5ull << 19), "2 Mb"},
        {MegabyteText((7ull << 19) + 1), "4 Mb"},
        {GigabyteText(500107862016ull), "465.76 Gb"},
        {GigabyteText(3ull << 29), "1.5 Gb"},
        {PaddedIpAddress("8.8.4.4"), "008.008.004.004"},
        {PaddedIpAddress(""), "000.000.000.000"},
        {PaddedIpAddress("1.2.3"), "000.000.000.000"},
        {ProcessorText("", "GenuineIntel", "x86 Family 6"), "GenuineIntel - x86 Family 6"},
        {ProcessorText(" ", "", ""), "Unknown processor"},
        {VideoCardText("VGA", "1.0", 0), "VGA (driver 1.0)"},
        {PrinterText(false, "XPS", "1"), ""},
        {CleanTableCell("a|b\r\nc"), "a?b??c"},
        {CleanTableCell("東|億\r瑋"), "東?億?瑋"},
        {CleanTableCell("x\x96\r\x96"), "x???"},  // lead bytes without their trail
        {SectionTitleBlock("Registers"), "Registers:\r\n----------\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.expected, c.got);
    }
}

TEST(ReportText, ParametersSkipTheFirstTokenAsWindowsDoes)
{
    struct {
        const char* line;
        const char* parameters;
    } cases[] = {
        {"\"C:\\Program Files\\Vidudo\\Vidudo.exe\" -site 2", "-site 2"},
        {"\"C:\\Vidudo.exe\"", ""},
        {"Vidudo.exe /log  x ", "/log  x"},
        {"C:\\Vidudo\\Vidudo.exe\t-a", "-a"},
        // Not the program path's length: a short path form must not cut the parameters.
        {"C:\\PROGRA~1\\Vidudo.exe -site 2", "-site 2"},
        {"  ", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(c.parameters, CommandLineParameters(c.line));
    }
}

TEST(ReportText, AccessViolationMessageInGbk)
{
    // 存取地址 and 入口违规 in code page 936.
    const std::string inModule = AccessViolationMessage(0x00401A2C, "C:\\Lab\\crashlab.exe", true, 0);
    EXPECT_EQ(0, inModule.rfind("\xB4\xE6\xC8\xA1\xB5\xD8\xD6\xB7 00401A2C ", 0)) << inModule;
    EXPECT_NE(std::string::npos, inModule.find(" 'crashlab.exe' "));
    EXPECT_NE(std::string::npos, inModule.find(". \xD0\xB4 ")) << "write";
    EXPECT_EQ(inModule.size() - 11, inModule.find("00000000 \xC0\xEF"));
    const std::string outside = AccessViolationMessage(0x00A00000, "", false, 0x10);
    EXPECT_EQ(0, outside.rfind("\xC8\xEB\xBF\xDA\xCE\xA5\xB9\xE6: ", 0)) << outside;
    EXPECT_NE(std::string::npos, outside.find("00A00000. \xB6\xC1 "));
}

TEST(ReportText, EdgesOfTheTables)
{
    TVurazaModuleOptions options("Vidudo.exe");
    options.SetLogFlags(0);
    options.SetReportFieldVisibility(0);
    TReportFacts facts;
    facts.General.IsExceptionObject = false;
    const TReportText report = BuildReportText(facts, options);
    const std::string rule(50, '-');
    EXPECT_EQ("DuruvaDod 6.1.01 RC 1\r\n\r\nCall Stack Information:\r\n" + rule +
                  "\r\n|Address |Module|Unit|Class|Procedure/Method|Line|\r\n" + rule + "\r\n" + rule +
                  "\r\n\r\nModules Information:\r\n--------------------\r\n\r\n"
                  "Processes Information:\r\n----------------------\r\n\r\n"
                  "Assembler Information:\r\n----------------------\r\n\r\n"
                  "Registers:\r\n----------\r\n\r\n",
              report.LastReportText);
    EXPECT_EQ("Unknown exception type", report.ExceptionClassText);
    EXPECT_EQ("Unknown error message.", report.ExceptionMessageText);
}

TEST(ReportText, TypeAndMessageOfTheException)
{
    struct {
        const char* cls;
        bool isException;
        const char* message;
        const char* type;
        const char* shown;
    } cases[] = {
        {"EConvertError", true, "'x' is not a valid integer value", "EConvertError", "'x' is not a valid integer value."},
        {"EConvertError", true, "Ends with one.", "EConvertError", "Ends with one."},
        {"TObject", false, "ignored", "TObject", "Unknown error message."},
        {"", false, "", "Unknown exception type", "Unknown error message."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        TVurazaModuleOptions options("Vidudo.exe");
        TReportGeneralFacts facts = GoldenGeneral();
        facts.ExceptionClass = c.cls;
        facts.IsExceptionObject = c.isException;
        facts.ExceptionMessage = c.message;
        TReportText out;
        const std::string general = FillGeneralSections(facts, options, &out);
        EXPECT_EQ(c.type, out.ExceptionClassText);
        EXPECT_EQ(c.shown, out.ExceptionMessageText);
        EXPECT_NE(std::string::npos, general.find(std::string(": ") + c.shown + "\r\n"));
    }
}

TEST(ReportText, RowsFromTheCapturedRecords)
{
    TVurazaModuleInfo module;
    module.Handle = 0x00400000;
    module.FileName = "C:\\Program Files\\Vidudo\\Vidudo.exe";
    module.Description = "Vidudo|trading";
    module.Version = "1.0.0.7";
    module.Size = 2345678;
    module.LastModified = Day(46357, 2, 0, 0);
    TVurazaStackItem item;
    item.Kind = 4;
    item.Module = &module;
    item.ThreadId = 1111;
    item.Group = 1;
    item.First = 1;
    item.Address = 0x00401A2C;
    item.UnitName.Assign("Unit1");
    item.ProcedureName.Assign("Button1Click");
    item.Line = 12;
    item.LineDistance = 3;
    TThreadHeaderFacts thread;
    thread.IsExceptionThread = true;
    thread.ThreadId = 1111;
    TVurazaProcessInfo process;
    process.ProcessId = 1234;
    process.FileName = "C:\\Program Files\\Vidudo\\Vidudo.exe";
    process.PriorityClass = 32;

    TReportFacts facts;
    facts.HasStackList = true;
    facts.StackList = {ReportStackItemOf(item, thread)};
    facts.Modules = {ReportModuleOf(module)};
    facts.Processes = {ReportProcessOf(process)};
    TVurazaModuleOptions options("Vidudo.exe");
    options.SetLogFlags(0x10);
    const std::string text = BuildReportText(facts, options).LastReportText;
    const char* rows[] = {
        "|*Exception Thread: ID=1111; Priority=?\?; Class=       |\r\n",
        "|00401A2C|Vidudo.exe|Unit1|     |Button1Click    |12[3]|\r\n",
        "|00400000|Vidudo.exe|Vidudo?trading|1.0.0.7|2345678|2026-12-01 02:00:00|C:\\Program Files\\Vidudo|\r\n",
        "|1234|Vidudo.exe|           |       |0     |Normal  |??     |C:\\Program Files\\Vidudo|\r\n",
    };
    for (const char* row : rows) {
        SCOPED_TRACE(row);
        EXPECT_NE(std::string::npos, text.find(row)) << text;
    }
}

// Sections added after the general part (custom data, the steps to reproduce) are general
// sections to the log's readers and its XML form, and leave the tables as they were.
TEST(ReportText, SectionsInsertedAfterTheGeneralPartReadBackFromTheLogAndTheXml)
{
    TVurazaModuleOptions options("Vidudo.exe");
    const TReportText built = GoldenReport(options);
    std::string report = built.LastReportText;
    EXPECT_EQ("", ReportListSection(7, "Custom Information", {}));
    InsertAfterGeneralPart(report, ReportListSection(7, "Custom Information", {" Key = Value ", "Other=2"}));
    InsertAfterGeneralPart(report, ReportItemSection(7, "Request", "打开委托窗口\r\n按下确定"));
    const std::unique_ptr<TLogFile> stored = StoredAndReloaded(report);
    ASSERT_EQ(1, stored->ReportCount());
    EXPECT_EQ("Value", Trim(stored->GetReportItem("8.1", 0)));
    EXPECT_EQ("2", Trim(stored->GetReportItem("8.2", 0)));
    EXPECT_NE(std::string::npos, stored->GeneralPart(0).find("Custom Information:\r\n")) << stored->GeneralPart(0);
    EXPECT_NE(std::string::npos, stored->GeneralPart(0).find("Request:\r\n")) << stored->GeneralPart(0);
    EXPECT_LT(stored->GeneralPart(0).find("Custom Information:"), stored->GeneralPart(0).find("Request:"));
    const std::unique_ptr<TLogFile> original = StoredAndReloaded(built.LastReportText);
    EXPECT_EQ(original->CallStackTable(0), stored->CallStackTable(0));
    EXPECT_EQ(original->ModulesTable(0), stored->ModulesTable(0));
    const std::string xml = LogToXml(*stored);
    EXPECT_NE(std::string::npos, xml.find("Label=\"Key\" Value=\"Value\"")) << xml;
    EXPECT_NE(std::string::npos, xml.find(XmlEscape("打开委托窗口"))) << xml;
    // The general part still ends in one empty line before the first table.
    EXPECT_NE(std::string::npos, report.find("按下确定\r\n\r\nCall Stack Information:\r\n")) << report;
}
