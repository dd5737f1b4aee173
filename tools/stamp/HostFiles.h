// Whole-file reads and writes of the build's host tools; failures raise with the file's name.
#pragma once

#include <string>
#include <cstddef>

std::string ReadHostFile(const std::string& name);
// In place, so the file keeps its mode.
void WriteHostFile(const std::string& name, const void* bytes, size_t size);
