#pragma once
// The reporter data the build tool stamps into a program, and its readers. Everything read
// here is untrusted: each size is checked against the bytes it claims, nothing is allocated
// beyond what the data can hold, and any failure means "no stored data".
//
// 1. The resource "ELDATA" (RT_RCDATA), a fixed-size block linked in as zeros and filled after
//    linking, so no code moves:
//      offset 0   u32  mark 0x100FAB10
//      offset 4   u16  data version (6101)
//      offset 6   u32  packed size P          } the options exactly as PackOptionsResource
//      offset 10  u32  stream size S          } lays them out
//      offset 14  u8   leak options
//      offset 15  u8   take the main program's leak header
//      offset 16  P bytes: the packed options
//      then       f64  compilation date (days since 1899-12-30, local time)
//                 u8   entry count E, then E times: u8 entry id, u32 code offset
//      the rest   zeros
//
// 2. The tail block appended to the program file after the last tool that rewrites it:
//      ... N bytes block | u32 N | u32 mark 0x100FAB10   (the file's last 8 bytes)
//    block:
//      u16  data version
//      f64  compilation date
//      the options stream (TVurazaModuleOptions::SaveToStream, read with LoadFromStream)
//      u32  M, then M bytes debug data, which must end the block exactly
//
// 3. The debug data (the M bytes), enciphered (EncryptBuffer, key = the password; unprotected
//    data uses the empty password) over:
//      u32 mark 0x100FAB10 (a wrong password shows here), u32 model size S, u32 packed size P,
//      P bytes: the model stream compressed with zlib
//    The model stream (all little-endian; text = u16 length + bytes):
//      u32 unit count, then per unit:
//        u16 file count, the file names (text); u32 start, u32 end;
//        u32 procedure count, per procedure: text class, text name, u32 start, u32 end,
//          u32 first line;
//        u32 row count, per row: u32 offset, u32 line, u16 file index.
//      Rows are sorted by offset; a row of line 0 ends a run of code (the address range after
//      it belongs to no line of this unit). Procedures are sorted by start.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "crashreport/capture/EDebugModel.h"

class TVurazaModuleOptions;

constexpr uint32_t StoredDataMark = 0x100FAB10;
constexpr uint16_t StoredDataVersion = 6101;
constexpr size_t StoredResourceSize = 32768;

// Data versions 600-602 of the older form count as 6000-6002.
constexpr uint16_t NormalizeDataVersion(uint16_t version)
{
    return version >= 600 && version <= 602 ? static_cast<uint16_t>(6000 + (version - 600)) : version;
}

// Inflates a zlib stream into exactly expectedSize bytes; false unless the stream ends there.
using TInflateFunction = bool (*)(std::string_view packed, size_t expectedSize, std::string& out);
bool InflateExactly(std::string_view packed, size_t expectedSize, std::string& out);

// --- the debug data --------------------------------------------------------------------------
std::string WriteDebugModel(const TDebugModel& model);
bool ReadDebugModel(std::string_view stream, TDebugModel& model);
std::string EncodeStoredDebugData(const TDebugModel& model, std::string_view password);
// False for damaged data and for a wrong password (see IsProtectedDebugData).
bool DecodeStoredDebugData(std::string_view data, std::string_view password, TDebugModel& model,
                           TInflateFunction inflate = InflateExactly);
// True when the data does not open with the empty password: the user must give one.
bool IsProtectedDebugData(std::string_view data);
// Whether its first block decodes to the stored-data mark with the password.
bool PasswordOpensDebugData(std::string_view data, std::string_view password);

// --- the resource ----------------------------------------------------------------------------
using TCodeEntry = std::pair<uint8_t, uint32_t>;  // entry id, code offset

struct TStoredResource {
    uint16_t dataVersion = 0;
    double compilationDate = 0;
    std::vector<TCodeEntry> entries;
};

// The filled resource, StoredResourceSize bytes; throws when the options don't fit.
std::string PackStoredResource(const TVurazaModuleOptions& options, double compilationDate,
                               const std::vector<TCodeEntry>& entries);
// Header, version and extras; the options themselves come from UnpackOptionsResource.
bool ReadStoredResource(std::string_view resource, TStoredResource& out);
bool HasStoredDataResource(std::string_view resource);
bool FindCodeEntry(const TStoredResource& resource, uint8_t id, uint32_t& offset);

// --- the tail --------------------------------------------------------------------------------
// The module file, read by offset, so a caller needs to read only the tail.
class TStoredFile {
public:
    virtual ~TStoredFile() = default;
    virtual uint64_t Size() const = 0;
    virtual bool ReadAt(uint64_t offset, void* out, size_t count) const = 0;
};

class TStoredBytes : public TStoredFile {
public:
    explicit TStoredBytes(std::string_view bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, void* out, size_t count) const override;

private:
    std::string_view bytes_;
};

struct TStoredTail {
    uint16_t dataVersion = 0;
    double compilationDate = 0;
    std::string options;    // the options stream, for LoadFromStream with OptionsStreamVersion
    std::string debugData;  // for DecodeStoredDebugData; empty when not wanted
    uint64_t blockOffset = 0;  // where the block starts: the file without its tail ends here
};

std::string BuildStoredDataTail(uint16_t dataVersion, double compilationDate, const TVurazaModuleOptions& options,
                                std::string_view debugData);
bool HasStoredDataTail(const TStoredFile& file);
bool ReadStoredDataTail(const TStoredFile& file, TStoredTail& tail, bool withDebugData = true);
// Loads tail.options into options (setting OptionsStreamVersion first).
void LoadTailOptions(const TStoredTail& tail, TVurazaModuleOptions& options);

// --- lookup ----------------------------------------------------------------------------------
// Views of the model's names: a lookup allocates nothing.
struct TDebugLocation {
    std::string_view unitName;  // the unit's source, "Program.cpp"
    std::string_view fileName;  // the row's file: the unit's source or an inlined header
    std::string_view className;
    std::string_view procedureName;
    uint32_t procedureStart = 0;
    bool procedureKnown = false;
    uint32_t line = 0;          // 0: no row covers the offset
    uint32_t lineDistance = 0;  // line - the procedure's first line, never below 0
};

// The unit whose row at or before the offset lies closest to it, the last row at that offset,
// and the procedure containing the offset. False when no unit knows the offset.
bool LookupDebugLocation(const TDebugModel& model, uint32_t offset, TDebugLocation& out);
