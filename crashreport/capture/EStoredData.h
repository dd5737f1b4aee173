#pragma once
// The block of reporter data a module file may end with:
//   N bytes: u16 data version, f64 compilation date, options stream, u32 M, M bytes debug data
//   u32 N, u32 stored-data mark
// The bytes are untrusted: every size is checked against what is there.

#include <cstdint>
#include <string>
#include <string_view>

constexpr size_t StoredDataTrailerSize = 8;
// No block comes near this; a larger claim is damage.
constexpr uint32_t StoredDataBlockLimit = 32u << 20;

// The block size the trailer (the file's last 8 bytes) announces, 0 when it is none.
uint32_t StoredDataBlockSize(std::string_view trailer, uint64_t fileSize);

class TVurazaModuleOptions;

// Reads a block: version, date, the options into options and, when wanted, the debug data.
// False on any short or lying field.
bool ReadStoredDataBlock(std::string_view block, TVurazaModuleOptions& options, bool wantDebugData,
                         uint16_t& version, double& compilationDate, std::string& debugData);
