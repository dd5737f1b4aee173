#pragma once
// Length of one x86 (32-bit) instruction from its bytes, and the length of a procedure's code
// up to its first return. Pure code: the caller hands the bytes in, so it builds and is tested
// on the host too.

#include <cstddef>
#include <cstdint>

// MaxInstructionLength: no instruction is longer; a longer run of prefixes and operands is
// undecodable.
#include "crashreport/capture/EDisAsm.h"

enum class TInstructionMeasure { Decoded, Undecodable, Truncated };
// Truncated: the instruction needs more than the available bytes (length says how many).
TInstructionMeasure MeasureInstruction(const uint8_t* code, size_t available, size_t& length);

// Measures the instruction at code (available bytes readable there). False when the opcode is
// not decodable, the instruction would pass 15 bytes or needs bytes beyond available; length
// then holds the bytes measured so far.
bool InstructionLength(const uint8_t* code, size_t available, size_t& length);

// Copies up to count bytes from address into out and returns how many it copied: the readable
// run from address on.
using TCodeReadProc = size_t (*)(void* context, uintptr_t address, uint8_t* out, size_t count);

// Length from address up to and including the first RET or RETF (C2, C3, CA, CB) within limit
// bytes; an undecodable byte counts as 1. Unreadable code, or no return within the limit, gives 1.
size_t ProcedureCodeLength(uintptr_t address, size_t limit, TCodeReadProc read, void* context);

// Number of prefix bytes at code.
size_t SkipInstructionPrefixes(const uint8_t* code, size_t available);
