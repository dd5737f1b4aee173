#pragma once
// Debug information of a loaded module from a ".map" file beside it, TD32 data (in the image or
// a ".tds" file beside it) or binary debug data (a "JCLDEBUG" section or a ".jdbg" file), and
// the lookup of a code address in it. Only finding the module's file name, reading files and
// probing memory touch the system; they go through TDebugInfoPlatform.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "crashreport/capture/EDebugBin.h"
#include "crashreport/capture/EDebugBytes.h"
#include "crashreport/capture/EDebugMap.h"
#include "crashreport/capture/EDebugTD32.h"
#include "framework/Classes.h"

class TELDebugInfoSource;

// Its texts live on the reporter's heap: lookups run while an exception is handled.
struct TELLocationInfo {
    uintptr_t Addr = 0;
    TReporterString UnitText;
    TReporterString ProcText;
    int32_t LineInProc = 0;
    int32_t Line = 0;
    TReporterString SourceFile;
    const TELDebugInfoSource* Origin = nullptr;
};

struct TDebugInfoPlatform {
    // The module's full file name, empty when unknown.
    std::string (*ModuleFileName)(uintptr_t module);
    // Reads a whole existing file; false (and empty bytes) when it can't be opened or is too
    // large to be debug data.
    bool (*LoadFile)(const std::string& path, std::string& bytes);
    TReadableProbe Readable;
};
const TDebugInfoPlatform& DebugInfoPlatform();
const TDebugInfoPlatform& SystemDebugInfoPlatform();
// Tests put fake modules behind the sources; nullptr restores the system's.
void SetDebugInfoPlatform(const TDebugInfoPlatform* platform);

// Debug files are read whole; nothing larger is debug data of a module.
constexpr size_t MaxDebugFileSize = 256u << 20;

std::string ChangeFileExtension(const std::string& path, const char* extension);

// The module list has a stream of this name too: this unit's own lives in its namespace.
namespace edebug {
// A read-only view of memory of a loaded module, neither copied nor freed.
class THModuleStream {
public:
    THModuleStream(const uint8_t* memory, size_t size) : bytes_(memory, size) {}
    const TDebugBytes& Bytes() const { return bytes_; }

private:
    TDebugBytes bytes_;
};
}  // namespace edebug

class TELDebugInfoSource : public TObject {
    VIDUDO_CLASS(TELDebugInfoSource, TObject)
public:
    // Construct, then OpenSource: a constructor can't reach the kind's own OpenSource.
    explicit TELDebugInfoSource(uintptr_t module);
    virtual bool OpenSource() = 0;
    // The offset within the code section, which starts at relative address 0x1000.
    virtual uint32_t AddressToOffset(uintptr_t address) const;
    virtual bool IsValid() const = 0;
    // True when the address lies in the module's code and the data names its unit.
    virtual bool FindLocation(uintptr_t address, TELLocationInfo& info) const;
    uintptr_t Module() const { return module_; }

protected:
    virtual TReporterString UnitAt(uint32_t offset) const = 0;
    virtual TReporterString ProcedureAt(uint32_t offset, uint32_t& distance) const = 0;
    virtual uint32_t LineAt(uint32_t offset, uint32_t& distance) const = 0;
    virtual TReporterString SourceAt(uint32_t offset) const = 0;
    std::string ModuleFileNameWith(const char* extension) const;

private:
    uintptr_t module_;
    // The code section's size: offsets at or past it, like addresses below it, are no code.
    uint32_t codeSize_ = 0;
};

class TELDebugInfoMap : public TELDebugInfoSource {
    VIDUDO_CLASS(TELDebugInfoMap, TELDebugInfoSource)
public:
    using TELDebugInfoSource::TELDebugInfoSource;
    bool OpenSource() override;
    // A map file counts only when it described units of the code segment: an empty or foreign
    // ".map" must not hide the other kinds.
    bool IsValid() const override { return scanner_ && scanner_->HasCodeUnits(); }
    const TELMapScanner* Scanner() const { return scanner_.get(); }

protected:
    TReporterString UnitAt(uint32_t offset) const override { return TReporterString(scanner_->UnitAt(offset)); }
    TReporterString ProcedureAt(uint32_t offset, uint32_t& distance) const override
    {
        return TReporterString(scanner_->ProcedureAt(offset, distance));
    }
    uint32_t LineAt(uint32_t offset, uint32_t& distance) const override { return scanner_->LineAt(offset, distance); }
    TReporterString SourceAt(uint32_t offset) const override { return TReporterString(scanner_->SourceAt(offset)); }

private:
    std::unique_ptr<TELMapScanner> scanner_;
};

// TD32 data of a loaded module: in the image (its debug directory) or in a ".tds" file.
class TELPeBorTD32Image {
public:
    TELPeBorTD32Image(uintptr_t module, const std::string& tdsFileName);
    bool IsTD32DebugPresent() const { return present_; }
    const TELTD32InfoScanner* Scanner() const { return scanner_.get(); }
    bool InImage() const { return inImage_; }

private:
    bool FindInImage(uintptr_t module);

    std::string file_;  // the ".tds" file's bytes, when they are the data
    TDebugBytes data_;
    std::unique_ptr<TELTD32InfoScanner> scanner_;
    bool present_ = false;
    bool inImage_ = false;
};

class TELDebugInfoTD32 : public TELDebugInfoSource {
    VIDUDO_CLASS(TELDebugInfoTD32, TELDebugInfoSource)
public:
    using TELDebugInfoSource::TELDebugInfoSource;
    bool OpenSource() override;
    bool IsValid() const override
    {
        return image_ && image_->IsTD32DebugPresent() && image_->Scanner() && image_->Scanner()->IsValid();
    }
    const TELPeBorTD32Image* Image() const { return image_.get(); }

protected:
    TReporterString UnitAt(uint32_t offset) const override { return TReporterString(image_->Scanner()->UnitAt(offset)); }
    TReporterString ProcedureAt(uint32_t offset, uint32_t& distance) const override
    {
        return image_->Scanner()->ProcedureAt(offset, distance);
    }
    uint32_t LineAt(uint32_t offset, uint32_t& distance) const override { return image_->Scanner()->LineAt(offset, distance); }
    TReporterString SourceAt(uint32_t offset) const override { return TReporterString(image_->Scanner()->SourceAt(offset)); }

private:
    std::unique_ptr<TELPeBorTD32Image> image_;
};

class TELDebugInfoJedy : public TELDebugInfoSource {
    VIDUDO_CLASS(TELDebugInfoJedy, TELDebugInfoSource)
public:
    using TELDebugInfoSource::TELDebugInfoSource;
    bool OpenSource() override;
    bool IsValid() const override { return scanner_ && scanner_->ValidFormat(); }
    // Whether the data came from the module's own "JCLDEBUG" section.
    bool FromSection() const { return section_ != nullptr; }

protected:
    TReporterString UnitAt(uint32_t offset) const override { return scanner_->UnitAt(offset); }
    TReporterString ProcedureAt(uint32_t offset, uint32_t& distance) const override
    {
        return scanner_->ProcedureAt(offset, distance);
    }
    uint32_t LineAt(uint32_t offset, uint32_t& distance) const override { return scanner_->LineAt(offset, distance); }
    TReporterString SourceAt(uint32_t offset) const override { return scanner_->SourceAt(offset); }

private:
    std::unique_ptr<edebug::THModuleStream> section_;
    std::string file_;
    std::unique_ptr<TELBinDebugScanner> scanner_;
};

// Keeps in source the first kind (map, TD32, binary) that works for the module. False at once,
// changing nothing, when source is already set; false with source empty when none works.
bool CreateDebugInfoSource(uintptr_t module, std::unique_ptr<TELDebugInfoSource>& source);
