#include "crashreport/capture/EOptionsResource.h"

#include <zlib.h>

#include "crashreport/capture/EInternalWarning.h"

namespace {

void Scramble(std::string& bytes)
{
    for (char& c : bytes)
        c = static_cast<char>(c ^ OptionsTextScramble);
}

bool Refuse(const char* why)
{
    ReportInternalWarning(TDuruvaDodErrorCode::eeOptionsError, Format("[ELDATA] %s", why));
    return false;
}

}  // namespace

std::string PackOptionsResource(const TVurazaModuleOptions& options, bool useMainProgramHeader)
{
    TByteWriter stream;
    options.SaveToStream(stream);
    const std::string& plain = stream.Data();
    uLongf packedSize = compressBound(static_cast<uLong>(plain.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(plain.data()),
                  static_cast<uLong>(plain.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw Exception("Cannot compress the options.");
    packed.resize(packedSize);
    Scramble(packed);

    TByteWriter out;
    out.U32(OptionsResourceMark);
    out.U16(6000);
    out.U32(static_cast<uint32_t>(packed.size()));
    out.U32(static_cast<uint32_t>(plain.size()));
    out.U8(options.LeakFlags());
    out.U8(useMainProgramHeader ? 1 : 0);
    out.Bytes(packed);
    return out.Data();
}

bool UnpackOptionsResource(std::string_view resource, TVurazaModuleOptions& options)
{
    if (resource.size() < OptionsResourceHeaderSize)
        return Refuse("too short");
    TByteReader header(resource.substr(0, OptionsResourceHeaderSize));
    const uint32_t mark = header.U32();
    uint16_t version = header.U16();
    const uint32_t packedSize = header.U32();
    const uint32_t streamSize = header.U32();
    if (mark != OptionsResourceMark && mark != 0x000FAB10)
        return Refuse("no options mark");
    if (version >= 600 && version <= 602)
        version = static_cast<uint16_t>(version * 10);
    if (version < 400)
        return Refuse("unknown format version");
    // zlib inflates at most about 1032 bytes from one: a larger stream size is damage, and
    // must not cost an allocation.
    if (packedSize > resource.size() - OptionsResourceHeaderSize || streamSize > OptionsResourceStreamLimit ||
        streamSize / 1040 > packedSize)
        return Refuse("sizes beyond the data");

    std::string packed(resource.substr(OptionsResourceHeaderSize, packedSize));
    Scramble(packed);
    std::string plain(streamSize, '\0');
    uLongf plainSize = streamSize;
    if (uncompress(reinterpret_cast<Bytef*>(plain.data()), &plainSize, reinterpret_cast<const Bytef*>(packed.data()),
                   static_cast<uLong>(packed.size())) != Z_OK ||
        plainSize != streamSize)
        return Refuse("damaged options data");

    // A stream cut short inside sound zlib data would leave the options half loaded: read into
    // a copy and take it only when the whole stream was read.
    OptionsStreamVersion = version;
    TVurazaModuleOptions loaded("");
    loaded.Assign(&options);
    TByteReader stream(plain);
    if (!loaded.TryLoadFromStream(stream))
        return Refuse("options stream cut short");
    options.Assign(&loaded);
    return true;
}
