#include "crashreport/capture/EReportText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ELogItem.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EUtils.h"
#include "framework/SysUtils.h"

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr int64_t kMsPerDay = 86400000;

std::string Hex8(uint32_t value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", value);
    return buf;
}

// At most `limit` bytes, never half of a double-byte character.
std::string_view CutText(std::string_view text, size_t limit)
{
    size_t size = 0;
    while (size < text.size() && size + GbkCharLength(text, size) <= limit) size += GbkCharLength(text, size);
    return text.substr(0, size);
}

std::string Padded(std::string_view text, size_t width)
{
    std::string out(CutText(text, width));
    out.resize(width, ' ');
    return out;
}

std::string JoinedRow(const std::vector<std::string>& values, const std::vector<size_t>& widths)
{
    std::string row;
    WriteTableRow(row, values, widths);
    row.resize(row.size() - 2);
    return row;
}

size_t Sum(const std::vector<size_t>& widths)
{
    size_t sum = 0;
    for (size_t w : widths) sum += w;
    return sum;
}

std::string TrimRightBreaks(std::string_view text)
{
    while (text.size() >= 2 && text.substr(text.size() - 2) == kCrLf) text.remove_suffix(2);
    return std::string(text);
}

class TNoMemory : public TListingMemory {
public:
    bool IsReadable(uint32_t, size_t) override { return false; }
    bool Read(uint32_t, void*, size_t) override { return false; }
};

class TNoSymbols : public TListingSymbols {
public:
    void LookupWithDebugSource(uint32_t, TCodeLocation&) override {}
};

// A table of plain columns: labels widen by the values, rows cleaned.
std::string PlainTable(const std::string& title, std::vector<std::string> labels,
                       const std::vector<std::vector<std::string>>& rows, size_t firstMinimum)
{
    std::vector<size_t> widths;
    for (const std::string& l : labels) widths.push_back(l.size());
    widths[0] = std::max(widths[0], firstMinimum);
    for (const auto& r : rows)
        for (size_t i = 0; i < r.size(); ++i) widths[i] = std::max(widths[i], r[i].size());
    const std::string rule(Sum(widths) + widths.size() + 1, '-');
    std::string out = title + ":" + kCrLf + rule + kCrLf + JoinedRow(labels, widths) + kCrLf + rule + kCrLf;
    for (const auto& r : rows) WriteTableRow(out, r, widths);
    return out + rule + kCrLf + kCrLf;
}

}  // namespace

std::string CleanTableCell(std::string_view text)
{
    // 0x7C is a legal GBK trail byte (東 is 96 7C): only a "|" of its own is a cell break. A lead
    // byte without its trail would pair with the "|" that closes the cell, so it goes too.
    std::string out(text);
    for (size_t i = 0; i < out.size();) {
        const size_t n = GbkCharLength(out, i);
        char& c = out[i];
        if (n == 1 && (c == '\r' || c == '\n' || c == '|' || IsGbkLeadByte(static_cast<unsigned char>(c)))) c = '?';
        i += n;
    }
    return out;
}

std::string SectionTitleBlock(std::string_view title)
{
    return std::string(title) + ":" + kCrLf + std::string(title.size() + 1, '-') + kCrLf + kCrLf;
}

void WriteTableRow(std::string& out, const std::vector<std::string>& values, const std::vector<size_t>& widths)
{
    for (size_t i = 0; i < widths.size(); ++i) {
        out += '|';
        out += Padded(CleanTableCell(i < values.size() ? values[i] : std::string()), widths[i]);
    }
    out += "|\r\n";
}

std::string ReportMailDate(double localTime, int timeZoneMinutes)
{
    // The report's zone is whole hours: +5:30 is written +0500.
    return FormatMailDateAt(localTime, timeZoneMinutes / 60 * 60);
}

std::string MegabyteText(uint64_t bytes)
{
    uint64_t mb = bytes >> 20;
    const uint64_t rest = bytes & 0xFFFFF, half = 0x80000;
    if (rest > half || (rest == half && (mb & 1))) ++mb;
    return std::to_string(mb) + " Mb";
}

std::string GigabyteText(uint64_t bytes)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(bytes) / 1073741824.0);
    std::string out = buf;
    while (!out.empty() && out.back() == '0') out.pop_back();
    if (!out.empty() && out.back() == '.') out.pop_back();
    return out + " Gb";
}

std::string PaddedIpAddress(std::string_view dotted)
{
    int parts[4];
    char tail;
    const std::string text(dotted);
    if (std::sscanf(text.c_str(), "%d.%d.%d.%d%c", &parts[0], &parts[1], &parts[2], &parts[3], &tail) != 4)
        return "000.000.000.000";
    char buf[32];
    for (int p : parts)
        if (p < 0 || p > 255) return "000.000.000.000";
    std::snprintf(buf, sizeof buf, "%03d.%03d.%03d.%03d", parts[0], parts[1], parts[2], parts[3]);
    return buf;
}

std::string CommandLineParameters(std::string_view commandLine)
{
    const std::string line = Trim(commandLine);
    size_t at = 0;
    if (!line.empty() && line[0] == '"') {
        const size_t close = line.find('"', 1);
        at = close == std::string::npos ? line.size() : close + 1;
    }
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
    return Trim(std::string_view(line).substr(at));
}

std::string AccessViolationMessage(uint32_t codeAddress, std::string_view moduleFileName, bool write,
                                   uint32_t dataAddress)
{
    const std::string access = write ? "写" : "读";
    if (!moduleFileName.empty()) {
        const std::string name = ExtractFileName(moduleFileName);
        return "存取地址 " + Hex8(codeAddress) + " 违例发生在模块 '" + std::string(name) + "' 中. " + access +
               " 在地址 " + Hex8(dataAddress) + " 里";
    }
    return "入口违规: 地址 " + Hex8(codeAddress) + ". " + access + " 对于地址 " + Hex8(dataAddress);
}

std::string NetworkValues(const std::vector<TReportAdapter>& adapters, int which)
{
    std::string out;
    for (const TReportAdapter& a : adapters) {
        const auto dns = [&](size_t i) {
            return a.DnsListReadable && i < a.DnsServers.size() ? PaddedIpAddress(a.DnsServers[i])
                                                                 : std::string("000.000.000.000");
        };
        switch (which) {
        case 0: out += PaddedIpAddress(a.IpAddress); break;
        case 1: out += PaddedIpAddress(a.SubnetMask); break;
        case 2: out += PaddedIpAddress(a.Gateway); break;
        case 3: out += dns(0); break;
        case 4: out += dns(1); break;
        default: out += Padded(a.Dhcp ? "ON" : "OFF", 15); break;
        }
        out += " - ";
    }
    if (!out.empty()) out.resize(out.size() - 3);
    return out;
}

std::string ProcessorText(std::string_view nameString, std::string_view vendor, std::string_view identifier)
{
    std::string out = Trim(nameString);
    if (out.empty()) {
        out = Trim(vendor);
        const std::string id = Trim(identifier);
        if (!out.empty() && !id.empty())
            out += " - " + id;
        else if (out.empty())
            out = id;
    }
    return out.empty() ? std::string("Unknown processor") : out;
}

std::string VideoCardText(std::string_view adapter, std::string_view driverVersion, uint64_t memoryBytes)
{
    const std::string name = Trim(adapter);
    if (name.empty() && driverVersion.empty()) return {};
    std::string out = name + " (driver " + std::string(driverVersion);
    if (memoryBytes != 0) out += " - RAM " + std::to_string(memoryBytes >> 20) + " MB";
    return out + ")";
}

std::string PrinterText(bool hasDefault, std::string_view driverName, std::string_view driverVersion)
{
    if (!hasDefault) return {};
    std::string version;
    for (char c : driverVersion)
        if (c != ' ') version += c;
    return std::string(driverName) + " (driver " + version + ")";
}

std::string FillGeneralSections(const TReportGeneralFacts& f, const TVurazaModuleOptions& options, TReportText* out)
{
    const uint64_t shown = options.ReportFieldVisibility();
    const auto on = [&](int bit) { return ((shown >> bit) & 1) != 0; };
    const auto text = [&](int slot) { return options.MessageText(slot); };
    TLogItem log(0);
    const auto item = [&](int slot, int bit, const std::string& value) { log.AddItem(text(slot), value, on(bit)); };

    log.AddHeader(text(37));
    item(38, 0, ReportMailDate(f.StartTime, f.TimeZoneMinutes));
    item(39, 1, f.ProgramDescription.empty() ? f.ProgramFileName
                                             : f.ProgramFileName + " - (" + f.ProgramDescription + ")");
    item(40, 2, f.ApplicationVersion);
    item(41, 3, CommandLineParameters(f.CommandLine));
    item(42, 4, f.CompilationDate == 0
                    ? std::string()
                    : ReportMailDate(f.CompilationDate + (f.TimeZoneMinutes / 60) / 24.0, f.TimeZoneMinutes));
    item(43, 5, DurationText(f.ExceptionTime - f.StartTime));

    std::string type = f.ExceptionClass.empty() ? std::string("Unknown exception type") : f.ExceptionClass;
    std::string message = f.IsExceptionObject ? f.ExceptionMessage : std::string("Unknown error message.");
    if (message.empty() || message.back() != '.') message += '.';
    if (out) {
        out->ExceptionClassText = type;
        out->ExceptionMessageText = message;
    }
    log.AddHeader(text(44));
    item(45, 6, ReportMailDate(f.ExceptionTime, f.TimeZoneMinutes));
    item(46, 7, f.ExceptionAddress == 0 ? std::string() : Hex8(f.ExceptionAddress));
    item(47, 8, f.ExceptModuleDescription.empty() ? f.ExceptModuleName
                                                  : f.ExceptModuleName + " - (" + f.ExceptModuleDescription + ")");
    item(48, 9, f.ExceptModuleVersion);
    item(49, 10, type);
    item(50, 11, message);
    item(51, 12, f.BugId);
    item(52, 13, "1");
    item(53, 14, "New");
    item(54, 15, "");

    log.AddHeader(text(55));
    item(56, 16, f.UserId);
    item(57, 17, f.UserName);
    item(58, 18, f.UserEmail);
    item(59, 20, f.VistaOrLater && f.Company == "Microsoft" ? std::string() : f.Company);
    std::string privileges;
    for (const TReportPrivilege& p : f.Privileges)
        privileges += Padded(p.Name, std::max<size_t>(31, p.Name.size())) + (p.Enabled ? " - ON" : " - OFF") + kCrLf;
    item(60, 19, privileges);

    const bool windowed = !f.IsConsoleProgram && !f.IsWebServerApplication;
    log.AddHeader(text(61));
    log.AddItem(text(62), std::string(CutText(f.FormClass, 256)), windowed && on(21));
    log.AddItem(text(63), CollapseControlChars(CutText(f.FormText, 256)), windowed && on(22));
    log.AddItem(text(64), f.ControlClass, windowed && on(23));
    log.AddItem(text(65), CollapseControlChars(f.ControlText), windowed && on(24));

    log.AddHeader(text(66));
    item(67, 25, f.ComputerName);
    item(68, 26, MegabyteText(f.TotalMemory));
    item(69, 27, MegabyteText(f.FreeMemory));
    item(70, 28, f.DiskKnown ? GigabyteText(f.TotalDisk) : std::string());
    item(71, 29, f.DiskKnown ? GigabyteText(f.FreeDisk) : std::string());
    item(72, 30, DurationText(static_cast<double>(f.SystemTickMilliseconds) / kMsPerDay));
    item(73, 31, ProcessorText(f.ProcessorNameString, f.VendorIdentifier, f.Identifier));
    item(74, 32, std::to_string(f.ScreenWidth) + " x " + std::to_string(f.ScreenHeight) + ", " +
                     std::to_string(f.BitsPerPixel) + " bit");
    item(75, 33, std::to_string(f.Dpi));
    item(76, 34, VideoCardText(f.VideoAdapterName, f.VideoDriverVersion, f.VideoMemory));
    item(77, 35, PrinterText(f.HasDefaultPrinter, f.PrinterDriverName, f.PrinterDriverVersion));

    log.AddHeader(text(78));
    item(79, 36, f.OsType);
    item(80, 37, f.OsBuild);
    item(81, 38, Trim(f.OsUpdate));
    item(82, 39, f.OsLanguage);
    item(83, 40, std::to_string(f.Charset));

    log.AddHeader(text(84));
    for (int i = 0; i < 6; ++i)
        item(85 + i, 41 + i, f.NetworkAvailable ? NetworkValues(f.Adapters, i) : std::string());

    return std::string("DuruvaDod ") + ReportProductVersion + kCrLf + kCrLf + log.GetFormattedText();
}

namespace {

std::string CallStackTable(const TReportFacts& facts, const TVurazaModuleOptions& options)
{
    const auto text = [&](int slot) { return options.MessageText(slot); };
    const uint32_t mask = options.ListedStackKinds();
    struct TRow {
        const TReportStackItem* item;
        std::vector<std::string> cells;
    };
    std::vector<TRow> rows;
    std::vector<std::string> labels;
    for (int slot = 92; slot <= 97; ++slot) labels.push_back(text(slot));
    std::vector<size_t> widths;
    for (const std::string& l : labels) widths.push_back(l.size());
    widths[0] = std::max<size_t>(widths[0], 8);
    if (facts.HasStackList) {
        for (const TReportStackItem& it : facts.StackList) {
            if (it.Kind < 0 || it.Kind > 7 || !((mask >> it.Kind) & 1)) continue;
            std::vector<std::string> cells = {
                Hex8(it.Address), it.Kind == 0 ? std::string() : it.ModuleFileName, it.UnitName, it.ClassName,
                it.ProcedureName,
                it.Line == 0 ? std::string() : std::to_string(it.Line) + "[" + std::to_string(it.LineDistance) + "]"};
            for (size_t i = 1; i < cells.size(); ++i) widths[i] = std::max(widths[i], cells[i].size());
            rows.push_back({&it, std::move(cells)});
        }
    }
    const size_t sum = Sum(widths);
    const std::string rule(sum + 7, '-');
    std::string out = text(8) + ":" + kCrLf + rule + kCrLf + JoinedRow(labels, widths) + kCrLf + rule + kCrLf;
    const std::vector<size_t> whole = {sum + 5};
    const TReportStackItem* previous = nullptr;
    for (const TRow& r : rows) {
        const TReportStackItem& it = *r.item;
        if (!previous || previous->ThreadId != it.ThreadId || previous->Group != it.Group || it.First == 1) {
            if (previous) {
                WriteTableRow(out, {std::string(sum + 5, '-')}, whole);
                if (it.Group != 0) WriteTableRow(out, {""}, whole);
            }
            WriteTableRow(out, {ThreadHeaderText(it.Thread, true, options)}, whole);
            WriteTableRow(out, {std::string(sum + 5, '-')}, whole);
        }
        WriteTableRow(out, r.cells, widths);
        previous = &it;
    }
    return out + rule + kCrLf + kCrLf;
}

}  // namespace

TReportText BuildReportText(const TReportFacts& facts, const TVurazaModuleOptions& options)
{
    const auto text = [&](int slot) { return options.MessageText(slot); };
    TReportText out;
    out.Header = text(4) + kCrLf + kCrLf;
    const std::string general = FillGeneralSections(facts.General, options, &out);

    std::string asmTitle, asmText, cpuText;
    if (options.LogFlags() & 0x20) {
        TNoMemory noMemory;
        TNoSymbols noSymbols;
        TListingMemory& memory = facts.Memory ? *facts.Memory : noMemory;
        TListingSymbols& symbols = facts.Symbols ? *facts.Symbols : noSymbols;
        const TAsmListing listing = BuildAssemblerListing(facts.General.ExceptionAddress, memory, symbols, text(14));
        asmTitle = listing.Title;
        asmText = listing.Text;
        TCpuSectionTexts texts;
        texts.Registers = text(141);
        texts.Stack = text(142);
        texts.MemoryDump = text(143);
        cpuText = BuildCpuSection(facts.HasContext ? &facts.Registers : nullptr, facts.StackPointer,
                                  facts.General.ExceptionAddress, memory, texts);
    } else {
        asmTitle = text(14) + ":" + kCrLf + std::string(text(14).size() + 1, '-');
        cpuText = SectionTitleBlock(text(141));
    }

    std::string tables = CallStackTable(facts, options);
    if (options.LogFlags() & 0x10) {
        std::vector<std::vector<std::string>> rows;
        for (const TReportModule& m : facts.Modules) {
            rows.push_back({"", m.FileName, m.Description, m.Version, std::to_string(m.Size),
                            ReportDateTimeText(m.Modified), m.Path});
        }
        std::vector<std::string> labels;
        for (int slot = 126; slot <= 132; ++slot) labels.push_back(text(slot));
        const size_t handleWidth = std::max<size_t>(labels[0].size(), 8);
        for (size_t i = 0; i < rows.size(); ++i) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%0*X", static_cast<int>(handleWidth), facts.Modules[i].Handle);
            rows[i][0] = buf;
        }
        tables += PlainTable(text(10), labels, rows, 8);

        rows.clear();
        for (const TReportProcess& p : facts.Processes) {
            rows.push_back({std::to_string(p.Id), p.FileName, p.Description, p.Version, std::to_string(p.Memory),
                            p.Priority, p.Threads == 0 ? std::string("??") : std::to_string(p.Threads), p.Path});
        }
        labels.clear();
        for (int slot = 133; slot <= 140; ++slot) labels.push_back(text(slot));
        tables += PlainTable(text(12), labels, rows, 0);
    } else {
        tables += SectionTitleBlock(text(10)) + SectionTitleBlock(text(12));
    }

    // One empty line before the call-stack title, also when every general item is off: a value
    // running into the table would hide the last general section from the log's readers.
    out.LastReportText =
        TrimRightBreaks(general) + kCrLf + kCrLf + tables + asmTitle + kCrLf + asmText + kCrLf + cpuText;
    out.LogReportText = out.LastReportText;
    return out;
}

std::string ReportItemSection(int number, std::string_view header, std::string_view value)
{
    TLogItem item(number);
    item.AddHeader(header);
    item.AddItem("", value);
    return item.GetFormattedText();
}

std::string ReportListSection(int number, std::string_view header, const std::vector<std::string>& lines)
{
    if (lines.empty())
        return {};
    TLogItem item(number);
    item.AddHeader(header);
    for (const std::string& line : lines) {
        const size_t equals = line.find('=');
        const std::string_view text(line);
        item.AddItem(Trim(text.substr(0, equals)),
                     equals == std::string::npos ? std::string() : Trim(text.substr(equals + 1)));
    }
    return item.GetFormattedText();
}

void InsertAfterGeneralPart(std::string& report, std::string_view section)
{
    if (section.empty())
        return;
    // The first table's title: the line above the rule that a table's row follows.
    size_t end = report.size();
    const size_t rule = report.find("-\r\n|");
    if (rule != std::string::npos) {
        const size_t ruleLine = report.rfind("\r\n", rule);
        if (ruleLine != std::string::npos && ruleLine > 0) {
            const size_t titleLine = report.rfind("\r\n", ruleLine - 1);
            end = titleLine == std::string::npos ? 0 : titleLine + 2;
        }
    }
    while (end >= 2 && report.compare(end - 2, 2, "\r\n") == 0)
        end -= 2;
    std::string inserted = end > 0 ? "\r\n\r\n" : "";
    inserted.append(section);
    report.insert(end, inserted);
}
