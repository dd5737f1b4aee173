#pragma once
// A made-up address space for the stack scanner: readable regions at chosen addresses and
// modules covering ranges. Anything else is unreadable.

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "crashreport/capture/EStackReader.h"

class TFakeMemory : public TStackMemoryReader {
public:
    struct TModule {
        uintptr_t begin, end;
        std::string name;
    };
    std::map<uintptr_t, std::string> regions;
    std::vector<TModule> modules;
    int probes = 0;

    void Put(uintptr_t address, const std::string& bytes) { regions[address] = bytes; }
    void PutU32(uintptr_t address, uint32_t value) { regions[address] = std::string(reinterpret_cast<char*>(&value), 4); }

    bool IsReadable(uintptr_t address, size_t count) override
    {
        ++probes;
        return Find(address, count) != nullptr;
    }
    bool Read(uintptr_t address, void* dest, size_t count) override
    {
        const char* p = Find(address, count);
        if (!p)
            return false;
        memcpy(dest, p, count);
        return true;
    }
    bool ModuleOf(uintptr_t address, uintptr_t& handle, TReporterString& fileName) override
    {
        for (const TModule& m : modules) {
            if (address >= m.begin && address < m.end) {
                handle = m.begin;
                fileName.assign(m.name.data(), m.name.size());
                return true;
            }
        }
        return false;
    }

private:
    const char* Find(uintptr_t address, size_t count)
    {
        auto it = regions.upper_bound(address);
        if (it == regions.begin())
            return nullptr;
        --it;
        const uintptr_t begin = it->first;
        const size_t size = it->second.size();
        if (address - begin > size || count > size - (address - begin))
            return nullptr;
        return it->second.data() + (address - begin);
    }
};
