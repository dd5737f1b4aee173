#pragma once
// Reader of the linker's detailed ".map" file: segments, the units of the code segment, publics
// by value and the line-number blocks, answering unit, procedure, line and source file of an
// offset in the code segment. The text is read once; nothing in it is trusted.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TELMapAddress {
    uint16_t Segment = 0;
    uint32_t Offset = 0;
};

// Walks the text once and hands each entry to the handlers. Names are positions in the text.
class TELAbstractMapParser {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    explicit TELAbstractMapParser(std::string text) : text_(std::move(text)) {}
    virtual ~TELAbstractMapParser() = default;
    TELAbstractMapParser(const TELAbstractMapParser&) = delete;
    TELAbstractMapParser& operator=(const TELAbstractMapParser&) = delete;

    bool LinkerBug() const { return linkerBug_; }
    std::string LinkerBugUnitName() const { return std::string(NameText(linkerBugUnit_)); }
    // A name starting with "(" is the text inside the parentheses; any other ends at white
    // space or "(".
    std::string_view NameText(size_t position) const;

protected:
    // Runs the walk; a derived class calls it once its own tables are ready for the handlers.
    void Parse();

    virtual void SegmentClassEntry(const TELMapAddress& address, uint32_t length, size_t name, size_t className) {}
    virtual void DetailedSegmentEntry(const TELMapAddress& address, uint32_t length, size_t unitName, size_t className) {}
    virtual void PublicByNameEntry(const TELMapAddress& address, size_t name) {}
    virtual void PublicByValueEntry(const TELMapAddress& address, size_t name) {}
    virtual void LineUnitHeader(size_t unitName, size_t unitFileName) {}
    virtual void LineNumberEntry(uint32_t line, const TELMapAddress& address) {}

private:
    char At(size_t p) const { return p < text_.size() ? text_[p] : '\0'; }
    bool DigitFollows();
    void SkipWhite();
    void SkipEndOfLine();
    size_t LineEnd(size_t from) const;
    size_t FindInLine(size_t from, const char* word) const;
    uint32_t ReadHex();
    uint32_t ReadDecimal();
    TELMapAddress ReadAddress();
    size_t ReadToken();
    bool FindSection(const char* const (&words)[4]);

    std::string text_;
    size_t pos_ = 0;
    bool linkerBug_ = false;
    size_t linkerBugUnit_ = npos;
};

class TELMapScanner : public TELAbstractMapParser {
public:
    // text: the whole file; an empty text gives a scanner without entries.
    explicit TELMapScanner(std::string text);

    // Whether the text held at least one unit of the code segment.
    bool HasCodeUnits() const { return !segments_.empty(); }
    int LineErrors() const { return lineErrors_; }

    int64_t SegmentStartAt(uint32_t offset) const;
    // Views of the text: a lookup allocates nothing.
    std::string_view UnitAt(uint32_t offset) const;
    std::string_view ProcedureAt(uint32_t offset, uint32_t& distance) const;
    uint32_t LineAt(uint32_t offset, uint32_t& distance) const;
    std::string_view SourceAt(uint32_t offset) const;

protected:
    void DetailedSegmentEntry(const TELMapAddress& address, uint32_t length, size_t unitName, size_t className) override;
    void PublicByValueEntry(const TELMapAddress& address, size_t name) override;
    void LineUnitHeader(size_t unitName, size_t unitFileName) override;
    void LineNumberEntry(uint32_t line, const TELMapAddress& address) override;

private:
    struct Segment {
        uint32_t Start;
        uint64_t End;
        size_t UnitName;
    };
    struct Entry {
        uint32_t Offset;
        size_t Value;  // a text position, or a line number
    };
    const Entry* NearestBelow(const std::vector<Entry>& table, uint32_t offset) const;

    std::vector<Segment> segments_;
    std::vector<Entry> procedures_;
    std::vector<Entry> lines_;
    std::vector<Entry> sources_;
    uint64_t highestOffset_ = 0;
    bool lineAccepted_ = false;
    uint32_t lastLineOffset_ = 0;
    size_t pendingSource_ = npos;
    int lineErrors_ = 0;
};
