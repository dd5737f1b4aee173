// vidudo_stamp [--options FILE] [--damage size|cut] PROGRAM.exe
// Run after linking (and after anything that rewrites the file): fills the program's "ELDATA"
// resource with its crash-reporter options and code entries, then appends the tail block with
// its debug data. Stamping a stamped program again replaces its tail. --damage makes the test
// variants whose tail a reader must refuse: a block size of 0x7FFFFFFF, or the file cut in the
// middle of the block.

#include <cstdio>
#include <ctime>

#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EStoredData.h"
#include "tools/stamp/HostFiles.h"
#include "tools/stamp/ImageDebugData.h"
#include "tools/stamp/OptionsSource.h"
#include "tools/stamp/PeImage.h"

namespace {

// Now as a date-time value: days since 1899-12-30 in local time. SOURCE_DATE_EPOCH, when set,
// makes the stamp reproducible.
double CompilationDate()
{
    std::time_t now = std::time(nullptr);
    if (const char* fixed = std::getenv("SOURCE_DATE_EPOCH"))
        now = static_cast<std::time_t>(std::strtoll(fixed, nullptr, 10));
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<double>(now + local.tm_gmtoff) / 86400.0 + 25569.0;
}

int Stamp(const std::string& program, const std::string& optionsFile, const std::string& damage)
{
    std::string bytes = ReadHostFile(program);
    TStoredTail old;
    if (ReadStoredDataTail(TStoredBytes(bytes), old, false))
        bytes.resize(old.blockOffset);

    TPeImage image(bytes);
    uint32_t resourceOffset = 0, resourceSize = 0;
    if (!image.FindResource("ELDATA", resourceOffset, resourceSize))
        throw Exception("The program has no \"ELDATA\" resource: link it with vidudo_stamp_program.");
    if (resourceSize != StoredResourceSize)
        throw Exception(Format("\"ELDATA\" holds %u bytes, not %u.", resourceSize, static_cast<unsigned>(StoredResourceSize)));

    TVurazaModuleOptions options("");
    TOptionsSource source;
    if (!optionsFile.empty())
        source = ApplyOptionsSource(ReadHostFile(optionsFile), options);

    std::vector<TCodeEntry> entries;
    for (const auto& [id, symbol] : source.entries) {
        uint32_t rva = 0;
        if (!FindSymbolRva(image, symbol, rva) || rva < CodeOffsetBase)
            throw Exception(Format("Entry %u: no procedure \"%s\".", id, symbol.c_str()));
        entries.emplace_back(id, rva - CodeOffsetBase);
    }

    const double date = CompilationDate();
    const std::string resource = PackStoredResource(options, date, entries);
    bytes.replace(resourceOffset, resource.size(), resource);

    const TDebugModel model = ReadImageDebugModel(image);
    const std::string debugData = EncodeStoredDebugData(model, source.debugDataPassword);
    const size_t blockStart = bytes.size();
    bytes += BuildStoredDataTail(StoredDataVersion, date, options, debugData);
    if (damage == "size")
        bytes.replace(bytes.size() - 8, 4, std::string("\xFF\xFF\xFF\x7F", 4));
    else if (damage == "cut")
        bytes.resize(blockStart + (bytes.size() - blockStart) / 2);
    // A failed stamp fails the link step, which runs again.
    WriteHostFile(program, bytes.data(), bytes.size());

    size_t procedures = 0, rows = 0;
    for (const TDebugUnit& u : model.units) {
        procedures += u.procedures.size();
        rows += u.lines.size();
    }
    std::printf("stamped %s: %zu units, %zu procedures, %zu rows, %zu bytes of debug data\n", program.c_str(),
                model.units.size(), procedures, rows, debugData.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string optionsFile, program, damage;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--options" && i + 1 < argc)
            optionsFile = argv[++i];
        else if (a == "--damage" && i + 1 < argc && (std::string(argv[i + 1]) == "size" || std::string(argv[i + 1]) == "cut"))
            damage = argv[++i];
        else if (program.empty() && a.rfind("--", 0) != 0)
            program = a;
        else {
            std::fprintf(stderr, "usage: vidudo_stamp [--options FILE] [--damage size|cut] PROGRAM.exe\n");
            return 2;
        }
    }
    if (program.empty()) {
        std::fprintf(stderr, "usage: vidudo_stamp [--options FILE] [--damage size|cut] PROGRAM.exe\n");
        return 2;
    }
    try {
        return Stamp(program, optionsFile, damage);
    } catch (const Exception& e) {
        std::fprintf(stderr, "vidudo_stamp: %s: %s\n", program.c_str(), e.Message().c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vidudo_stamp: %s: %s\n", program.c_str(), e.what());
        return 1;
    }
}
