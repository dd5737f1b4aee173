#pragma once
// Files and programs: the running program's folder and the shell's open call.

#include <string>

// Folder of the running program, up to and including its last backslash.
std::string ProgramFolder();

// ShellExecute with no owner; verb may be empty (the default verb). Returns the shell's code
// (above 32 is success).
intptr_t ShellExecuteText(const std::string& verb, const std::string& target, int showCommand);
