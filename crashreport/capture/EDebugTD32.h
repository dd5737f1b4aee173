#pragma once
// Reader of TD32 debug data (subsection directory, names, modules, source-line tables, aligned
// symbols) over a block of bytes. Every offset, count, index and length in the block is checked
// before it is used; damaged data makes the reader invalid, it never throws.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/capture/EDebugBytes.h"
#include "crashreport/capture/EReporterHeap.h"

class TELSymbolInfo {
public:
    explicit TELSymbolInfo(uint16_t symbolType) : SymbolType(symbolType) {}
    virtual ~TELSymbolInfo() = default;
    uint16_t SymbolType;
};

class TELProcSymbolInfo : public TELSymbolInfo {
public:
    using TELSymbolInfo::TELSymbolInfo;
    uint32_t NameIndex = 0, Offset = 0, Size = 0;
};
class TELLocalProcSymbolInfo : public TELProcSymbolInfo {
public:
    using TELProcSymbolInfo::TELProcSymbolInfo;
};
class TELGlobalProcSymbolInfo : public TELProcSymbolInfo {
public:
    using TELProcSymbolInfo::TELProcSymbolInfo;
};
class TELObjNameSymbolInfo : public TELSymbolInfo {
public:
    using TELSymbolInfo::TELSymbolInfo;
    uint32_t NameIndex = 0, Signature = 0;
};
class TELDataSymbolInfo : public TELSymbolInfo {
public:
    using TELSymbolInfo::TELSymbolInfo;
    uint32_t TypeIndex = 0, NameIndex = 0, Offset = 0;
};
class TELLDataSymbolInfo : public TELDataSymbolInfo {
public:
    using TELDataSymbolInfo::TELDataSymbolInfo;
};
class TELGDataSymbolInfo : public TELDataSymbolInfo {
public:
    using TELDataSymbolInfo::TELDataSymbolInfo;
};
class TELPublicSymbolInfo : public TELDataSymbolInfo {
public:
    using TELDataSymbolInfo::TELDataSymbolInfo;
};
class TELWithSymbolInfo : public TELSymbolInfo {
public:
    using TELSymbolInfo::TELSymbolInfo;
    uint32_t NameIndex = 0, Offset = 0, Size = 0;
};
class TELLabelSymbolInfo : public TELSymbolInfo {
public:
    using TELSymbolInfo::TELSymbolInfo;
    uint32_t NameIndex = 0, Offset = 0;
};
class TELConstantSymbolInfo : public TELSymbolInfo {
public:
    using TELSymbolInfo::TELSymbolInfo;
    uint32_t NameIndex = 0, TypeIndex = 0, Value = 0;
};
class TELUdtSymbolInfo : public TELSymbolInfo {
public:
    using TELSymbolInfo::TELSymbolInfo;
    uint32_t NameIndex = 0, TypeIndex = 0;
    uint16_t Properties = 0;
};
class TELVftPathSymbolInfo : public TELSymbolInfo {
public:
    using TELSymbolInfo::TELSymbolInfo;
    uint32_t RootIndex = 0, PathIndex = 0, Offset = 0;
};

struct TELModuleInfo {
    struct Segment {
        uint16_t Number, Flags;
        uint32_t Offset, Size;
    };
    uint32_t NameIndex = 0;
    std::vector<Segment> Segments;
};

struct TELLineInfo {
    uint32_t LineNo;
    uint32_t Offset;
};

struct TELSourceModuleInfo {
    // One code range per line block, with the block's place in Lines.
    struct Range {
        uint16_t Segment;
        uint32_t Start, End;
        size_t FirstLine, LineCount;
    };
    uint32_t NameIndex = 0;
    std::vector<TELLineInfo> Lines;
    std::vector<Range> Ranges;
};

class TELTD32InfoParser {
public:
    virtual ~TELTD32InfoParser() = default;
    TELTD32InfoParser(const TELTD32InfoParser&) = delete;
    TELTD32InfoParser& operator=(const TELTD32InfoParser&) = delete;

    // The signature at the end, its distance and the signature it points back to.
    static bool IsTD32DebugInfoValid(const TDebugBytes& data);
    // Strips a mangled "@Unit@Class@Method$args" down to "Class.Method" for unit Unit.
    static TReporterString CleanProcedureName(std::string_view name, std::string_view unitName);

    bool IsValid() const { return valid_; }
    // Names are views of the data; a cleaned procedure name is made on the reporter's heap.
    std::string_view Name(uint32_t index) const;
    std::string_view UnitAt(uint32_t offset) const;
    std::string_view SourceAt(uint32_t offset) const;
    uint32_t LineAt(uint32_t offset, uint32_t& distance) const;
    TReporterString ProcedureAt(uint32_t offset, uint32_t& distance) const;

    const std::vector<TELModuleInfo>& Modules() const { return modules_; }
    const std::vector<TELSourceModuleInfo>& SourceModules() const { return sourceModules_; }
    const std::vector<std::unique_ptr<TELSymbolInfo>>& Symbols() const { return symbols_; }

protected:
    // probe: whether the block may be read in place (data inside a loaded module); a block that
    // can't be read over its whole size is invalid.
    TELTD32InfoParser(TDebugBytes data, TReadableProbe probe);
    // Checks and indexes the data; run once by the derived class's constructor.
    void Analyse();

    // Each takes one subsection; false means it is damaged.
    virtual bool AnalyseNames(size_t offset, size_t size);
    virtual bool AnalyseAlignSymbols(size_t offset, size_t size);
    virtual bool AnalyseModules(size_t offset, size_t size);
    virtual bool AnalyseSourceModules(size_t offset, size_t size);

private:
    bool WalkDirectories();
    const TELSourceModuleInfo::Range* RangeAt(uint32_t offset, const TELSourceModuleInfo** module) const;

    TDebugBytes data_;
    TReadableProbe probe_;
    bool valid_ = false;
    struct NameRef {
        size_t Offset, Length;
    };
    std::vector<NameRef> names_;
    std::vector<TELModuleInfo> modules_;
    std::vector<TELSourceModuleInfo> sourceModules_;
    std::vector<std::unique_ptr<TELSymbolInfo>> symbols_;
};

class TELTD32InfoScanner : public TELTD32InfoParser {
public:
    TELTD32InfoScanner(TDebugBytes data, TReadableProbe probe = nullptr) : TELTD32InfoParser(data, probe) { Analyse(); }
};
