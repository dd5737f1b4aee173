#include "crashreport/delivery/ELogFile.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ELogItem.h"
#include "framework/SysUtils.h"

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kThreeBreaks = "\r\n\r\n\r\n";
constexpr std::string_view kFourBreaks = "\r\n\r\n\r\n\r\n";
constexpr std::string_view kTableMark = "-\r\n|";

bool EndsWith(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::string WithoutTrailingBreaks(std::string_view text)
{
    while (EndsWith(text, kCrLf)) text.remove_suffix(kCrLf.size());
    return std::string(text);
}

// Where the value of item `number` lies in a report: [begin, end). False when absent.
struct TItemSpan {
    size_t lineStart;   // the CR LF before the item line
    size_t valueBegin;
    size_t valueEnd;
};

bool LineStartsNextItem(std::string_view line)
{
    if (line.empty()) return true;                  // the empty line after a section
    if (line[0] != ' ') return true;                // a line in column 1: a title or a table
    return line.size() >= 4 && line[1] == ' ' && line[3] != ' ';
}

bool FindItem(std::string_view report, std::string_view number, TItemSpan& span)
{
    const std::string key = "\r\n  " + std::string(number) + " ";
    const size_t at = report.find(key);
    if (at == std::string_view::npos) return false;
    const size_t colon = report.find(": ", at + key.size());
    const size_t lineEnd = std::min(report.find(kCrLf, at + key.size()), report.size());
    if (colon == std::string_view::npos || colon > lineEnd) return false;
    span.lineStart = at;
    span.valueBegin = colon + 2;
    size_t end = lineEnd;
    while (end < report.size()) {
        const size_t next = end + kCrLf.size();
        const size_t nextEnd = std::min(report.find(kCrLf, next), report.size());
        if (LineStartsNextItem(report.substr(next, nextEnd - next))) break;
        end = nextEnd;
    }
    span.valueEnd = end;
    return true;
}

std::string PlainValue(std::string_view stored)
{
    std::string out;
    size_t start = 0;
    bool first = true;
    for (;;) {
        const size_t at = stored.find(kCrLf, start);
        std::string_view line = stored.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start);
        std::string text = first ? std::string(line) : TrimLeft(line);
        if (!first && text == ".") text.clear();
        if (!first) out += kCrLf;
        out += text;
        first = false;
        if (at == std::string_view::npos) break;
        start = at + kCrLf.size();
    }
    return Trim(ReplaceAllText(out, ":_", ": "));
}

std::vector<std::string_view> SplitBlocks(std::string_view report)
{
    std::vector<std::string_view> blocks;
    size_t start = 0;
    while (start <= report.size()) {
        const size_t at = report.find("\r\n\r\n", start);
        std::string_view block = report.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start);
        if (!block.empty()) blocks.push_back(block);
        if (at == std::string_view::npos) break;
        start = at + 4;
        while (report.substr(start, 2) == kCrLf) start += 2;
    }
    return blocks;
}

bool IsTableBlock(std::string_view block) { return block.find(kTableMark) != std::string_view::npos; }

// From the rule above the first row to the closing rule.
std::string TablePart(std::string_view block)
{
    const size_t mark = block.find(kTableMark);
    if (mark == std::string_view::npos) return {};
    const size_t begin = block.rfind(kCrLf, mark);
    const size_t from = begin == std::string_view::npos ? 0 : begin + kCrLf.size();
    std::vector<std::string_view> lines = SplitCrLfLines(block.substr(from));
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += kCrLf;
        out.append(lines[i]);
        if (i > 0 && IsRuleLine(lines[i]) && (i + 1 == lines.size() || lines[i + 1].substr(0, 1) != "|")) break;
    }
    return out;
}

// The lines of a section after its title and rule.
std::string SectionBody(std::string_view block)
{
    std::vector<std::string_view> lines = SplitCrLfLines(block);
    std::string out;
    for (size_t i = 2; i < lines.size(); ++i) {
        if (i > 2) out += kCrLf;
        out.append(lines[i]);
    }
    return out;
}

int FirstTableBlock(const std::vector<std::string_view>& blocks)
{
    for (size_t i = 0; i < blocks.size(); ++i)
        if (IsTableBlock(blocks[i])) return static_cast<int>(i);
    return -1;
}

std::string_view BlockAfterFirstTable(std::string_view report, int distance, std::vector<std::string_view>& keep)
{
    keep = SplitBlocks(report);
    const int first = FirstTableBlock(keep);
    if (first < 0) return {};
    const size_t at = static_cast<size_t>(first + distance);
    return at < keep.size() ? keep[at] : std::string_view{};
}

bool VersionAtLeast(std::string_view report, std::string_view version)
{
    return ReportVersion(report) >= version;
}

}  // namespace

TStringList SplitLogText(std::string_view raw)
{
    TStringList reports;
    if (raw.size() < 8) return reports;
    std::string text = ToCrLf(raw);
    if (!EndsWith(text, kFourBreaks)) text += kFourBreaks;
    size_t start = 0;
    while (start < text.size()) {
        while (text.compare(start, 2, kCrLf) == 0) start += 2;  // breaks left over from a longer run
        const size_t run = text.find(kFourBreaks, start);
        if (run == std::string::npos) break;
        std::string piece = text.substr(start, run + kThreeBreaks.size() - start);
        if (piece.find(kTableMark) != std::string::npos) reports.Add(std::move(piece));
        start = run + kFourBreaks.size();
    }
    return reports;
}

std::string ReportItemValue(std::string_view report, std::string_view number)
{
    TItemSpan span;
    if (!FindItem(report, number, span)) return {};
    return PlainValue(report.substr(span.valueBegin, span.valueEnd - span.valueBegin));
}

std::string ReportVersion(std::string_view report)
{
    const size_t end = std::min(report.find(kCrLf), report.size());
    return end > 10 ? std::string(report.substr(10, end - 10)) : std::string();
}

TLogFile::TLogFile(std::unique_ptr<TLogFileStore> store) : store_(std::move(store))
{
    if (std::optional<std::string> text = store_->Read()) reports_ = SplitLogText(*text);
}

void TLogFile::AddLogReport(std::string_view text, int keep)
{
    if (keep < 1 && keep != -1) keep = 1;
    if (keep != -1)
        while (reports_.Count() > 0 && reports_.Count() >= keep) reports_.Delete(0);
    reports_.Add(WithoutTrailingBreaks(text) + std::string(kThreeBreaks));
}

std::string TLogFile::GetLogText() const
{
    std::string text;
    for (const std::string& r : reports_) {
        text += r;
        text += kCrLf;
    }
    return text;
}

void TLogFile::SaveLogFile()
{
    std::string text = GetLogText();
    if (EndsWith(text, "\r\n\r\n\r\n\r\n\r\n")) text.resize(text.size() - kCrLf.size());
    store_->Write(text);
}

std::string TLogFile::GetReportItem(std::string_view number, int index) const
{
    if (index < 0 || index >= reports_.Count()) return {};
    return ReportItemValue(reports_[index], number);
}

void TLogFile::SetReportItem(std::string_view number, std::string_view value, int index, std::string_view label)
{
    if (index < 0 || index >= reports_.Count()) return;
    std::string& report = reports_[index];
    TItemSpan span;
    if (FindItem(report, number, span)) {
        const std::string indent(span.valueBegin - (span.lineStart + kCrLf.size()) - 1, ' ');
        report.replace(span.valueBegin, span.valueEnd - span.valueBegin,
                       ReplaceAllText(StoredItemValue(value), "\r\n ", "\r\n " + indent));
    } else {
        const size_t dot = number.find('.');
        if (dot == std::string_view::npos) return;
        const std::string_view section = number.substr(0, dot + 1);
        TItemSpan last{};
        bool found = false;
        for (int n = 19; n >= 1 && !found; --n)
            found = FindItem(report, std::string(section) + std::to_string(n), last);
        if (!found) return;
        const size_t labelStart = report.find(' ', last.lineStart + 4) + 1;
        const size_t labelWidth = last.valueBegin - 2 - labelStart;
        std::string padded(label);
        if (padded.size() < labelWidth) padded.append(labelWidth - padded.size(), ' ');
        const std::string line = "\r\n  " + std::string(number) + " " + padded + ": " + StoredItemValue(value);
        // The last line of the section: the next line that starts a section or another block.
        size_t end = last.valueEnd;
        while (end < report.size()) {
            const size_t next = end + kCrLf.size();
            const size_t nextEnd = std::min(report.find(kCrLf, next), report.size());
            const std::string_view l = std::string_view(report).substr(next, nextEnd - next);
            if (l.empty() || l[0] != ' ') break;
            end = nextEnd;
        }
        report.insert(end, line);
    }
    if (!EndsWith(report, kThreeBreaks)) report += kCrLf;
}

int TLogFile::FindReport(const std::string_view* numbers, const std::string_view* values, int count) const
{
    for (int i = reports_.Count() - 1; i >= 0; --i)
        for (int k = 0; k < count; ++k) {
            TItemSpan span;
            if (!FindItem(reports_[i], numbers[k], span)) continue;
            // Compared in plain form, so alignment blanks of the stored value don't matter.
            const std::string stored = PlainValue(std::string_view(reports_[i]).substr(span.valueBegin, span.valueEnd - span.valueBegin));
            const std::string wanted = PlainValue(StoredItemValue(values[k]));
            if (stored.compare(0, wanted.size(), wanted) == 0) return i;
        }
    return -1;
}

bool TLogFile::CountRepeat(std::string_view bugId)
{
    const std::string_view number = "2.7";
    const int index = FindReport(&number, &bugId, 1);
    if (index < 0) return false;
    int count = 1;
    const std::string text = GetReportItem("2.8", index);
    if (!TryStrToInt(text, count)) count = 1;
    // An edited log may hold any number: the count stays at the largest one.
    const int next = count < std::numeric_limits<int>::max() ? count + 1 : count;
    SetReportItem("2.8", std::to_string(next), index, "Count");
    SaveLogFile();
    return true;
}

std::string TLogFile::GeneralPart(int index) const
{
    if (index < 0 || index >= reports_.Count()) return {};
    // Up to the title line of the first table, also in a report whose last general value runs
    // straight into it without an empty line.
    const std::string_view report = reports_[index];
    const size_t mark = report.find(kTableMark);
    if (mark == std::string_view::npos) return TrimRight(report);
    const size_t titleEnd = report.rfind(kCrLf, mark);
    size_t titleStart = 0;
    if (titleEnd != std::string_view::npos && titleEnd > 0) {
        const size_t before = report.rfind(kCrLf, titleEnd - 1);
        titleStart = before == std::string_view::npos ? 0 : before + kCrLf.size();
    }
    return TrimRight(report.substr(0, titleStart));
}

std::string TLogFile::CallStackTable(int index) const
{
    std::vector<std::string_view> keep;
    if (index < 0 || index >= reports_.Count()) return {};
    return TablePart(BlockAfterFirstTable(reports_[index], 0, keep));
}

std::string TLogFile::ModulesTable(int index) const
{
    std::vector<std::string_view> keep;
    if (index < 0 || index >= reports_.Count()) return {};
    const std::string_view block = BlockAfterFirstTable(reports_[index], 1, keep);
    return IsTableBlock(block) ? TablePart(block) : std::string();
}

std::string TLogFile::ProcessesTable(int index) const
{
    std::vector<std::string_view> keep;
    if (index < 0 || index >= reports_.Count() || !VersionAtLeast(reports_[index], "6.0")) return {};
    return TablePart(BlockAfterFirstTable(reports_[index], 2, keep));
}

std::string TLogFile::AssemblerLines(int index) const
{
    std::vector<std::string_view> keep;
    if (index < 0 || index >= reports_.Count() || !VersionAtLeast(reports_[index], "6.0")) return {};
    const std::string_view block = BlockAfterFirstTable(reports_[index], 3, keep);
    return block.empty() ? std::string() : SectionBody(block);
}

std::string TLogFile::ProcessorSection(int index) const
{
    std::vector<std::string_view> blocks;
    if (index < 0 || index >= reports_.Count()) return {};
    const int distance = VersionAtLeast(reports_[index], "6.0") ? 4 : 2;
    const std::string_view block = BlockAfterFirstTable(reports_[index], distance, blocks);
    if (block.find("EAX") == std::string_view::npos) return {};
    // The registers and the stack-and-dump table after their empty line: every following block
    // up to the next titled section.
    size_t next = 0;
    while (next < blocks.size() && blocks[next].data() != block.data()) ++next;
    size_t end = block.size();
    for (++next; next < blocks.size(); ++next) {
        const std::vector<std::string_view> lines = SplitCrLfLines(blocks[next]);
        if (lines.size() >= 2 && IsTitleLine(lines[0], lines[1])) break;
        end = static_cast<size_t>(blocks[next].data() + blocks[next].size() - block.data());
    }
    return std::string(block.data(), end);
}

std::string TLogFile::ReproduceText(int index) const
{
    if (index < 0 || index >= reports_.Count()) return {};
    std::vector<std::string_view> blocks = SplitBlocks(reports_[index]);
    int tables = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (IsTableBlock(blocks[i]) && ++tables == 3) {
            const size_t at = i + 3;
            return at < blocks.size() ? SectionBody(blocks[at]) : std::string();
        }
    }
    return {};
}
