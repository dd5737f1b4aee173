// Whole tracker dialogues over pages of any bytes: the input, cut at NUL bytes, is the answer to
// each request in turn, every answer claiming to be the page asked for.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crashreport/delivery/ETrackers.h"
#include "crashreport/delivery/EWebText.h"

namespace {

class TFuzzConnection : public THTTPFormConnection {
public:
    explicit TFuzzConnection(std::vector<std::string>& pages) : pages_(pages) { SetAddresses("http://t.test/", ""); }
    bool Open() override { return true; }
    void Close() override {}
    void ShowConnectionStatus(int, int) override {}
    bool SendRequest(THTTPResponse& response, bool) override
    {
        response.Clear();
        if (next_ >= pages_.size() || ++requests_ > 20)
            return false;
        std::string directory, query;
        SplitPath(Path, directory, response.PageName, query);
        response.Body = pages_[next_++];
        KeepResponse(response);
        return true;
    }

private:
    std::vector<std::string>& pages_;
    size_t next_ = 0;
    int requests_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> pages(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            pages.emplace_back();
        else
            pages.back() += static_cast<char>(data[i]);
    }
    TTrackerInput input;
    input.AppVersion = "1.0";
    input.BugId = "B";
    input.ExceptionClass = "E";
    input.Project = "P";
    for (const char* line : {"FogBugzTrialID=1", "EL_OSType=W", "EL_OSBuild=1", "EL_ReproduceText=s"})
        input.Fields.Add(line);
    const TTrackerClass classes[] = {&MakeTracker<THTTPMantisSendReport>, &MakeTracker<THTTPBugzillaSendReport>,
                                     &MakeTracker<THTTPFogBugzSendReport>};
    for (TTrackerClass trackerClass : classes) {
        THTTPResponse response;
        const int result = SendTrackerReport(
            [&pages](const std::string&, const std::string&) { return std::make_unique<TFuzzConnection>(pages); },
            trackerClass, input, response);
        if (result < 0 || result > 7)
            __builtin_trap();
    }
    return 0;
}
