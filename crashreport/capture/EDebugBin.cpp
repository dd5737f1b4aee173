#include "crashreport/capture/EDebugBin.h"

#include <algorithm>

namespace {

constexpr uint32_t signature = 0x4742444A;  // "JDBG"
// The header is 34 bytes; the tables need at least one more.
constexpr size_t minimumSize = 35;

uint32_t RotateRight8(uint32_t v)
{
    return v >> 8 | v << 24;
}

char CodeChar(unsigned code)
{
    if (code <= 10)
        return static_cast<char>('0' + code - 1);
    if (code <= 36)
        return static_cast<char>('A' + code - 11);
    if (code <= 62)
        return static_cast<char>('a' + code - 37);
    return '_';
}

}  // namespace

// Reads one table's rows: each value a delta from the same column of the previous row.
class TELBinDebugScanner::Cursor {
public:
    Cursor(const TDebugBytes& data, uint32_t offset, int columns) : data_(data), pos_(offset), columns_(columns) {}

    bool Next(Row& row)
    {
        uint32_t d[3] = {};
        for (int c = 0; c < columns_; ++c)
            if (!Value(d[c]) || (c == 0 && d[0] == TableEnd))
                return false;
        row.Address += d[0];
        row.First += d[1];
        row.Second += d[2];
        return true;
    }

private:
    // Seven bits a byte, low group first; at most five bytes, and never past the data.
    bool Value(uint32_t& v)
    {
        v = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            uint8_t b = 0;
            if (!data_.U8(pos_, b))
                return false;
            ++pos_;
            v |= static_cast<uint32_t>(static_cast<uint64_t>(b & 0x7F) << shift);
            if (!(b & 0x80))
                return true;
        }
        return true;
    }

    const TDebugBytes& data_;
    size_t pos_;
    int columns_;
};

TELBinDebugScanner::TELBinDebugScanner(TDebugBytes data, bool cacheData, TReadableProbe probe)
    : data_(data), cache_(cacheData)
{
    if (!data_.Data() || (probe && !probe(data_.Data(), data_.Size())))
        return;
    valid_ = CheckHeader() && TablesAscend();
    // The tables are cached now: a lookup while an exception is handled only reads.
    if (valid_ && cache_) {
        Cache(Symbols, symbols_);
        Cache(LineNumbers, lines_);
        symbolsCached_ = linesCached_ = true;
    }
}

bool TELBinDebugScanner::CheckHeader()
{
    size_t size = data_.Size();
    uint32_t sig = 0;
    uint8_t version = 0, checked = 0;
    if (size < minimumSize || size % 4 != 0 || !data_.U32(0, sig) || sig != signature || !data_.U8(4, version) ||
        version != 1)
        return false;
    for (int t = 0; t < TableCount; ++t)
        if (!data_.U32(5 + 4 * size_t(t), tables_[t]) || tables_[t] >= size)
            return false;
    if (!data_.U32(21, namePool_) || namePool_ >= size)
        return false;
    data_.U8(33, checked);
    if (checked) {
        uint32_t checksum = 0;
        data_.U32(29, checksum);
        uint32_t s = 0 - checksum;
        for (size_t at = 0; at < size; at += 4) {
            uint32_t word = 0;
            data_.U32(at, word);
            s += word;
        }
        if (RotateRight8(s) != checksum)
            return false;
    }
    return true;
}

bool TELBinDebugScanner::TablesAscend() const
{
    static const int columns[TableCount] = {2, 2, 3, 2};
    for (int t = 0; t < TableCount; ++t) {
        Cursor cursor(data_, tables_[t], columns[t]);
        Row row;
        uint32_t previous = 0;
        while (cursor.Next(row)) {
            // A negative address delta wraps; searches for the last row below an offset would
            // then stop at the wrong row.
            if (row.Address < previous)
                return false;
            previous = row.Address;
        }
    }
    return true;
}

bool TELBinDebugScanner::LastRowAtOrBelow(Table table, uint32_t offset, Row& found) const
{
    if (!valid_)
        return false;
    Cursor cursor(data_, tables_[table], table == Symbols ? 3 : 2);
    Row row;
    bool any = false;
    while (cursor.Next(row) && row.Address <= offset) {
        found = row;
        any = true;
    }
    return any;
}

void TELBinDebugScanner::Cache(Table table, std::vector<Row>& rows) const
{
    rows.reserve(64);
    Cursor cursor(data_, tables_[table], table == Symbols ? 3 : 2);
    Row row;
    while (cursor.Next(row)) {
        if (rows.size() == rows.capacity())
            rows.reserve(rows.capacity() + rows.capacity() / 4);
        rows.push_back(row);
    }
    rows.shrink_to_fit();
}

bool TELBinDebugScanner::CachedRowAtOrBelow(Table table, uint32_t offset, Row& found) const
{
    if (!valid_)
        return false;
    if (!cache_)
        return LastRowAtOrBelow(table, offset, found);
    bool& cached = table == Symbols ? symbolsCached_ : linesCached_;
    std::vector<Row>& rows = table == Symbols ? symbols_ : lines_;
    if (!cached) {
        Cache(table, rows);
        cached = true;
    }
    auto it = std::upper_bound(rows.begin(), rows.end(), offset,
                               [](uint32_t o, const Row& r) { return o < r.Address; });
    if (it == rows.begin())
        return false;
    found = *(it - 1);
    return true;
}

bool TELBinDebugScanner::UnitStartAt(uint32_t offset, uint32_t& start, uint32_t& name) const
{
    Row row;
    if (!LastRowAtOrBelow(Units, offset, row))
        return false;
    start = row.Address;
    name = row.First;
    return true;
}

TReporterString TELBinDebugScanner::UnitAt(uint32_t offset) const
{
    uint32_t start = 0, name = 0;
    return UnitStartAt(offset, start, name) ? NameAt(name) : TReporterString();
}

TReporterString TELBinDebugScanner::SourceAt(uint32_t offset) const
{
    uint32_t start = 0, name = 0;
    Row row;
    if (!UnitStartAt(offset, start, name) || !LastRowAtOrBelow(SourceNames, offset, row) || row.Address < start)
        return {};
    return NameAt(row.First);
}

uint32_t TELBinDebugScanner::LineAt(uint32_t offset, uint32_t& distance) const
{
    distance = 0;
    uint32_t start = 0, name = 0;
    Row row;
    if (!UnitStartAt(offset, start, name) || !CachedRowAtOrBelow(LineNumbers, offset, row) || row.Address < start)
        return 0;
    distance = offset - row.Address;
    return row.First;
}

TReporterString TELBinDebugScanner::ProcedureAt(uint32_t offset, uint32_t& distance) const
{
    distance = 0;
    uint32_t start = 0, name = 0;
    Row row;
    if (!UnitStartAt(offset, start, name) || !CachedRowAtOrBelow(Symbols, offset, row) || row.Address < start)
        return {};
    distance = offset - row.Address;
    TReporterString result = NameAt(row.First);
    if (row.Second != 0) {
        result += '.';
        result += NameAt(row.Second);
    }
    return result;
}

TReporterString TELBinDebugScanner::NameAt(uint32_t reference) const
{
    if (reference == 0 || !valid_)
        return {};
    uint64_t at = uint64_t(namePool_) + reference - 1;
    if (at >= data_.Size())
        return {};
    size_t p = static_cast<size_t>(at);
    const uint8_t* d = data_.Data();
    const size_t size = data_.Size();
    TReporterString out;
    if (d[p] == 1) {
        for (++p; p < size && d[p] != 0 && out.size() < MaxNameLength; ++p)
            out += static_cast<char>(d[p] == NameScramble ? d[p] : d[p] ^ NameScramble);
        return out;
    }
    if (d[p] == 2) {
        out = "@";
        ++p;
    }
    // Four 6-bit codes in three bytes, low bits first.
    while (out.size() < MaxNameLength && p < size) {
        unsigned b0 = d[p], b1 = p + 1 < size ? d[p + 1] : 0, b2 = p + 2 < size ? d[p + 2] : 0;
        unsigned codes[4] = {b0 & 63, (b0 >> 6) | (b1 & 15) << 2, (b1 >> 4) | (b2 & 3) << 4, b2 >> 2};
        // Codes whose bits lie past the data end the name.
        size_t usable = p + 2 < size ? 4 : p + 1 < size ? 2 : 1;
        for (size_t i = 0; i < 4; ++i) {
            if (i >= usable || codes[i] == 0 || out.size() >= MaxNameLength)
                return out;
            out += CodeChar(codes[i]);
        }
        p += 3;
    }
    return out;
}
