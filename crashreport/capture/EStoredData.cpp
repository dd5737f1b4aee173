#include "crashreport/capture/EStoredData.h"

#include <cstring>

#include "crashreport/capture/EByteStream.h"
#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EOptions.h"

uint32_t StoredDataBlockSize(std::string_view trailer, uint64_t fileSize)
{
    if (trailer.size() != StoredDataTrailerSize || fileSize < StoredDataTrailerSize)
        return 0;
    TByteReader r(trailer);
    const uint32_t size = r.U32();
    const uint32_t mark = r.U32();
    if (mark != 0x100FAB10 && mark != 0x000FAB10)
        return 0;
    if (size < 2 + 8 || size > StoredDataBlockLimit || size > fileSize - StoredDataTrailerSize)
        return 0;
    return size;
}

bool ReadStoredDataBlock(std::string_view block, TVurazaModuleOptions& options, bool wantDebugData,
                         uint16_t& version, double& compilationDate, std::string& debugData)
{
    try {
        TByteReader r(block);
        version = r.U16();
        const std::string date = r.Bytes(8);
        memcpy(&compilationDate, date.data(), 8);
        OptionsStreamVersion = version;
        // The options object keeps what it read of a damaged stream; the reader stops with it.
        ClearLastWarning();
        options.LoadFromStream(r);
        if (LastWarningCode() != TDuruvaDodErrorCode::eeNone)
            return false;
        if (wantDebugData) {
            const uint32_t size = r.U32();
            if (size > r.Left())
                return false;
            debugData = r.Bytes(size);
        }
        return true;
    } catch (const EStreamReadError&) {
        return false;
    }
}
