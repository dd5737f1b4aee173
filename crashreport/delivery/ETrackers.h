#pragma once
// Filing a report in a Mantis, Bugzilla or FogBugz tracker by walking its web pages as a
// browser would: log in, pick the project, search for the same error, then file a new report
// with the zip or count one more occurrence on the old one. Pure over THTTPFormConnection.

#include <memory>
#include <string>

#include "crashreport/delivery/EHttpForm.h"
#include "framework/StringList.h"

enum TTrackerResult : int {
    trSuccess = 0,
    trBugClosed = 1,
    trUnknownError = 2,
    trInvalidLogin = 3,
    trInvalidSelection = 4,
    trInvalidSearch = 5,
    trInvalidInsert = 6,
    trInvalidModify = 7,
};

// States the dialogues announce on their connection.
enum : int { hcsLogin = 2, hcsSelectProject = 3, hcsSearching = 4, hcsModifying = 5 };

struct TTrackerInput {
    std::string AppVersion;
    std::string ExceptionClass;
    // Custom fields, then "FogBugzTrialID", "EL_OSType", "EL_OSBuild" and "EL_ReproduceText".
    TStringList Fields;
    std::string FileName;  // to attach; empty for none
    std::string Assignee;
    std::string Category;
    std::string Project;
    std::string Password;
    std::string User;
    std::string ProxyAddress;
    std::string TrackerAddress;
    std::string BugId;
    std::string ExceptionMessage;
};

class THTTPSendReport {
public:
    virtual ~THTTPSendReport() = default;
    // The whole dialogue: a TTrackerResult. The last answer (or the failure) is in response.
    // Never raises: a connection that can't be opened, or anything raised on the way, gives
    // trUnknownError with its text in response.ErrorText.
    int Send(const TTrackerInput& input, THTTPResponse& response);

    THTTPConnectionClass ConnectionClass;

protected:
    virtual int Dialogue(THTTPFormConnection& connection, const TTrackerInput& input, THTTPResponse& response) = 0;
};

class THTTPMantisSendReport : public THTTPSendReport {
protected:
    int Dialogue(THTTPFormConnection& connection, const TTrackerInput& input, THTTPResponse& response) override;
};

class THTTPBugzillaSendReport : public THTTPSendReport {
protected:
    int Dialogue(THTTPFormConnection& connection, const TTrackerInput& input, THTTPResponse& response) override;
};

class THTTPFogBugzSendReport : public THTTPSendReport {
protected:
    int Dialogue(THTTPFormConnection& connection, const TTrackerInput& input, THTTPResponse& response) override;
};

using TTrackerClass = std::unique_ptr<THTTPSendReport> (*)();
template <typename T>
std::unique_ptr<THTTPSendReport> MakeTracker()
{
    return std::make_unique<T>();
}

int SendTrackerReport(const THTTPConnectionClass& connectionClass, TTrackerClass trackerClass,
                      const TTrackerInput& input, THTTPResponse& response);

// The value of a "name=value" field, empty when absent.
std::string FieldValueOf(const TStringList& fields, std::string_view name);
// The message, then CR LF CR LF "---" CR LF CR LF and the steps when there are any.
std::string DescriptionWithSteps(std::string_view message, std::string_view steps);
