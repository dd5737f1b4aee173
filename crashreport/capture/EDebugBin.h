#pragma once
// Reader of the compact binary debug data ("JDBG": a "JCLDEBUG" section or a ".jdbg" file):
// delta-coded tables of variable-length integers and a pool of packed names. Nothing in the
// data is trusted: damaged data is invalid or answers nothing, it never throws.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crashreport/capture/EDebugBytes.h"
#include "crashreport/capture/EReporterHeap.h"

class TELBinDebugScanner {
public:
    // Form-1 names are stored with each byte exclusive-or'ed with this (bytes equal to it stay).
    static constexpr uint8_t NameScramble = 0xA5;
    static constexpr uint32_t TableEnd = 0x7FFFFFFF;
    static constexpr size_t MaxNameLength = 255;

    // probe: whether the data may be read in place (a section of a loaded module).
    TELBinDebugScanner(TDebugBytes data, bool cacheData, TReadableProbe probe = nullptr);

    bool ValidFormat() const { return valid_; }
    // Names are made on the reporter's heap.
    TReporterString UnitAt(uint32_t offset) const;
    TReporterString SourceAt(uint32_t offset) const;
    uint32_t LineAt(uint32_t offset, uint32_t& distance) const;
    TReporterString ProcedureAt(uint32_t offset, uint32_t& distance) const;
    // The name a pool reference designates; empty for 0 or a reference outside the pool.
    TReporterString NameAt(uint32_t reference) const;

private:
    enum Table { Units, SourceNames, Symbols, LineNumbers, TableCount };
    struct Row {
        uint32_t Address = 0, First = 0, Second = 0;
    };
    class Cursor;

    bool CheckHeader();
    bool TablesAscend() const;
    bool UnitStartAt(uint32_t offset, uint32_t& start, uint32_t& name) const;
    // The last row at or below the offset, read from the encoded table.
    bool LastRowAtOrBelow(Table table, uint32_t offset, Row& row) const;
    bool CachedRowAtOrBelow(Table table, uint32_t offset, Row& row) const;
    void Cache(Table table, std::vector<Row>& rows) const;

    TDebugBytes data_;
    bool cache_;
    bool valid_ = false;
    uint32_t tables_[TableCount] = {};
    uint32_t namePool_ = 0;
    mutable bool linesCached_ = false, symbolsCached_ = false;
    mutable std::vector<Row> lines_, symbols_;
};
