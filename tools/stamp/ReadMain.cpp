// vidudo_stored_data: reads back what vidudo_stamp stored in a program, with the reporter's
// own readers, for the build's checks and for people.
//   options FILE resource|tail   every option, as "Name=Value" lines
//   lookup FILE [PASSWORD]       code addresses (hex, one a line) on stdin: one line each,
//                                "ADDR<TAB>unit<TAB>file<TAB>line<TAB>class<TAB>procedure<TAB>distance"
//                                or "ADDR<TAB>-"
//   entry FILE ID                the code address of a code entry
//   check FILE                   whether there is stored data, and the largest allocation the
//                                readers made for it
// Exit code 3: no stored data.

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EOptionsResource.h"
#include "crashreport/capture/EStoredData.h"
#include "tools/stamp/AllocationWatch.h"
#include "tools/stamp/HostFiles.h"
#include "tools/stamp/ImageDebugData.h"
#include "tools/stamp/OptionsSource.h"
#include "tools/stamp/PeImage.h"

namespace {

// The resource bytes of the image, or empty when it has none (or isn't an image).
std::string_view ResourceOf(const std::string& bytes, uint32_t& base)
{
    try {
        TPeImage image(bytes);
        base = image.ImageBase();
        uint32_t offset = 0, size = 0;
        if (image.FindResource("ELDATA", offset, size))
            return std::string_view(bytes).substr(offset, size);
    } catch (const Exception&) {
    }
    return {};
}

int Options(const std::string& bytes, const std::string& where)
{
    TVurazaModuleOptions options("");
    uint32_t base = 0;
    if (where == "resource") {
        if (!HasStoredDataResource(ResourceOf(bytes, base)) || !UnpackOptionsResource(ResourceOf(bytes, base), options))
            return 3;
    } else {
        TStoredTail tail;
        if (!ReadStoredDataTail(TStoredBytes(bytes), tail, false))
            return 3;
        LoadTailOptions(tail, options);
    }
    std::fputs(DescribeOptions(options).c_str(), stdout);
    return 0;
}

bool LoadModel(const std::string& bytes, const std::string& password, TDebugModel& model)
{
    TStoredTail tail;
    return ReadStoredDataTail(TStoredBytes(bytes), tail) && DecodeStoredDebugData(tail.debugData, password, model);
}

int Lookup(const std::string& bytes, const std::string& password)
{
    TDebugModel model;
    if (!LoadModel(bytes, password, model))
        return 3;
    uint32_t base = 0;
    ResourceOf(bytes, base);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.empty())
            continue;
        const uint32_t address = static_cast<uint32_t>(std::strtoul(line.c_str(), nullptr, 16));
        TDebugLocation loc;
        if (LookupDebugLocation(model, address - base - CodeOffsetBase, loc))
            std::printf("%08x\t%.*s\t%.*s\t%u\t%.*s\t%.*s\t%u\n", address, int(loc.unitName.size()), loc.unitName.data(),
                        int(loc.fileName.size()), loc.fileName.data(), loc.line, int(loc.className.size()),
                        loc.className.data(), int(loc.procedureName.size()), loc.procedureName.data(), loc.lineDistance);
        else
            std::printf("%08x\t-\n", address);
    }
    return 0;
}

int Entry(const std::string& bytes, int id)
{
    uint32_t base = 0, offset = 0;
    TStoredResource resource;
    if (!ReadStoredResource(ResourceOf(bytes, base), resource) || !FindCodeEntry(resource, static_cast<uint8_t>(id), offset))
        return 3;
    std::printf("%08x\n", base + CodeOffsetBase + offset);
    return 0;
}

int Check(const std::string& bytes)
{
    uint32_t base = 0;
    const std::string_view resource = ResourceOf(bytes, base);
    StartAllocationWatch();
    TStoredResource stored;
    TVurazaModuleOptions options("");
    const bool hasResource = ReadStoredResource(resource, stored) && UnpackOptionsResource(resource, options);
    TDebugModel model;
    const bool hasTail = LoadModel(bytes, "", model);
    const size_t largestAllocation = StopAllocationWatch();
    std::printf("resource: %s\ntail: %s\nlargest allocation: %zu\n", hasResource ? "yes" : "no", hasTail ? "yes" : "no",
                largestAllocation);
    return hasResource || hasTail ? 0 : 3;
}

}  // namespace


int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: vidudo_stored_data options|lookup|entry|check FILE [...]\n");
        return 2;
    }
    const std::string command = argv[1];
    try {
        const std::string bytes = ReadHostFile(argv[2]);
        if (command == "options" && argc == 4)
            return Options(bytes, argv[3]);
        if (command == "lookup")
            return Lookup(bytes, argc > 3 ? argv[3] : "");
        if (command == "entry" && argc == 4)
            return Entry(bytes, std::atoi(argv[3]));
        if (command == "check")
            return Check(bytes);
    } catch (const Exception& e) {
        std::fprintf(stderr, "vidudo_stored_data: %s\n", e.Message().c_str());
        return 1;
    }
    std::fprintf(stderr, "usage: vidudo_stored_data options|lookup|entry|check FILE [...]\n");
    return 2;
}
