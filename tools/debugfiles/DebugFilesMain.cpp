// vidudo_debug_files: the debug files of a linked program, and the reporter's readers over them.
//   files IMAGE OUTBASE              writes OUTBASE.map, OUTBASE.tds and OUTBASE.jdbg
//   next-vma IMAGE                   the address (hex, with the image base) after the last section
//   td32-section IMAGE VMA OUT       a section's bytes at VMA: the debug directory entry, then
//                                    the TD32 data it points at
//   set-debug-directory IMAGE RVA SIZE   points data directory 6 at RVA (in place)
//   symbol IMAGE NAME                the RVA (hex) of a function, by its raw or demangled name
//   lookup IMAGE                     loads IMAGE as the loader would, picks its debug source and
//                                    answers code RVAs (hex, one a line on stdin) with
//                                    "RVA<TAB>unit<TAB>class<TAB>procedure<TAB>line<TAB>distance"
//                                    or "RVA<TAB>-"; the first line names the source

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include "crashreport/capture/EDebug.h"
#include "crashreport/capture/EDebugNames.h"
#include "tools/debugfiles/DebugFileWriters.h"
#include "tools/stamp/HostFiles.h"
#include "tools/stamp/ImageDebugData.h"
#include "tools/stamp/PeImage.h"

namespace {

uint32_t Get32(const std::string& b, size_t at)
{
    if (at + 4 > b.size())
        throw Exception("Not an image.");
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

uint16_t Get16(const std::string& b, size_t at)
{
    if (at + 2 > b.size())
        throw Exception("Not an image.");
    uint16_t v;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}

int Files(const std::string& image, const std::string& base)
{
    std::string bytes = ReadHostFile(image);
    TDebugModel model = ReadImageDebugModel(TPeImage(bytes));
    std::string map = WriteMapFile(model);
    WriteHostFile(base + ".map", map.data(), map.size());
    std::vector<uint8_t> tds = WriteTD32Data(model);
    WriteHostFile(base + ".tds", tds.data(), tds.size());
    std::vector<uint8_t> jdbg = WriteJdbgData(model);
    WriteHostFile(base + ".jdbg", jdbg.data(), jdbg.size());
    return 0;
}

int Symbol(const std::string& image, const std::string& name)
{
    std::string bytes = ReadHostFile(image);
    uint32_t rva = 0;
    if (!FindSymbolRva(TPeImage(bytes), name, rva))
        return 3;
    std::printf("%X\n", rva);
    return 0;
}

int NextVma(const std::string& image)
{
    std::string bytes = ReadHostFile(image);
    TPeImage pe(bytes);
    uint32_t end = 0;
    for (const TPeSection& s : pe.Sections())
        end = std::max(end, s.virtualAddress + s.virtualSize);
    std::printf("0x%X\n", pe.ImageBase() + ((end + 0xFFF) & ~0xFFFu));
    return 0;
}

int Td32Section(const std::string& image, uint32_t vma, const std::string& out)
{
    std::string bytes = ReadHostFile(image);
    TPeImage pe(bytes);
    std::vector<uint8_t> td32 = WriteTD32Data(ReadImageDebugModel(pe));
    std::vector<uint8_t> section(28, 0);
    uint32_t rva = vma - pe.ImageBase();
    uint32_t size = static_cast<uint32_t>(td32.size()), at = rva + 28;
    std::memcpy(section.data() + 16, &size, 4);
    std::memcpy(section.data() + 20, &at, 4);
    section.insert(section.end(), td32.begin(), td32.end());
    WriteHostFile(out, section.data(), section.size());
    return 0;
}

int SetDebugDirectory(const std::string& image, uint32_t rva, uint32_t size)
{
    std::string bytes = ReadHostFile(image);
    size_t nt = Get32(bytes, 0x3C);
    if (Get32(bytes, nt) != 0x00004550)
        throw Exception("Not an image.");
    size_t directory = nt + 24 + 96 + 8 * 6;
    if (Get16(bytes, nt + 20) < 96 + 8 * 7)
        throw Exception("No debug directory slot.");
    std::memcpy(&bytes[directory], &rva, 4);
    std::memcpy(&bytes[directory + 4], &size, 4);
    WriteHostFile(image, bytes.data(), bytes.size());
    return 0;
}

// The image as the loader lays it out: headers, then each section at its address.
std::unique_ptr<uint8_t[]> LoadImage(const std::string& bytes, size_t& size)
{
    TPeImage pe(bytes);
    size_t nt = Get32(bytes, 0x3C);
    size = Get32(bytes, nt + 24 + 56);
    uint32_t headers = Get32(bytes, nt + 24 + 60);
    if (size == 0 || size > (512u << 20) || headers > size || headers > bytes.size())
        throw Exception("Not an image.");
    auto memory = std::make_unique<uint8_t[]>(size);
    std::memset(memory.get(), 0, size);
    std::memcpy(memory.get(), bytes.data(), headers);
    for (const TPeSection& s : pe.Sections()) {
        std::string_view data = pe.SectionBytes(s);
        if (s.virtualAddress < size)
            std::memcpy(memory.get() + s.virtualAddress, data.data(),
                        std::min<size_t>(data.size(), size - s.virtualAddress));
    }
    return memory;
}

std::string imageName;
std::string ImageFileName(uintptr_t)
{
    return imageName;
}

int Lookup(const std::string& image)
{
    size_t size = 0;
    std::unique_ptr<uint8_t[]> memory = LoadImage(ReadHostFile(image), size);
    imageName = image;
    TDebugInfoPlatform platform = SystemDebugInfoPlatform();
    platform.ModuleFileName = ImageFileName;
    SetDebugInfoPlatform(&platform);
    auto module = reinterpret_cast<uintptr_t>(memory.get());
    std::unique_ptr<TELDebugInfoSource> source;
    if (!CreateDebugInfoSource(module, source)) {
        std::puts("none");
        return 3;
    }
    std::string kind(source->ClassName());
    if (auto* j = dynamic_cast<TELDebugInfoJedy*>(source.get()); j && j->FromSection())
        kind += " section";
    if (auto* t = dynamic_cast<TELDebugInfoTD32*>(source.get()); t && t->Image()->InImage())
        kind += " image";
    std::puts(kind.c_str());
    std::string line;
    while (std::getline(std::cin, line)) {
        uint32_t rva = static_cast<uint32_t>(std::strtoul(line.c_str(), nullptr, 16));
        TELLocationInfo info;
        if (!source->FindLocation(module + rva, info) || info.ProcText.empty()) {
            std::printf("%X\t-\n", rva);
            continue;
        }
        TAddressNames names;
        SplitDebugSourceNames(info.UnitText, info.SourceFile, info.ProcText, static_cast<uint32_t>(info.Line), true,
                              names);
        std::printf("%X\t%s\t%s\t%s\t%d\t%d\n", rva, names.UnitName.c_str(), names.ClassName.c_str(),
                    names.ProcedureName.c_str(), info.Line, info.LineInProc);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        std::string command = argc > 1 ? argv[1] : "";
        if (command == "files" && argc == 4)
            return Files(argv[2], argv[3]);
        if (command == "symbol" && argc == 4)
            return Symbol(argv[2], argv[3]);
        if (command == "next-vma" && argc == 3)
            return NextVma(argv[2]);
        if (command == "td32-section" && argc == 5)
            return Td32Section(argv[2], static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 0)), argv[4]);
        if (command == "set-debug-directory" && argc == 5)
            return SetDebugDirectory(argv[2], static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 0)),
                                     static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 0)));
        if (command == "lookup" && argc == 3)
            return Lookup(argv[2]);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fputs("usage: vidudo_debug_files files|symbol|next-vma|td32-section|set-debug-directory|lookup ...\n", stderr);
    return 2;
}
