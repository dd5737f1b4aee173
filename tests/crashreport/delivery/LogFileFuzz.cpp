// A log of reports is a file anyone may have edited or cut: load it, read and change its items,
// extract every section and write its XML form.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/delivery/EXml.h"
#include "tests/crashreport/delivery/LogSamples.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TLogFile log(std::make_unique<TMemoryLogStore>(std::string(reinterpret_cast<const char*>(data), size)));
    log.Password = size % 2 ? "key" : "";
    LogToXml(log);
    for (int i = 0; i < log.ReportCount() && i < 4; ++i) {
        log.GetReportItem("2.7", i);
        log.SetReportItem("2.8", "2", i, "Count");
        log.SetReportItem("2.11", "x\r\ny", i, "Extra");
    }
    log.CountRepeat("1A2B");
    log.AddLogReport(std::string(reinterpret_cast<const char*>(data), size), 3);
    log.SaveLogFile();
    return 0;
}
