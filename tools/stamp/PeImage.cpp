#include "tools/stamp/PeImage.h"

#include <cstring>

namespace {

constexpr uint32_t RtRcdata = 10;

}  // namespace

uint32_t TPeImage::U32(uint64_t offset) const
{
    if (offset > file_.size() || file_.size() - offset < 4)
        throw EPeImageError(Format("Read past the end of the image at %llu.", static_cast<unsigned long long>(offset)));
    const auto* p = reinterpret_cast<const unsigned char*>(file_.data() + offset);
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t TPeImage::U16(uint64_t offset) const
{
    if (offset > file_.size() || file_.size() - offset < 2)
        throw EPeImageError(Format("Read past the end of the image at %llu.", static_cast<unsigned long long>(offset)));
    const auto* p = reinterpret_cast<const unsigned char*>(file_.data() + offset);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

TPeImage::TPeImage(std::string_view file) : file_(file)
{
    if (U16(0) != 0x5A4D)
        throw EPeImageError("No MZ header.");
    const uint32_t pe = U32(0x3C);
    if (U32(pe) != 0x00004550)
        throw EPeImageError("No PE signature.");
    const uint32_t coff = pe + 4;
    const uint16_t sectionCount = U16(coff + 2);
    symbolTable_ = U32(coff + 8);
    symbolCount_ = U32(coff + 12);
    const uint16_t optionalSize = U16(coff + 16);
    const uint32_t optional = coff + 20;
    if (U16(optional) != 0x10B)
        throw EPeImageError("Not a 32-bit image.");
    imageBase_ = U32(optional + 28);
    const uint32_t directories = U32(optional + 92);
    if (directories > 2)
        resourceRva_ = U32(optional + 96 + 2 * 8);

    uint32_t strings = symbolTable_ + symbolCount_ * 18;
    uint32_t header = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i, header += 40) {
        TPeSection s;
        char raw[9] = {};
        if (header + 8 > file_.size())
            throw EPeImageError("Section table past the end.");
        std::memcpy(raw, file_.data() + header, 8);
        s.name = raw;
        if (s.name.size() > 1 && s.name[0] == '/' && symbolTable_ != 0) {
            // A long name lives in the string table after the symbols.
            const uint64_t at = strings + std::stoul(s.name.substr(1));
            if (at >= file_.size())
                throw EPeImageError("Section name past the end.");
            s.name = std::string(file_.data() + at, strnlen(file_.data() + at, file_.size() - at));
        }
        s.virtualSize = U32(header + 8);
        s.virtualAddress = U32(header + 12);
        s.rawSize = U32(header + 16);
        s.rawOffset = U32(header + 20);
        sections_.push_back(std::move(s));
    }
}

const TPeSection* TPeImage::FindSection(std::string_view name) const
{
    for (const TPeSection& s : sections_)
        if (s.name == name)
            return &s;
    return nullptr;
}

std::string_view TPeImage::SectionBytes(const TPeSection& s) const
{
    uint32_t size = s.rawSize;
    if (s.virtualSize != 0 && s.virtualSize < size)
        size = s.virtualSize;
    if (s.rawOffset > file_.size() || size > file_.size() - s.rawOffset)
        throw EPeImageError(Format("Section %s past the end.", s.name.c_str()));
    return file_.substr(s.rawOffset, size);
}

bool TPeImage::RvaToOffset(uint32_t rva, uint32_t& offset) const
{
    for (const TPeSection& s : sections_)
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize) {
            offset = s.rawOffset + (rva - s.virtualAddress);
            return true;
        }
    return false;
}

std::vector<TPeSymbol> TPeImage::Symbols() const
{
    std::vector<TPeSymbol> out;
    if (symbolTable_ == 0)
        return out;
    const uint64_t strings = symbolTable_ + static_cast<uint64_t>(symbolCount_) * 18;
    for (uint32_t i = 0; i < symbolCount_; ++i) {
        const uint64_t at = symbolTable_ + static_cast<uint64_t>(i) * 18;
        if (at + 18 > file_.size())
            throw EPeImageError("Symbol table past the end.");
        TPeSymbol sym;
        if (U32(at) == 0) {
            const uint64_t name = strings + U32(at + 4);
            if (name >= file_.size())
                throw EPeImageError("Symbol name past the end.");
            sym.name = std::string(file_.data() + name, strnlen(file_.data() + name, file_.size() - name));
        } else {
            sym.name = std::string(file_.data() + at, strnlen(file_.data() + at, 8));
        }
        const uint32_t value = U32(at + 8);
        sym.section = static_cast<int16_t>(U16(at + 12));
        sym.type = U16(at + 14);
        sym.storageClass = static_cast<uint8_t>(file_[at + 16]);
        const uint8_t aux = static_cast<uint8_t>(file_[at + 17]);
        if (sym.section >= 1 && static_cast<size_t>(sym.section) <= sections_.size()) {
            sym.rva = sections_[sym.section - 1].virtualAddress + value;
            out.push_back(std::move(sym));
        }
        i += aux;
    }
    return out;
}

bool TPeImage::FindResource(std::string_view name, uint32_t& fileOffset, uint32_t& size) const
{
    uint32_t root;
    if (resourceRva_ == 0 || !RvaToOffset(resourceRva_, root))
        return false;
    // A directory: 16 bytes of header, then named entries, then id entries (8 bytes each).
    auto find = [&](uint32_t dir, bool byName, uint32_t id, uint32_t& child) {
        const uint16_t named = U16(dir + 12), ids = U16(dir + 14);
        for (uint32_t k = 0; k < static_cast<uint32_t>(named) + ids; ++k) {
            const uint32_t entry = dir + 16 + k * 8;
            const uint32_t key = U32(entry), target = U32(entry + 4);
            bool match = false;
            if (byName && (key & 0x80000000u)) {
                const uint32_t str = root + (key & 0x7FFFFFFF);
                const uint16_t len = U16(str);
                if (len == name.size()) {
                    match = true;
                    for (uint16_t c = 0; c < len && match; ++c) {
                        const uint16_t ch = U16(str + 2 + 2 * c);
                        const char want = name[c];
                        match = ch == static_cast<unsigned char>(want) ||
                                (want >= 'a' && want <= 'z' && ch == static_cast<unsigned>(want - 32)) ||
                                (want >= 'A' && want <= 'Z' && ch == static_cast<unsigned>(want + 32));
                    }
                }
            } else if (!byName && !(key & 0x80000000u) && (id == 0xFFFFFFFF || key == id)) {
                match = true;
            }
            if (match) {
                child = target;
                return true;
            }
        }
        return false;
    };
    uint32_t typeDir, nameDir, lang;
    if (!find(root, false, RtRcdata, typeDir) || !(typeDir & 0x80000000u))
        return false;
    if (!find(root + (typeDir & 0x7FFFFFFF), true, 0, nameDir) || !(nameDir & 0x80000000u))
        return false;
    if (!find(root + (nameDir & 0x7FFFFFFF), false, 0xFFFFFFFF, lang) || (lang & 0x80000000u))
        return false;
    const uint32_t dataEntry = root + lang;
    const uint32_t dataRva = U32(dataEntry);
    size = U32(dataEntry + 4);
    return RvaToOffset(dataRva, fileOffset) && fileOffset <= file_.size() && size <= file_.size() - fileOffset;
}
