#include "crashreport/delivery/ETrackers.h"

#include <exception>
#include <initializer_list>
#include <string_view>

#include "crashreport/delivery/EWebText.h"
#include "framework/CodePage.h"
#include "framework/Exception.h"
#include "framework/SysUtils.h"

namespace {

// A modify page without the counter is not the page asked for: nothing would be sent.
bool HasCounterInput(const THTTPFormConnection& c, std::string_view name)
{
    std::string value;
    return FindInputValue(c.LastResponse().Body, name, value);
}

// One page request; the caller's response always holds its outcome.
bool Request(THTTPFormConnection& c, THTTPResponse& response) { return c.SendRequest(response, true); }

bool Contains(const THTTPFormConnection& c, std::string_view what) { return c.PageIs("", what, ""); }

std::string Steps(const TTrackerInput& input) { return FieldValueOf(input.Fields, "EL_ReproduceText"); }

std::string Summary(const TTrackerInput& input)
{
    return "[v" + input.AppVersion + " - 1]: " + input.BugId + " (" + input.ExceptionClass + ")";
}

struct TFormField {
    std::string_view name;
    std::string_view value;
};

void AddFields(THTTPFormConnection& c, std::initializer_list<TFormField> fields)
{
    for (const TFormField& field : fields)
        c.AddFormField(field.name, field.value);
}

// One request block of a dialogue: the step's status shown, the page set, its fixed fields.
void StartRequest(THTTPFormConnection& c, int status, std::string_view page, int method,
                  std::initializer_list<TFormField> fields = {})
{
    c.ShowConnectionStatus(status, 0);
    c.SetRequestPage(page, method);
    AddFields(c, fields);
}

void CopyInputs(THTTPFormConnection& c, std::initializer_list<std::string_view> names)
{
    for (std::string_view name : names)
        c.CopyPageInput(name);
}

void CopySelects(THTTPFormConnection& c, std::initializer_list<std::string_view> names)
{
    for (std::string_view name : names)
        c.CopyPageSelect(name);
}

// The selected option when it has a value, else the input of that name.
void CopySelectedElseInput(THTTPFormConnection& c, std::string_view name)
{
    std::string value;
    if (FindSelectedValue(c.LastResponse().Body, name, value) && !value.empty())
        c.AddFormField(name, value);
    else
        c.CopyPageInput(name);
}

// Bugzilla's version: the application's own when the page offers it.
void AddBugzillaVersion(THTTPFormConnection& c, const std::string& version)
{
    if (Contains(c, "<option value=\"" + version + "\">"))
        c.AddFormField("version", version);
    else
        c.CopyPageSelect("version");
}

}  // namespace

std::string FieldValueOf(const TStringList& fields, std::string_view name)
{
    for (const std::string& line : fields) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos && SameText(std::string_view(line).substr(0, equals), name))
            return line.substr(equals + 1);
    }
    return {};
}

std::string DescriptionWithSteps(std::string_view message, std::string_view steps)
{
    std::string text(message);
    if (!steps.empty())
        text += "\r\n\r\n---\r\n\r\n" + std::string(steps);
    return text;
}

int THTTPSendReport::Send(const TTrackerInput& input, THTTPResponse& response)
{
    response.Clear();
    std::unique_ptr<THTTPFormConnection> connection;
    int result = trUnknownError;
    try {
        if (!ConnectionClass)
            throw Exception("No HTTP connection class is set.");
        connection = ConnectionClass(input.TrackerAddress, input.ProxyAddress);
        if (!connection || !connection->Open()) {
            // An unbound connection knows no host: name the address instead, never its login.
            const std::string host = connection && !connection->Host.empty() ? connection->Host
                                                                             : UrlWithoutCredentials(input.TrackerAddress);
            response.ErrorText = Format("Cannot create an HTTP connection with the host: %s", host.c_str());
            return trUnknownError;
        }
        result = Dialogue(*connection, input, response);
    } catch (const std::exception& e) {
        response.ErrorText = e.what();
        result = trUnknownError;
    } catch (...) {
        response.ErrorText = "Unknown error.";
        result = trUnknownError;
    }
    // The answer is known by now; a connection that won't close changes nothing of it.
    if (connection) {
        try {
            connection->Close();
        } catch (...) {
        }
    }
    return result;
}

int THTTPMantisSendReport::Dialogue(THTTPFormConnection& c, const TTrackerInput& input, THTTPResponse& response)
{
    const std::string project = GbkToUtf8(input.Project);
    const std::string category = GbkToUtf8(input.Category);
    const std::string assignee = GbkToUtf8(input.Assignee);

    StartRequest(c, hcsLogin, "login.php", hrmPostUrlEncoded,
                 {{"return", "login_select_proj_page.php"}, {"username", input.User}, {"password", input.Password}});
    const bool loggedIn = Request(c, response);
    if (!((loggedIn && c.PageIs("login_select_proj_page.php", "name=\"project_id\"", "")) ||
          c.PageIs("my_view_page.php", "bug_report_page.php\">", "")))
        return trInvalidLogin;

    c.ShowConnectionStatus(hcsSelectProject, 0);
    const bool noChoice = c.PageIs("my_view_page.php", "", "<select name=\"project_id\"");
    if (!noChoice) {
        c.SetRequestPage("set_project.php", hrmPostUrlEncoded);
        c.CopyPageOption("project_id", project);
        if (!Request(c, response))
            return trInvalidSelection;
    }
    if (!(c.PageIs("my_view_page.php", ">" + project + "</option>", "") ||
          c.PageIs("my_view_page.php", " " + project + "</option>", "") ||
          c.PageIs("my_view_page.php", "", "<select name=\"project_id\"")))
        return trInvalidSelection;

    StartRequest(c, hcsSearching, "view_all_set.php?f=3", hrmPostUrlEncoded,
                 {{"type", "1"}, {"page_number", "1"}, {"view_type", "simple"}});
    c.AddSearchField("search", input.BugId, input.ExceptionClass);
    if (!Request(c, response) || !(c.PageIs("view_all_bug_page.php", "name=\"reset_query_button\"", "") ||
                                c.PageIs("view_all_bug_page.php", "name=\"source_query_id\"", "")))
        return trInvalidSearch;

    if (!Contains(c, "bug_update_page.php?bug_id=") && !Contains(c, "bug_update_advanced_page.php?bug_id=")) {
        c.SetRequestPage("bug_report_advanced_page.php", hrmGet);
        if (!Request(c, response) || !c.PageIs("bug_report_advanced_page.php", "name=\"file\" type=\"file\"", ""))
            return trInvalidInsert;
        c.SetRequestPage("bug_report.php", hrmPostMultipart);
        CopyInputs(c, {"m_id", "project_id"});
        c.CopyPageOption("handler_id", assignee);
        c.CopyPageOption("category", category);
        c.AddFormField("reproducibility", "10");
        CopySelects(c, {"severity", "priority"});
        c.CopyPageInput("platform");
        c.AddFormField("os", FieldValueOf(input.Fields, "EL_OSType"));
        c.AddFormField("os_build", FieldValueOf(input.Fields, "EL_OSBuild"));
        c.AddFormField("build", input.AppVersion);
        c.AddSummaryField("summary", input.AppVersion, input.BugId, input.ExceptionClass);
        c.AddFormField("description", GbkToUtf8(input.ExceptionMessage));
        c.AddFormField("steps_to_reproduce", GbkToUtf8(Steps(input)));
        c.AddFormField("additional_info", "");
        c.AddFormField("view_state", "10");
        CopyInputs(c, {"report_stay", "bug_report_token"});
        c.CopyPageOption("category_id", category);
        c.CopyFormFields(input.Fields);
        if (!input.FileName.empty())
            c.AddFormFile("file", input.FileName);
        if (Request(c, response) && c.PageIs("bug_report.php", "href=\"view.php?id=", ""))
            return trSuccess;
        return trInvalidInsert;
    }

    std::string bugId = ExtractAfter(c.LastResponse().Body, "bug_update_page.php?bug_id=", 1);
    if (bugId.empty())
        bugId = ExtractAfter(c.LastResponse().Body, "bug_update_advanced_page.php?bug_id=", 1);
    StartRequest(c, hcsModifying, "bug_update_page.php", hrmGet, {{"bug_id", bugId}});
    if (!Request(c, response) || !c.PageIs("bug_update_page.php", "name=\"severity\"", ""))
        return trInvalidModify;
    c.SetRequestPage("bug_update.php", hrmPostUrlEncoded);
    if (!HasCounterInput(c, "summary"))
        return trInvalidModify;
    if (!c.BumpPageCounter("summary"))
        return trSuccess;
    std::string status;
    FindSelectedValue(c.LastResponse().Body, "status", status);
    if (status == "80" || status == "90")
        return trBugClosed;
    c.AddFormField("bug_id", bugId);
    c.CopyPageInput("update_mode");
    CopySelects(c, {"category", "severity", "reproducibility", "reporter_id", "view_state", "handler_id", "priority"});
    CopySelectedElseInput(c, "resolution");
    c.CopyPageTextArea("description");
    c.CopyPageTextArea("additional_information");
    c.CopyPageTextArea("bugnote_text");
    c.AddFormField("build", input.AppVersion);
    c.CopyPageInput("bug_update_token");
    c.CopyPageSelect("category_id");
    c.CopyFormFields(input.Fields);
    if (Request(c, response) && (c.PageIs("bug_update.php", "href=\"view.php?id=", "") ||
                              c.PageIs("view.php", "href=\"view.php?id=", "")))
        return trSuccess;
    return trInvalidModify;
}

int THTTPBugzillaSendReport::Dialogue(THTTPFormConnection& c, const TTrackerInput& input, THTTPResponse& response)
{
    StartRequest(c, hcsLogin, "enter_bug.cgi", hrmPostUrlEncoded,
                 {{"project", input.Project}, {"Bugzilla_login", input.User}, {"Bugzilla_password", input.Password}});
    if (!Request(c, response) || !(c.PageIs("enter_bug.cgi", "relogin.cgi", "") ||
                                c.PageIs("enter_bug.cgi", "index.cgi?logout=1", "")))
        return trInvalidLogin;

    StartRequest(c, hcsSearching, "buglist.cgi", hrmGet,
                 {{"query_format", "specific"}, {"order", "relevance desc"}, {"bug_status", "__all__"},
                  {"product", input.Project}});
    c.AddSearchField("content", input.BugId, "");
    if (!Request(c, response) || !c.PageIs("buglist.cgi", "href=\"query.cgi?", ""))
        return trInvalidSearch;

    const std::string description = DescriptionWithSteps(input.ExceptionMessage, Steps(input));
    if (!Contains(c, "show_bug.cgi?id=")) {
        StartRequest(c, hcsSelectProject, "enter_bug.cgi", hrmGet, {{"product", input.Project}});
        if (!Request(c, response) || !c.PageIs("enter_bug.cgi", "action=\"post_bug.cgi\"", ""))
            return trInvalidSelection;
        c.SetRequestPage("post_bug.cgi", hrmPostUrlEncoded);
        c.CopyPageInput("product");
        AddBugzillaVersion(c, input.AppVersion);
        std::string component;
        if (!FindSelectedValue(c.LastResponse().Body, "component", component))
            FindInputValue(c.LastResponse().Body, "component", component);
        if (component.empty()) {
            const std::string& body = c.LastResponse().Body;
            const size_t at = LowerCase(body).find("components[0] = \"");
            if (at != std::string::npos) {
                const size_t begin = at + 17;
                const size_t end = body.find('"', begin);
                component = body.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
            }
        }
        c.AddFormField("component", component);
        CopySelects(c, {"rep_platform", "op_sys", "priority", "bug_severity", "target_milestone"});
        c.CopyPageInput("bug_status");
        c.AddFormField("assigned_to", input.Assignee.empty() ? input.User : input.Assignee);
        CopyInputs(c, {"qa_contact", "cc", "estimated_time", "deadline", "bug_file_loc"});
        c.AddSummaryField("short_desc", input.AppVersion, input.BugId, input.ExceptionClass);
        c.AddFormField("comment", description);
        CopyInputs(c, {"keywords", "dependson", "blocked"});
        c.AddFormField("form_name", "enter_bug");
        c.CopyPageSelect("bug_status");
        c.CopyFormFields(input.Fields);
        if (!Request(c, response) || !c.PageIs("post_bug.cgi", "show_bug.cgi?id=", ""))
            return trInvalidInsert;
        // Nothing to attach: the report itself is filed.
        if (input.FileName.empty())
            return trSuccess;
        std::string bugId;
        FindInputValue(c.LastResponse().Body, "id", bugId);
        c.SetRequestPage("attachment.cgi", hrmPostMultipart);
        AddFields(c, {{"bugid", bugId}, {"action", "insert"}, {"description", "FILE"}, {"contenttypemethod", "list"},
                      {"contenttypeselection", "application/octet-stream"}, {"contenttypeentry", ""},
                      {"flag_type-1", "X"}, {"flag_type-2", "X"}, {"flag_type-3", "X"}, {"flag_type-4", "X"},
                      {"comment", ""}});
        c.AddFormFile("data", input.FileName);
        if (Request(c, response) && c.PageIs("attachment.cgi", "attachment.cgi", ""))
            return trSuccess;
        return trInvalidInsert;
    }

    const std::string bugId = ExtractAfter(c.LastResponse().Body, "show_bug.cgi?id=", 1);
    StartRequest(c, hcsModifying, "show_bug.cgi", hrmGet, {{"id", bugId}});
    if (!Request(c, response) ||
        !(c.PageIs("show_bug.cgi", "name=\"form_name\"", "") ||
          c.PageIs("show_bug.cgi", "type=\"hidden\" id=\"component\"", "") ||
          c.PageIs("show_bug.cgi", "select id=\"component\" name=\"component\"", "") ||
          c.PageIs("show_bug.cgi", "<label for=\"component\" accesskey=\"", "")))
        return trInvalidModify;
    c.SetRequestPage("process_bug.cgi", hrmPostUrlEncoded);
    if (!HasCounterInput(c, "short_desc"))
        return trInvalidModify;
    if (!c.BumpPageCounter("short_desc"))
        return trSuccess;
    if (Contains(c, "value=\"reopen\"") || Contains(c, "value=\"reopened\""))
        return trBugClosed;
    CopyInputs(c, {"delta_ts", "longdesclength", "id", "token", "alias"});
    std::string location;
    if (!FindInputValue(c.LastResponse().Body, "bug_file_loc", location) || location.empty())
        c.AddFormField("bug_file_loc", "");
    else
        c.AddFormField("bug_file_loc", location);
    CopySelects(c, {"product", "component", "rep_platform", "op_sys"});
    AddBugzillaVersion(c, input.AppVersion);
    CopySelects(c, {"priority", "bug_severity", "target_milestone"});
    CopyInputs(c, {"newcc", "cc", "qa_contact", "bug_file_loc", "status_whiteboard", "keywords"});
    c.AddFormField("flag_type-6", "X");
    CopyInputs(c, {"requestee_type-6", "dependson", "blocked"});
    c.CopyPageTextArea("comment");
    c.AddFormField("knob", "none");
    CopySelectedElseInput(c, "resolution");
    CopyInputs(c, {"dup_id", "assigned_to", "form_name"});
    c.CopyFormFields(input.Fields);
    if (Request(c, response) && c.PageIs("process_bug.cgi", "show_bug.cgi?id=", ""))
        return trSuccess;
    return trInvalidModify;
}

namespace {

std::string SubmitPage(const THTTPFormConnection& c)
{
    const std::string token = ExtractAfter(c.LastResponse().Body, "sActionToken=", 1);
    return token.empty() ? "default.asp?pre=preSubmitBug" : "default.asp?pre=preSubmitBug&sActionToken=" + token;
}

}  // namespace

int THTTPFogBugzSendReport::Dialogue(THTTPFormConnection& c, const TTrackerInput& input, THTTPResponse& response)
{
    StartRequest(c, hcsLogin, "default.asp", hrmPostUrlEncoded,
                 {{"pre", "preLogon"}, {"dest", ""}, {"sPerson", input.User}, {"sPassword", input.Password},
                  {"fRememberPassword", "0"}});
    const std::string trialId = FieldValueOf(input.Fields, "FogBugzTrialID");
    if (!trialId.empty())
        c.AddFormField("ID", trialId);
    if (!Request(c, response) || !c.PageIs("default.asp", "pre=preLogOff", ""))
        return trInvalidLogin;

    StartRequest(c, hcsSearching, "default.asp", hrmGet,
                 {{"pre", "preSearch"}, {"pg", "pgList"}, {"pgBack", "pgSearch"}, {"search", "1"},
                  {"bAlsoSearchClosedBugs", "ON"}});
    c.AddSearchField("searchFor", input.BugId, input.ExceptionClass);
    if (!Request(c, response) || !c.PageIs("default.asp", "searchFor=", ""))
        return trInvalidSearch;

    const std::string description = DescriptionWithSteps(input.ExceptionMessage, Steps(input));
    if (!Contains(c, "default.asp?pg=pgeditbug") && !Contains(c, "default.asp?pgx=EV&amp;ixBug=")) {
        StartRequest(c, hcsSelectProject, "default.asp", hrmGet, {{"command", "new"}, {"pg", "pgEditBug"}});
        if (!Request(c, response) || !c.PageIs("default.asp", "", ""))
            return trInvalidInsert;
        c.SetRequestPage(SubmitPage(c), hrmPostMultipart);
        CopyInputs(c, {"command", "dtTimeStamp", "ixBug", "ixBugEventLatest", "ixPersonLastOwner", "ixDiscussTopic",
                       "ixScreenshot", "sOriginalTitle"});
        c.AddFormField("sTitle", Summary(input));
        c.AddFormField("sEvent", description);
        c.CopyPageOption("ixProject", input.Project);
        c.CopyPageOption("ixArea", input.Project + ": " + input.Category);
        if (input.Assignee.empty())
            c.CopyPageSelect("ixPersonAssignedTo");
        else
            c.CopyPageOption("ixPersonAssignedTo", input.Assignee);
        CopySelects(c, {"ixCategory", "ixFixFor"});
        c.AddFormField("ixPriority", "1");
        CopyInputs(c, {"sDueDate", "sDueTime"});
        c.AddFormField("hrsCurrEstNew", "");
        CopyInputs(c, {"hrsElapsedNew", "omitAtt", "fIEFileBrowse"});
        c.AddFormField("sVersion", input.AppVersion);
        CopyInputs(c, {"sComputer", "dblTimeStamp"});
        c.CopyFormFields(input.Fields);
        if (!input.FileName.empty()) {
            c.AddFormField("nFileCount", "1");
            c.AddFormFile("File1", input.FileName);
        } else {
            c.AddFormField("nFileCount", "0");
        }
        if (Request(c, response) && c.PageIs("default.asp", "command=resolve", ""))
            return trSuccess;
        return trInvalidInsert;
    }

    const std::string bugId = ExtractAfter(c.LastResponse().Body, "ixBug=", 1);
    StartRequest(c, hcsModifying, "default.asp", hrmGet, {{"pg", "pgEditBug"}, {"command", "edit"}, {"ixBug", bugId}});
    if (!Request(c, response) || !c.PageIs("default.asp", "name=\"OK\"", ""))
        return trInvalidModify;
    c.SetRequestPage(SubmitPage(c), hrmPostMultipart);
    if (!HasCounterInput(c, "sTitle"))
        return trInvalidModify;
    if (!c.BumpPageCounter("sTitle"))
        return trSuccess;
    if (Contains(c, "default.asp?pg=pgEditReleaseNotes"))
        return trBugClosed;
    CopyInputs(c, {"command", "dtTimeStamp"});
    c.AddFormField("ixBug", bugId);
    CopyInputs(c, {"ixBugEventLatest", "ixPersonLastOwner", "ixDiscussTopic", "ixScreenshot", "sOriginalTitle", "sEvent"});
    CopySelects(c, {"ixProject", "ixArea", "ixPersonAssignedTo", "ixCategory", "ixFixFor", "ixPriority"});
    CopyInputs(c, {"sDueDate", "sDueTime", "hrsCurrEstNew", "hrsElapsedNew", "dblTimeStamp", "fIEFileBrowse",
                   "idSubscriptionState", "ixDiscussTopic", "ixPersonLastOwner", "nFileCount", "omitAtt", "sComputer"});
    c.CopyPageTextArea("sEvent");
    c.CopyPageInput("sOriginalTitle");
    c.AddFormField("sVersion", input.AppVersion);
    c.CopyFormFields(input.Fields);
    if (Request(c, response) && c.PageIs("default.asp", "command=resolve", ""))
        return trSuccess;
    return trInvalidModify;
}

int SendTrackerReport(const THTTPConnectionClass& connectionClass, TTrackerClass trackerClass,
                      const TTrackerInput& input, THTTPResponse& response)
{
    std::unique_ptr<THTTPSendReport> tracker = trackerClass();
    tracker->ConnectionClass = connectionClass;
    return tracker->Send(input, response);
}
