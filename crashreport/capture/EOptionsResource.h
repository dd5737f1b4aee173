#pragma once
// The stored form of a module's options, as the program's resource "ELDATA" (RT_RCDATA) holds
// it. The build tool writes it with PackOptionsResource; start-up reads it back.
//
//   offset 0   u32  mark 0x100FAB10
//   offset 4   u16  format version of the stream (6000)
//   offset 6   u32  packed size P
//   offset 10  u32  stream size S
//   offset 14  u8   leak options (LeakFlags), read by the leak tracker before anything else
//   offset 15  u8   1: the leak tracker takes the main program's header instead
//   offset 16  P bytes: the option stream compressed with zlib, each byte then XORed with
//              OptionsTextScramble
// All numbers little-endian.

#include <cstdint>
#include <string>
#include <string_view>

#include "crashreport/capture/EOptions.h"

constexpr uint32_t OptionsResourceMark = 0x100FAB10;
constexpr size_t OptionsResourceHeaderSize = 16;
// No module's options come near this; a larger claim is damage.
constexpr uint32_t OptionsResourceStreamLimit = 16u << 20;

std::string PackOptionsResource(const TVurazaModuleOptions& options, bool useMainProgramHeader = false);

// Loads the options from a resource. False, with an internal warning and the options as they
// were, when the data is not a sound resource of this form.
bool UnpackOptionsResource(std::string_view resource, TVurazaModuleOptions& options);
