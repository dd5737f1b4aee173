#include "crashreport/capture/EStoredData.h"

#include "crashreport/capture/EInflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "crashreport/capture/EByteStream.h"
#include "crashreport/capture/EEncrypt.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EOptionsResource.h"

namespace {

// zlib never inflates more than about 1032 bytes from one; a larger claim is damage, and a
// model beyond this is no program of ours.
constexpr size_t InflateRatioLimit = 1040;
constexpr size_t ModelSizeLimit = 256u << 20;
constexpr size_t EnvelopeHeaderSize = 12;
// Smallest encodings, to check a count against the bytes left before reserving for it.
constexpr size_t UnitMinSize = 2 + 8 + 4 + 4;
constexpr size_t ProcedureMinSize = 2 + 2 + 12;
constexpr size_t RowSize = 10;
constexpr size_t FileNameMinSize = 2;
constexpr size_t TailMinBlock = 2 + 8 + 4;

bool IsMark(uint32_t v)
{
    return v == 0x100FAB10 || v == 0x000FAB10;
}

uint32_t LoadLittle(const unsigned char* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void WriteText(TByteWriter& w, const std::string& text)
{
    const size_t n = std::min<size_t>(text.size(), 0xFFFF);
    w.U16(static_cast<uint16_t>(n));
    w.Bytes(std::string_view(text).substr(0, n));
}

std::string ReadText(TByteReader& r)
{
    return r.Bytes(r.U16());
}

void WriteDouble(TByteWriter& w, double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    w.U32(static_cast<uint32_t>(bits));
    w.U32(static_cast<uint32_t>(bits >> 32));
}

double ReadDouble(TByteReader& r)
{
    uint64_t bits = r.U32();
    bits |= static_cast<uint64_t>(r.U32()) << 32;
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

// A count whose smallest encoding doesn't fit in what is left is damage.
uint32_t ReadCount(TByteReader& r, size_t minSize)
{
    const uint32_t n = r.U32();
    if (n > r.Left() / minSize)
        throw EStreamReadError("count beyond the data");
    return n;
}

}  // namespace

bool InflateExactly(std::string_view packed, size_t expectedSize, std::string& out)
{
    // The stream must end, and inflate to exactly the size stored before it.
    try {
        return InflateBuffer(packed.data(), packed.size(), out, expectedSize) == expectedSize;
    } catch (const EZLibError&) {
        out.clear();
        return false;
    }
}

// --- the model stream ------------------------------------------------------------------------

std::string WriteDebugModel(const TDebugModel& model)
{
    TByteWriter w;
    w.U32(static_cast<uint32_t>(model.units.size()));
    for (const TDebugUnit& u : model.units) {
        w.U16(static_cast<uint16_t>(u.files.size()));
        for (const std::string& f : u.files)
            WriteText(w, f);
        w.U32(u.start);
        w.U32(u.end);
        w.U32(static_cast<uint32_t>(u.procedures.size()));
        for (const TDebugProcedure& p : u.procedures) {
            WriteText(w, p.className);
            WriteText(w, p.name);
            w.U32(p.start);
            w.U32(p.end);
            w.U32(p.firstLine);
        }
        w.U32(static_cast<uint32_t>(u.lines.size()));
        for (const TDebugLine& l : u.lines) {
            w.U32(l.offset);
            w.U32(l.line);
            w.U16(l.file);
        }
    }
    return w.Data();
}

bool ReadDebugModel(std::string_view stream, TDebugModel& model)
{
    TDebugModel m;
    try {
        TByteReader r(stream);
        const uint32_t units = ReadCount(r, UnitMinSize);
        m.units.reserve(units);
        for (uint32_t i = 0; i < units; ++i) {
            TDebugUnit u;
            const uint16_t files = r.U16();
            if (files > r.Left() / FileNameMinSize)
                return false;
            u.files.reserve(files);
            for (uint16_t f = 0; f < files; ++f)
                u.files.push_back(ReadText(r));
            u.start = r.U32();
            u.end = r.U32();
            if (u.end < u.start)
                return false;
            const uint32_t procedures = ReadCount(r, ProcedureMinSize);
            u.procedures.reserve(procedures);
            for (uint32_t p = 0; p < procedures; ++p) {
                TDebugProcedure proc;
                proc.className = ReadText(r);
                proc.name = ReadText(r);
                proc.start = r.U32();
                proc.end = r.U32();
                proc.firstLine = r.U32();
                if (proc.end < proc.start || (p > 0 && proc.start < u.procedures.back().start))
                    return false;
                u.procedures.push_back(std::move(proc));
            }
            const uint32_t rows = ReadCount(r, RowSize);
            u.lines.resize(rows);
            for (uint32_t k = 0; k < rows; ++k) {
                TDebugLine& l = u.lines[k];
                l.offset = r.U32();
                l.line = r.U32();
                l.file = r.U16();
                if (l.file >= files || (k > 0 && l.offset < u.lines[k - 1].offset))
                    return false;
            }
            m.units.push_back(std::move(u));
        }
        if (r.Left() != 0)
            return false;
    } catch (const EStreamReadError&) {
        return false;
    }
    model = std::move(m);
    return true;
}

// --- the enciphered envelope -----------------------------------------------------------------

std::string EncodeStoredDebugData(const TDebugModel& model, std::string_view password)
{
    const std::string plain = WriteDebugModel(model);
    uLongf packedSize = compressBound(static_cast<uLong>(plain.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(plain.data()),
                  static_cast<uLong>(plain.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw Exception("Cannot compress the debug data.");
    packed.resize(packedSize);
    TByteWriter w;
    w.U32(StoredDataMark);
    w.U32(static_cast<uint32_t>(plain.size()));
    w.U32(static_cast<uint32_t>(packed.size()));
    w.Bytes(packed);
    std::string out = w.Data();
    SetCipherKey(password);
    EncryptBuffer(reinterpret_cast<const uint8_t*>(out.data()), reinterpret_cast<uint8_t*>(out.data()), out.size());
    return out;
}

bool DecodeStoredDebugData(std::string_view data, std::string_view password, TDebugModel& model,
                           TInflateFunction inflate)
{
    if (data.size() < EnvelopeHeaderSize || !inflate)
        return false;
    std::string plain(data);
    SetCipherKey(password);
    DecryptBuffer(reinterpret_cast<const uint8_t*>(plain.data()), reinterpret_cast<uint8_t*>(plain.data()),
                  plain.size());
    const auto* p = reinterpret_cast<const unsigned char*>(plain.data());
    const uint32_t modelSize = LoadLittle(p + 4), packedSize = LoadLittle(p + 8);
    if (!IsMark(LoadLittle(p)) || packedSize != plain.size() - EnvelopeHeaderSize || modelSize > ModelSizeLimit ||
        modelSize / InflateRatioLimit > packedSize)
        return false;
    std::string stream;
    if (!inflate(std::string_view(plain).substr(EnvelopeHeaderSize), modelSize, stream) || stream.size() != modelSize)
        return false;
    return ReadDebugModel(stream, model);
}

bool PasswordOpensDebugData(std::string_view data, std::string_view password)
{
    if (data.size() < 8)
        return false;
    // The first block alone tells whether the password opens the data.
    uint8_t head[8];
    SetCipherKey(password);
    DecryptBuffer(reinterpret_cast<const uint8_t*>(data.data()), head, 8);
    return IsMark(LoadLittle(head));
}

bool IsProtectedDebugData(std::string_view data)
{
    return data.size() >= 8 && !PasswordOpensDebugData(data, "");
}

// --- the resource ----------------------------------------------------------------------------

std::string PackStoredResource(const TVurazaModuleOptions& options, double compilationDate,
                               const std::vector<TCodeEntry>& entries)
{
    std::string out = PackOptionsResource(options);
    out[4] = static_cast<char>(StoredDataVersion & 0xFF);
    out[5] = static_cast<char>(StoredDataVersion >> 8);
    TByteWriter extras;
    WriteDouble(extras, compilationDate);
    if (entries.size() > 255)
        throw Exception("Too many code entries.");
    extras.U8(static_cast<uint8_t>(entries.size()));
    for (const TCodeEntry& e : entries) {
        extras.U8(e.first);
        extras.U32(e.second);
    }
    out += extras.Data();
    if (out.size() > StoredResourceSize)
        throw Exception(Format("The options need %u bytes; the resource holds %u.", static_cast<unsigned>(out.size()),
                               static_cast<unsigned>(StoredResourceSize)));
    out.resize(StoredResourceSize, '\0');
    return out;
}

bool HasStoredDataResource(std::string_view resource)
{
    return resource.size() >= OptionsResourceHeaderSize &&
           IsMark(LoadLittle(reinterpret_cast<const unsigned char*>(resource.data())));
}

bool ReadStoredResource(std::string_view resource, TStoredResource& out)
{
    if (!HasStoredDataResource(resource))
        return false;
    try {
        TByteReader r(resource);
        r.Skip(4);
        TStoredResource res;
        res.dataVersion = NormalizeDataVersion(r.U16());
        const uint32_t packed = r.U32();
        r.Skip(6);
        if (packed > r.Left())
            return false;
        r.Skip(packed);
        // A resource of the older form ends with the options.
        if (res.dataVersion >= StoredDataVersion) {
            res.compilationDate = ReadDouble(r);
            const uint8_t n = r.U8();
            if (n > r.Left() / 5)
                return false;
            for (uint8_t i = 0; i < n; ++i) {
                const uint8_t id = r.U8();
                res.entries.emplace_back(id, r.U32());
            }
        }
        out = std::move(res);
        return true;
    } catch (const EStreamReadError&) {
        return false;
    }
}

bool FindCodeEntry(const TStoredResource& resource, uint8_t id, uint32_t& offset)
{
    for (const TCodeEntry& e : resource.entries)
        if (e.first == id) {
            offset = e.second;
            return true;
        }
    return false;
}

// --- the tail --------------------------------------------------------------------------------

bool TStoredBytes::ReadAt(uint64_t offset, void* out, size_t count) const
{
    if (offset > bytes_.size() || count > bytes_.size() - offset)
        return false;
    std::memcpy(out, bytes_.data() + offset, count);
    return true;
}

std::string BuildStoredDataTail(uint16_t dataVersion, double compilationDate, const TVurazaModuleOptions& options,
                                std::string_view debugData)
{
    TByteWriter block;
    block.U16(dataVersion);
    WriteDouble(block, compilationDate);
    options.SaveToStream(block);
    block.U32(static_cast<uint32_t>(debugData.size()));
    block.Bytes(debugData);
    TByteWriter out;
    out.Bytes(block.Data());
    out.U32(static_cast<uint32_t>(block.Data().size()));
    out.U32(StoredDataMark);
    return out.Data();
}

namespace {

// The block's size from the file's last 8 bytes, checked against the file; 0 when none.
uint32_t TailBlockSize(const TStoredFile& file)
{
    const uint64_t size = file.Size();
    unsigned char end[8];
    if (size < 8 + TailMinBlock || !file.ReadAt(size - 8, end, 8) || !IsMark(LoadLittle(end + 4)))
        return 0;
    const uint32_t n = LoadLittle(end);
    return n >= TailMinBlock && n <= size - 8 ? n : 0;
}

}  // namespace

bool HasStoredDataTail(const TStoredFile& file)
{
    return TailBlockSize(file) != 0;
}

bool ReadStoredDataTail(const TStoredFile& file, TStoredTail& tail, bool withDebugData)
{
    const uint32_t n = TailBlockSize(file);
    if (n == 0)
        return false;
    const uint64_t start = file.Size() - 8 - n;
    std::string block(n, '\0');
    if (!file.ReadAt(start, block.data(), n))
        return false;
    try {
        TByteReader r(block);
        TStoredTail t;
        t.blockOffset = start;
        t.dataVersion = NormalizeDataVersion(r.U16());
        t.compilationDate = ReadDouble(r);
        // The options stream carries no length: read it to find where it ends. Its reader
        // swallows its own failures, so what follows must fit exactly.
        const size_t optionsStart = r.Position();
        {
            TVurazaModuleOptions scratch("");
            TByteReader options(std::string_view(block).substr(optionsStart));
            const uint16_t saved = OptionsStreamVersion;
            OptionsStreamVersion = t.dataVersion;
            scratch.LoadFromStream(options);
            OptionsStreamVersion = saved;
            r.Skip(options.Position());
        }
        t.options = block.substr(optionsStart, r.Position() - optionsStart);
        const uint32_t m = r.U32();
        if (m != r.Left())
            return false;
        if (withDebugData)
            t.debugData = block.substr(r.Position());
        tail = std::move(t);
        return true;
    } catch (const EStreamReadError&) {
        return false;
    }
}

void LoadTailOptions(const TStoredTail& tail, TVurazaModuleOptions& options)
{
    OptionsStreamVersion = tail.dataVersion;
    TByteReader r(tail.options);
    options.LoadFromStream(r);
}

// --- lookup ----------------------------------------------------------------------------------

bool LookupDebugLocation(const TDebugModel& model, uint32_t offset, TDebugLocation& out)
{
    const TDebugUnit* best = nullptr;
    const TDebugLine* bestRow = nullptr;
    const TDebugProcedure* bestProc = nullptr;
    const TDebugUnit* procUnit = nullptr;
    for (const TDebugUnit& u : model.units) {
        if (offset < u.start || offset >= u.end)
            continue;
        // Last row at or before the offset: of rows at one address the last one counts.
        auto row = std::upper_bound(u.lines.begin(), u.lines.end(), offset,
                                    [](uint32_t o, const TDebugLine& l) { return o < l.offset; });
        if (row != u.lines.begin()) {
            const TDebugLine& l = *(row - 1);
            if (l.line != 0 && (!bestRow || l.offset > bestRow->offset)) {
                best = &u;
                bestRow = &l;
            }
        }
        auto proc = std::upper_bound(u.procedures.begin(), u.procedures.end(), offset,
                                     [](uint32_t o, const TDebugProcedure& p) { return o < p.start; });
        if (proc != u.procedures.begin()) {
            const TDebugProcedure& p = *(proc - 1);
            if (offset < p.end && (!bestProc || p.start > bestProc->start)) {
                bestProc = &p;
                procUnit = &u;
            }
        }
    }
    if (!best && !bestProc)
        return false;
    TDebugLocation loc;
    if (best) {
        loc.unitName = best->Name();
        loc.fileName = best->files[bestRow->file];
        loc.line = bestRow->line;
    } else {
        loc.unitName = procUnit->Name();
    }
    if (bestProc) {
        loc.procedureKnown = true;
        loc.className = bestProc->className;
        loc.procedureName = bestProc->name;
        loc.procedureStart = bestProc->start;
        if (loc.line != 0 && bestProc->firstLine != 0 && loc.line > bestProc->firstLine)
            loc.lineDistance = loc.line - bestProc->firstLine;
    }
    out = std::move(loc);
    return true;
}
