#include "crashreport/capture/EDebugMap.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

bool IsWhite(char c)
{
    return (c >= 9 && c <= 13) || c == ' ';
}

bool IsLineEnd(char c)
{
    // Files written on either side of the fence: LF alone ends a line as CR does.
    return c == '\0' || c == '\r' || c == '\n';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

constexpr char lineBlockHeader[] = "Line numbers for";
constexpr uint16_t codeSegment = 1;

}  // namespace

std::string_view TELAbstractMapParser::NameText(size_t position) const
{
    if (position >= text_.size())
        return {};
    size_t p = position;
    if (text_[p] == '(') {
        size_t end = ++p;
        while (end < text_.size() && text_[end] != ')' && !IsLineEnd(text_[end]))
            ++end;
        return std::string_view(text_).substr(p, end - p);
    }
    size_t end = p;
    while (end < text_.size() && !IsWhite(text_[end]) && text_[end] != '(' && text_[end] != '\0')
        ++end;
    return std::string_view(text_).substr(p, end - p);
}

bool TELAbstractMapParser::DigitFollows()
{
    SkipWhite();
    char c = At(pos_);
    return c >= '0' && c <= '9';
}

void TELAbstractMapParser::SkipWhite()
{
    while (pos_ < text_.size() && IsWhite(text_[pos_]))
        ++pos_;
}

size_t TELAbstractMapParser::LineEnd(size_t from) const
{
    while (from < text_.size() && !IsLineEnd(text_[from]))
        ++from;
    return from;
}

void TELAbstractMapParser::SkipEndOfLine()
{
    pos_ = LineEnd(pos_);
    // A NUL ends a line but is no white space: step over it, or the walk stands still.
    if (pos_ < text_.size() && text_[pos_] == '\0')
        ++pos_;
    SkipWhite();
}

size_t TELAbstractMapParser::FindInLine(size_t from, const char* word) const
{
    // Only this line is searched: a search over the rest of a long text for every line would
    // take quadratic time.
    if (from >= text_.size())
        return npos;
    std::string_view line(text_.data() + from, LineEnd(from) - from);
    size_t found = line.find(word);
    return found == std::string_view::npos ? npos : from + found;
}

uint32_t TELAbstractMapParser::ReadHex()
{
    SkipWhite();
    uint32_t v = 0;
    for (int d; (d = HexValue(At(pos_))) >= 0; ++pos_)
        v = v << 4 | static_cast<uint32_t>(d);
    if (At(pos_) == 'H' || At(pos_) == 'h')
        ++pos_;
    return v;
}

uint32_t TELAbstractMapParser::ReadDecimal()
{
    SkipWhite();
    uint32_t v = 0;
    for (; At(pos_) >= '0' && At(pos_) <= '9'; ++pos_)
        v = v * 10 + static_cast<uint32_t>(At(pos_) - '0');
    return v;
}

TELMapAddress TELAbstractMapParser::ReadAddress()
{
    TELMapAddress a;
    a.Segment = static_cast<uint16_t>(ReadHex());
    if (At(pos_) == ':')
        ++pos_;
    a.Offset = ReadHex();
    return a;
}

size_t TELAbstractMapParser::ReadToken()
{
    SkipWhite();
    size_t start = pos_;
    while (pos_ < text_.size() && !IsWhite(text_[pos_]))
        ++pos_;
    return start;
}

bool TELAbstractMapParser::FindSection(const char* const (&words)[4])
{
    while (pos_ < text_.size()) {
        size_t end = LineEnd(pos_);
        size_t at = pos_;
        bool match = true;
        for (const char* w : words) {
            at = FindInLine(at, w);
            if (at == npos) {
                match = false;
                break;
            }
            at += std::strlen(w);
        }
        pos_ = end;
        SkipEndOfLine();
        if (match)
            return true;
    }
    return false;
}

void TELAbstractMapParser::Parse()
{
    static const char* const segmentsHeader[4] = {"Start", "Length", "Name", "Class"};
    static const char* const detailedHeader[4] = {"Detailed", "map", "of", "segments"};
    static const char* const byNameHeader[4] = {"Address", "Publics", "by", "Name"};
    static const char* const byValueHeader[4] = {"Address", "Publics", "by", "Value"};

    linkerBug_ = false;
    TELMapAddress previous;
    pos_ = 0;

    FindSection(segmentsHeader);
    while (DigitFollows()) {
        TELMapAddress a = ReadAddress();
        uint32_t length = ReadHex();
        size_t name = ReadToken();
        size_t className = ReadToken();
        SkipEndOfLine();
        SegmentClassEntry(a, length, name, className);
    }

    FindSection(detailedHeader);
    while (DigitFollows()) {
        TELMapAddress a = ReadAddress();
        uint32_t length = ReadHex();
        // Both keys are looked for on this line only: a line without them must not take the
        // next line's unit.
        size_t c = FindInLine(pos_, "C=");
        size_t m = FindInLine(pos_, "M=");
        SkipEndOfLine();
        DetailedSegmentEntry(a, length, m == npos ? npos : m + 2, c == npos ? npos : c + 2);
    }

    FindSection(byNameHeader);
    while (DigitFollows()) {
        TELMapAddress a = ReadAddress();
        PublicByNameEntry(a, ReadToken());
    }

    FindSection(byValueHeader);
    while (DigitFollows()) {
        TELMapAddress a = ReadAddress();
        PublicByValueEntry(a, ReadToken());
    }

    SkipWhite();
    const size_t headerLength = std::strlen(lineBlockHeader);
    while (text_.compare(pos_, headerLength, lineBlockHeader) == 0) {
        pos_ += headerLength;
        while (At(pos_) == ' ' || At(pos_) == '\t')
            ++pos_;
        size_t unitName = pos_;
        size_t unitFile = FindInLine(pos_, "(");
        SkipEndOfLine();
        LineUnitHeader(unitName, unitFile);
        while (DigitFollows()) {
            uint32_t line = ReadDecimal();
            TELMapAddress a = ReadAddress();
            LineNumberEntry(line, a);
            // Offsets of different segments don't compare: a block of another segment before
            // the code's blocks is no sign of the bug.
            if (!linkerBug_ && a.Segment == previous.Segment && a.Offset < previous.Offset) {
                linkerBug_ = true;
                linkerBugUnit_ = unitName;
            }
            previous = a;
        }
    }
}

TELMapScanner::TELMapScanner(std::string text) : TELAbstractMapParser(std::move(text))
{
    Parse();
    // Binary searches need ascending offsets; a well-formed file already is.
    auto byOffset = [](const Entry& a, const Entry& b) { return a.Offset < b.Offset; };
    std::stable_sort(procedures_.begin(), procedures_.end(), byOffset);
    procedures_.shrink_to_fit();
    lines_.shrink_to_fit();
}

void TELMapScanner::DetailedSegmentEntry(const TELMapAddress& address, uint32_t length, size_t unitName, size_t)
{
    if (address.Segment != codeSegment)
        return;
    uint64_t end = uint64_t(address.Offset) + length;
    segments_.push_back({address.Offset, end, unitName});
    highestOffset_ = std::max(highestOffset_, end);
}

void TELMapScanner::PublicByValueEntry(const TELMapAddress& address, size_t name)
{
    if (address.Segment != codeSegment)
        return;
    if (procedures_.size() % 256 == 0)
        procedures_.reserve(procedures_.size() + 256);
    procedures_.push_back({address.Offset, name});
}

void TELMapScanner::LineUnitHeader(size_t, size_t unitFileName)
{
    pendingSource_ = unitFileName;
}

void TELMapScanner::LineNumberEntry(uint32_t line, const TELMapAddress& address)
{
    // The first entry passes the same tests as the others: one accepted from another segment
    // would reject every line of the code segment after it.
    bool accept = address.Segment == codeSegment && address.Offset <= highestOffset_ &&
                  (!lineAccepted_ || address.Offset > lastLineOffset_);
    if (!accept) {
        ++lineErrors_;
        return;
    }
    lineAccepted_ = true;
    lastLineOffset_ = address.Offset;
    if (lines_.size() % 256 == 0)
        lines_.reserve(lines_.size() + 256);
    lines_.push_back({address.Offset, line});
    if (pendingSource_ != npos) {
        sources_.push_back({address.Offset, pendingSource_});
        pendingSource_ = npos;
    }
}

int64_t TELMapScanner::SegmentStartAt(uint32_t offset) const
{
    for (size_t i = segments_.size(); i-- > 0;)
        if (segments_[i].Start <= offset && offset <= segments_[i].End)
            return segments_[i].Start;
    return -1;
}

std::string_view TELMapScanner::UnitAt(uint32_t offset) const
{
    for (size_t i = segments_.size(); i-- > 0;)
        if (segments_[i].Start <= offset && offset <= segments_[i].End)
            return NameText(segments_[i].UnitName);
    return {};
}

const TELMapScanner::Entry* TELMapScanner::NearestBelow(const std::vector<Entry>& table, uint32_t offset) const
{
    auto it = std::upper_bound(table.begin(), table.end(), offset,
                               [](uint32_t o, const Entry& e) { return o < e.Offset; });
    if (it == table.begin())
        return nullptr;
    const Entry* e = &*(it - 1);
    // An entry of an earlier unit belongs to that unit, not to this offset; outside every unit
    // nothing belongs to it.
    int64_t start = SegmentStartAt(offset);
    return start >= 0 && int64_t(e->Offset) >= start ? e : nullptr;
}

std::string_view TELMapScanner::ProcedureAt(uint32_t offset, uint32_t& distance) const
{
    distance = 0;
    const Entry* e = NearestBelow(procedures_, offset);
    if (!e)
        return {};
    distance = offset - e->Offset;
    return NameText(e->Value);
}

uint32_t TELMapScanner::LineAt(uint32_t offset, uint32_t& distance) const
{
    distance = 0;
    const Entry* e = NearestBelow(lines_, offset);
    if (!e)
        return 0;
    distance = offset - e->Offset;
    return static_cast<uint32_t>(e->Value);
}

std::string_view TELMapScanner::SourceAt(uint32_t offset) const
{
    const Entry* e = NearestBelow(sources_, offset);
    return e ? NameText(e->Value) : std::string_view();
}
