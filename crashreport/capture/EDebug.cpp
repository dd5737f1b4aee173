#include "crashreport/capture/EDebug.h"

#include <algorithm>

#include "crashreport/capture/EDebugImage.h"

namespace {

constexpr uint32_t codeStart = 0x1000;
constexpr uint32_t sectionHoldsCode = 0x00000020;
constexpr uint32_t sectionExecutes = 0x20000000;
constexpr unsigned debugDirectory = 6;
constexpr size_t debugEntrySize = 28;

const TDebugInfoPlatform* currentPlatform = nullptr;

}  // namespace

const TDebugInfoPlatform& DebugInfoPlatform()
{
    return currentPlatform ? *currentPlatform : SystemDebugInfoPlatform();
}

void SetDebugInfoPlatform(const TDebugInfoPlatform* platform)
{
    currentPlatform = platform;
}

std::string ChangeFileExtension(const std::string& path, const char* extension)
{
    size_t dot = path.rfind('.');
    size_t slash = path.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + extension;
    return path.substr(0, dot) + extension;
}

TELDebugInfoSource::TELDebugInfoSource(uintptr_t module) : module_(module)
{
    TImageHeaders headers(module, DebugInfoPlatform().Readable);
    TImageSection code;
    if (headers.SectionAt(codeStart, code) && code.VirtualAddress == codeStart &&
        (code.Characteristics & (sectionHoldsCode | sectionExecutes)))
        codeSize_ = code.Size;
}

uint32_t TELDebugInfoSource::AddressToOffset(uintptr_t address) const
{
    return static_cast<uint32_t>(address - module_ - codeStart);
}

std::string TELDebugInfoSource::ModuleFileNameWith(const char* extension) const
{
    std::string name = DebugInfoPlatform().ModuleFileName(module_);
    return name.empty() ? name : ChangeFileExtension(name, extension);
}

bool TELDebugInfoSource::FindLocation(uintptr_t address, TELLocationInfo& info) const
{
    // Below the code, in the headers or in data the tables would still name the nearest unit.
    if (!IsValid() || address < module_ + codeStart || address - module_ - codeStart >= codeSize_)
        return false;
    uint32_t offset = AddressToOffset(address);
    TReporterString unit = UnitAt(offset);
    if (unit.empty())
        return false;
    info.UnitText = std::move(unit);
    info.Addr = address;
    uint32_t procDistance = 0, lineDistance = 0, startDistance = 0;
    info.ProcText = ProcedureAt(offset, procDistance);
    uint32_t line = LineAt(offset, lineDistance);
    info.Line = static_cast<int32_t>(std::min<uint32_t>(line, INT32_MAX));
    info.SourceFile = SourceAt(offset);
    info.Origin = this;
    // Counted from the procedure's first line; never negative, and 0 when either is unknown.
    uint32_t first = LineAt(offset - procDistance, startDistance);
    info.LineInProc = line != 0 && first != 0 && line > first ? static_cast<int32_t>(std::min<uint32_t>(line - first, INT32_MAX)) : 0;
    return true;
}

bool TELDebugInfoMap::OpenSource()
{
    std::string path = ModuleFileNameWith(".map");
    std::string text;
    if (path.empty() || !DebugInfoPlatform().LoadFile(path, text))
        return false;
    scanner_ = std::make_unique<TELMapScanner>(std::move(text));
    return IsValid();
}

TELPeBorTD32Image::TELPeBorTD32Image(uintptr_t module, const std::string& tdsFileName)
{
    if (module && FindInImage(module)) {
        inImage_ = true;
    } else if (!tdsFileName.empty() && DebugInfoPlatform().LoadFile(tdsFileName, file_)) {
        data_ = TDebugBytes(reinterpret_cast<const uint8_t*>(file_.data()), file_.size());
        if (!TELTD32InfoParser::IsTD32DebugInfoValid(data_)) {
            file_.clear();
            data_ = TDebugBytes();
        }
    }
    if (!data_.Data())
        return;
    scanner_ = std::make_unique<TELTD32InfoScanner>(data_, inImage_ ? DebugInfoPlatform().Readable : nullptr);
    if (!scanner_->IsValid()) {
        scanner_.reset();
        file_.clear();
        data_ = TDebugBytes();
        return;
    }
    present_ = true;
}

bool TELPeBorTD32Image::FindInImage(uintptr_t module)
{
    TImageHeaders headers(module, DebugInfoPlatform().Readable);
    uint32_t rva = 0, size = 0;
    TImageSection section;
    if (!headers.DataDirectory(debugDirectory, rva, size) || size < debugEntrySize || !headers.SectionAt(rva, section))
        return false;
    const uint8_t* entry = headers.Read(rva, debugEntrySize);
    if (!entry)
        return false;
    TDebugBytes e(entry, debugEntrySize);
    uint32_t dataSize = 0, dataAddress = 0;
    e.U32(16, dataSize);
    e.U32(20, dataAddress);
    // The block is read in place: only inside the image, and only when it can be read whole.
    const uint8_t* block = headers.Read(dataAddress, dataSize);
    if (!block || dataSize == 0)
        return false;
    TDebugBytes data(block, dataSize);
    if (!TELTD32InfoParser::IsTD32DebugInfoValid(data))
        return false;
    data_ = data;
    return true;
}

bool TELDebugInfoTD32::OpenSource()
{
    image_ = std::make_unique<TELPeBorTD32Image>(Module(), ModuleFileNameWith(".tds"));
    return image_->IsTD32DebugPresent();
}

bool TELDebugInfoJedy::OpenSource()
{
    TImageHeaders headers(Module(), DebugInfoPlatform().Readable);
    TImageSection section;
    if (headers.FindSection("JCLDEBUG", section)) {
        section_ = std::make_unique<edebug::THModuleStream>(section.Memory(Module()), section.Size);
        scanner_ = std::make_unique<TELBinDebugScanner>(section_->Bytes(), true, DebugInfoPlatform().Readable);
    } else {
        std::string path = ModuleFileNameWith(".jdbg");
        if (path.empty() || !DebugInfoPlatform().LoadFile(path, file_))
            return false;
        scanner_ = std::make_unique<TELBinDebugScanner>(
            TDebugBytes(reinterpret_cast<const uint8_t*>(file_.data()), file_.size()), true);
    }
    return IsValid();
}

namespace {

template <class TSource>
std::unique_ptr<TELDebugInfoSource> OpenedSource(uintptr_t module)
{
    auto source = std::make_unique<TSource>(module);
    source->OpenSource();
    if (!source->IsValid())
        return nullptr;
    return source;
}

}  // namespace

bool CreateDebugInfoSource(uintptr_t module, std::unique_ptr<TELDebugInfoSource>& source)
{
    if (source)
        return false;
    // Damaged data must not take the crash handling down with it: a kind that fails in any
    // way is passed over.
    using Opener = std::unique_ptr<TELDebugInfoSource> (*)(uintptr_t);
    const Opener kinds[] = {OpenedSource<TELDebugInfoMap>, OpenedSource<TELDebugInfoTD32>, OpenedSource<TELDebugInfoJedy>};
    for (Opener open : kinds) {
        try {
            source = open(module);
        } catch (...) {
            source.reset();
        }
        if (source)
            return true;
    }
    return false;
}
