#pragma once
// The names threads were given with the debugger's naming exception, for the report's thread
// rows. A fixed table: noting a name allocates nothing, and a reader never waits long for a
// writer (one may be kept suspended while a report is built).

#include <cstdint>
#include <string>
#include <string_view>

constexpr size_t ThreadNameLimit = 63;  // bytes kept of a name
constexpr size_t ThreadNameSlots = 64;  // names kept; the oldest gives way

// Replaces the thread's name; an empty name forgets it.
void NoteThreadName(uint32_t threadId, std::string_view name);
// At the thread's end (and when its id is given to a new thread).
void ForgetThreadName(uint32_t threadId);
// Empty when the thread has none, or when the table stayed busy.
std::string ThreadNameOf(uint32_t threadId);
