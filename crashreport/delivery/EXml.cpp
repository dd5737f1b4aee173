#include "crashreport/delivery/EXml.h"

#include <cstdint>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EEncrypt.h"
#include "crashreport/capture/ELogItem.h"
#include "crashreport/delivery/EBase64.h"
#include "crashreport/delivery/ELogFile.h"
#include "framework/SysUtils.h"

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kUnknownRegister = "????    ";

// The lines of a text; an empty text has none.
std::vector<std::string_view> Lines(std::string_view text)
{
    return text.empty() ? std::vector<std::string_view>() : SplitCrLfLines(text);
}

// Characters from..to (1-based, inclusive) of a line; what lies beyond its end is empty.
std::string Columns(std::string_view line, size_t from, size_t to)
{
    if (from > line.size()) return {};
    return std::string(line.substr(from - 1, to - from + 1));
}

// The fields of a table row between its "|" separators, trimmed. A 0x7C that ends a GBK
// character (東, 億) is no separator.
std::vector<std::string> RowFields(std::string_view row)
{
    if (!row.empty() && row.front() == '|') row.remove_prefix(1);
    std::vector<std::string> fields;
    size_t start = 0, at = 0;
    while (at < row.size()) {
        const size_t n = GbkCharLength(row, at);
        if (n == 1 && row[at] == '|') {
            fields.push_back(Trim(row.substr(start, at - start)));
            start = at + 1;
        }
        at += n;
    }
    // The row's closing "|" ends the last field; without it the rest is one.
    if (start < row.size() || fields.empty()) fields.push_back(Trim(row.substr(start)));
    return fields;
}

std::string Field(const std::vector<std::string>& fields, size_t oneBased)
{
    return oneBased <= fields.size() ? fields[oneBased - 1] : std::string();
}

bool IsRuleRow(std::string_view row) { return row.substr(0, 2) == "|-" || IsRuleLine(row); }

std::string AfterEquals(std::string_view part)
{
    const size_t at = part.find('=');
    return at == std::string_view::npos ? std::string() : Trim(part.substr(at + 1));
}

bool IsItemLine(std::string_view line, std::string& number)
{
    // Two blanks, then "H.I" and a blank.
    if (line.size() < 6 || line.substr(0, 2) != "  ") return false;
    size_t i = 2;
    const size_t digitsStart = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
    if (i == digitsStart || i >= line.size() || line[i] != '.') return false;
    ++i;
    const size_t minorStart = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
    if (i == minorStart || i >= line.size() || line[i] != ' ') return false;
    number = std::string(line.substr(2, i - 2));
    return true;
}

std::string CompletedValue(std::string value)
{
    if (value.compare(0, 3, ".\r\n") == 0) value.erase(0, 1);
    if (value.size() >= 3 && value.compare(value.size() - 3, 3, "\r\n.") == 0) value.pop_back();
    value = ReplaceAllText(value, ":_", ": ");
    return ReplaceAllText(value, "\n.\r", "\n\r");
}

void AddGeneral(TXMLItem& root, std::string_view general)
{
    std::vector<std::string_view> lines = Lines(general);
    TXMLItem* group = nullptr;
    TXMLItem* line = nullptr;
    bool groupNamed = false;
    std::string title, pending;
    bool hasPending = false;
    auto complete = [&] {
        if (line && hasPending) line->AddAttribute("Value", CompletedValue(pending));
        hasPending = false;
        line = nullptr;
    };
    bool expectTitle = true;
    for (size_t i = 2; i < lines.size(); ++i) {
        const std::string_view text = lines[i];
        if (text.empty()) {
            complete();
            group = nullptr;
            expectTitle = true;
            continue;
        }
        if (expectTitle) {
            group = root.AddChild("Group");
            groupNamed = false;
            title = std::string(text.substr(0, text.size() - (text.back() == ':' ? 1 : 0)));
            if (i + 1 < lines.size() && IsRuleLine(lines[i + 1])) ++i;
            expectTitle = false;
            continue;
        }
        std::string number;
        if (group && IsItemLine(text, number)) {
            complete();
            if (!groupNamed) {
                group->AddAttribute("ID", number.substr(0, number.find('.')));
                group->AddAttribute("Label", title);
                groupNamed = true;
            }
            std::string_view rest = text.substr(2 + number.size());
            const size_t colon = rest.find(": ");
            line = group->AddChild("Line");
            line->AddAttribute("ID", number);
            if (colon != std::string_view::npos) {
                line->AddAttribute("Label", Trim(rest.substr(0, colon)));
                pending = std::string(rest.substr(colon + 2));
            } else {
                std::string label = Trim(rest);  // "Error at:" with its value on the next lines
                if (!label.empty() && label.back() == ':') label.pop_back();
                line->AddAttribute("Label", label);
                pending.clear();
            }
            hasPending = true;
        } else if (line) {
            pending += std::string(kCrLf) + Trim(text);
        }
    }
    complete();
}

bool IsNameText(std::string_view text)
{
    for (unsigned char c : text) {
        const bool ok = c == '.' || c == '@' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                        (c >= 'a' && c <= 'z');
        if (!ok) return false;
    }
    return true;
}

std::string Unscramble(std::string_view stored)
{
    const std::string bytes = Base64DecodeString(stored);
    std::string out(bytes.size(), '\0');
    DecryptBuffer(reinterpret_cast<const uint8_t*>(bytes.data()), reinterpret_cast<uint8_t*>(out.data()), bytes.size());
    return out;
}

// Unit, class and procedure of a row whose names the report stored scrambled; the stored
// fields stay when anything decodes to something that is no name.
void DecodeNames(std::string& unit, std::string& className, std::string& procedure)
{
    if (unit.size() < 2 || unit[0] != '?') return;
    const char kind = unit[1];
    std::string u = Unscramble(std::string_view(unit).substr(2));
    if (u.empty()) return;
    std::string p = procedure.empty() ? std::string() : Unscramble(std::string_view(procedure).substr(1));
    std::string c;
    if (const size_t dot = p.find('.'); dot != std::string::npos) {
        c = p.substr(0, dot);
        p = p.substr(dot + 1);
    } else if (!className.empty()) {
        c = Unscramble(std::string_view(className).substr(1));
    }
    if (u.find('.') == std::string::npos) u += kind == 'p' ? ".pas" : ".cpp";
    if (!IsNameText(u) || !IsNameText(c) || !IsNameText(p)) return;
    unit = u;
    className = c;
    procedure = p;
}

void AddCallStack(TXMLItem& root, std::string_view table, bool oldVersion, bool scrambled)
{
    std::vector<std::string_view> rows = Lines(table);
    TXMLItem* top = nullptr;
    TXMLItem* current = nullptr;
    bool newThread = false;
    bool firstThread = true;
    if (oldVersion) {
        top = current = root.AddChild("ExceptionThread");
        firstThread = false;
    }
    for (size_t i = 3; i + 1 < rows.size(); ++i) {
        const std::string_view row = rows[i];
        if (IsRuleRow(row)) continue;
        std::vector<std::string> fields = RowFields(row);
        if (fields.size() < 6) {
            const std::string& first = fields.empty() ? std::string() : fields[0];
            if (first.empty()) {
                newThread = true;
                continue;
            }
            // The kind text before ": " is the first part: "*Exception Thread: ID=1; Priority=0; Class=X; [Main]".
            TStringList parts;
            const size_t colon = first.find(": ");
            parts.Add(Trim(std::string_view(first).substr(0, colon)));
            if (colon != std::string::npos) {
                TStringList rest;
                SplitTextAtChars(std::string_view(first).substr(colon + 2), rest, MakeCharSet(";"), false, true);
                for (const std::string& part : rest) parts.Add(part);
            }
            TXMLItem* thread;
            if (firstThread) {
                thread = top = root.AddChild("ExceptionThread");
                firstThread = false;
            } else if (newThread || !top) {
                thread = top = root.AddChild("RunningThread");
            } else {
                thread = top->AddChild("CallingThread");
            }
            newThread = false;
            if (parts.Count() > 1) thread->AddAttribute("ID", AfterEquals(parts[1]));
            if (parts.Count() > 2) thread->AddAttribute("Priority", AfterEquals(parts[2]));
            if (parts.Count() > 3) thread->AddAttribute("Class", AfterEquals(parts[3]));
            thread->AddAttribute("MainThread", parts.Count() >= 5 ? "True" : "False");
            current = thread;
            continue;
        }
        if (!current) {
            current = top = root.AddChild("ExceptionThread");
            firstThread = false;
        }
        std::string unit = Field(fields, 3), className = Field(fields, 4), procedure = Field(fields, 5);
        if (scrambled) DecodeNames(unit, className, procedure);
        if (!procedure.empty() && procedure[0] == '@') procedure[0] = '_';
        const std::string number = Field(fields, 6);
        const size_t bracket = number.find('[');
        TXMLItem* line = current->AddChild("Line");
        line->AddAttribute("Address", Field(fields, 1));
        line->AddAttribute("Module", Field(fields, 2));
        line->AddAttribute("Unit", unit);
        line->AddAttribute("Class", className);
        line->AddAttribute("Procedure", procedure);
        line->AddAttribute("Number", number.substr(0, bracket));
        line->AddAttribute("Offset", bracket == std::string::npos || number.size() < bracket + 2
                                         ? std::string()
                                         : number.substr(bracket + 1, number.size() - bracket - 2));
    }
}

void AddTableRows(TXMLItem& root, std::string_view table, const char* element,
                  std::initializer_list<const char*> names)
{
    std::vector<std::string_view> rows = Lines(table);
    for (size_t i = 3; i + 1 < rows.size(); ++i) {
        if (IsRuleRow(rows[i])) continue;
        std::vector<std::string> fields = RowFields(rows[i]);
        TXMLItem* item = root.AddChild(element);
        size_t n = 1;
        for (const char* name : names) item->AddAttribute(name, Field(fields, n++));
    }
}

void AddModules(TXMLItem& root, std::string_view table)
{
    std::vector<std::string_view> rows = Lines(table);
    for (size_t i = 3; i + 1 < rows.size(); ++i) {
        if (IsRuleRow(rows[i])) continue;
        std::vector<std::string> fields = RowFields(rows[i]);
        TXMLItem* module = root.AddChild("Module");
        module->AddAttribute("Handle", Field(fields, 1));
        module->AddAttribute("Name", Field(fields, 2));
        module->AddAttribute("Description", Field(fields, 3));
        module->AddAttribute("Version", Field(fields, 4));
        module->AddAttribute("Size", Field(fields, 5));
        if (fields.size() >= 7) {
            module->AddAttribute("Modified", Field(fields, 6));
            module->AddAttribute("Path", Field(fields, 7));
        } else {
            module->AddAttribute("Path", Field(fields, 6));
        }
    }
}

void AddAssembler(TXMLItem& root, std::string_view listing)
{
    for (std::string_view raw : Lines(listing)) {
        const std::string text = Trim(raw);
        TXMLItem* line = root.AddChild("Line");
        if (!text.empty() && text[0] == ';') {
            line->AddAttribute("Address", "");
            line->AddAttribute("Command", "");
            line->AddAttribute("Comment", text.substr(1));
            continue;
        }
        const std::string command = text.size() > 10 ? text.substr(10) : std::string();
        const size_t semicolon = command.find(';');
        line->AddAttribute("Address", text.substr(0, 8));
        line->AddAttribute("Command", Trim(command.substr(0, semicolon)));
        line->AddAttribute("Comment", semicolon == std::string::npos ? std::string() : Trim(command.substr(semicolon + 1)));
    }
}

void AddCpu(TXMLItem& root, std::string_view section)
{
    if (section.empty()) return;
    std::vector<std::string_view> lines = Lines(section);
    auto line = [&](size_t oneBased) { return oneBased <= lines.size() ? lines[oneBased - 1] : std::string_view(); };
    TXMLItem* registers = root.AddChild("Registers");
    const char* left[] = {"EAX", "EBX", "ECX", "EDX"};
    const char* right[] = {"EDI", "ESI", "ESP", "EIP"};
    for (int pass = 0; pass < 2; ++pass)
        for (size_t r = 0; r < 4; ++r) {
            const std::string value = pass == 0 ? Columns(line(3 + r), 6, 13) : Columns(line(3 + r), 22, 29);
            if (value != kUnknownRegister) registers->AddAttribute(pass == 0 ? left[r] : right[r], value);
        }
    TXMLItem* stack = root.AddChild("Stack");
    TXMLItem* dump = root.AddChild("MemoryDump");
    for (size_t i = 10; i <= lines.size(); ++i) {
        TXMLItem* s = stack->AddChild("Line");
        s->AddAttribute("Address", Columns(lines[i - 1], 1, 8));
        s->AddAttribute("Value", Columns(lines[i - 1], 11, 18));
        TXMLItem* d = dump->AddChild("Line");
        d->AddAttribute("Address", Columns(lines[i - 1], 22, 29));
        d->AddAttribute("Bytes", Columns(lines[i - 1], 32, 78));
        d->AddAttribute("Chars", Columns(lines[i - 1], 81, 96));
    }
}

// Every line but the first and the last two blanks further in.
std::string IndentInner(const std::string& text)
{
    std::vector<std::string_view> lines = Lines(text);
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += kCrLf;
        if (i > 0 && i + 1 < lines.size() && !lines[i].empty()) out += "  ";
        out.append(lines[i]);
    }
    return out;
}

}  // namespace

TXMLItems::~TXMLItems()
{
    while (!items_.empty()) items_.pop_back();  // last first
}

TXMLItem* TXMLItems::Add(std::string_view name, TXMLItem* parent)
{
    items_.push_back(std::make_unique<TXMLItem>(name));
    items_.back()->parent_ = parent;
    return items_.back().get();
}

std::string XmlEscape(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        if (c < 0x20 && c != 9 && c != 10 && c != 13) {
            out += '?';
        } else if (c < 0x20 || c == '"' || c == '&' || c == '\'' || c == '<' || c == '>' || c >= 0x7F) {
            char buf[8];
            buf[0] = '&';
            buf[1] = '#';
            buf[2] = static_cast<char>('0' + c / 100);
            buf[3] = static_cast<char>('0' + c / 10 % 10);
            buf[4] = static_cast<char>('0' + c % 10);
            buf[5] = ';';
            out.append(buf, 6);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void TXMLItem::AddAttribute(std::string_view name, std::string_view value)
{
    attributes_ += ' ';
    attributes_.append(name);
    attributes_ += "=\"";
    attributes_ += XmlEscape(value);
    attributes_ += '"';
}

std::string TXMLItem::Write(const std::string& indent) const
{
    std::string out = indent + "<" + name_ + attributes_;
    if (children_.Count() == 0) return out + "/>\r\n";
    out += ">\r\n";
    for (int i = 0; i < children_.Count(); ++i) out += children_.Item(i)->Write(indent + "  ");
    return out + indent + "</" + name_ + ">\r\n";
}

std::string ReportToXml(const TLogFile& log, int index)
{
    if (index < 0 || index >= log.ReportCount()) return {};
    const std::string& report = log.Report(index);
    const std::string version = ReportVersion(report);
    const bool from6 = version >= "6.0";
    const bool before5 = version < "5.0";
    if (!log.Password.empty()) SetCipherKey(log.Password);

    std::string text = "<Log Version=\"" + XmlEscape(version) + "\">\r\n";
    TXMLItem general("General");
    AddGeneral(general, log.GeneralPart(index));
    text += general.GetText();
    TXMLItem stack("CallStack");
    AddCallStack(stack, log.CallStackTable(index), before5, !log.Password.empty());
    text += stack.GetText();
    TXMLItem modules("Modules");
    AddModules(modules, log.ModulesTable(index));
    text += modules.GetText();
    if (from6) {
        TXMLItem processes("Processes");
        AddTableRows(processes, log.ProcessesTable(index), "Process",
                     {"ID", "Name", "Description", "Version", "Memory", "Priority", "Threads", "Path"});
        text += processes.GetText();
        TXMLItem assembler("Assembler");
        AddAssembler(assembler, log.AssemblerLines(index));
        text += assembler.GetText();
    }
    TXMLItem cpu("CPU");
    AddCpu(cpu, log.ProcessorSection(index));
    text += cpu.GetText();
    if (before5) {
        TXMLItem steps("HoToReproduce");
        steps.AddAttribute("Text", log.ReproduceText(index));
        text += steps.GetText();
    }
    return IndentInner(text + "</Log>");
}

std::string LogToXml(const TLogFile& log)
{
    std::string text = "<Doc>\r\n";
    for (int i = 0; i < log.ReportCount(); ++i) text += ReportToXml(log, i) + "\r\n";
    return IndentInner(text + "</Doc>");
}
