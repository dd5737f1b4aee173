#include "tools/stamp/HostFiles.h"

#include <fstream>
#include <sstream>

#include "framework/Exception.h"

std::string ReadHostFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    if (!in)
        throw Exception(Format("Cannot open \"%s\".", name.c_str()));
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteHostFile(const std::string& name, const void* bytes, size_t size)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    if (!out)
        throw Exception(Format("Cannot write \"%s\".", name.c_str()));
}
