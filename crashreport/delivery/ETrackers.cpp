#include "crashreport/delivery/ETrackers.h"

#include <exception>

#include "crashreport/delivery/EWebText.h"
#include "framework/CodePage.h"
#include "framework/Exception.h"
#include "framework/SysUtils.h"

namespace {

// One page request; the caller's response always holds its outcome.
bool Request(THTTPFormConnection& c, THTTPResponse& response) { return c.SendRequest(response, true); }

bool Contains(const THTTPFormConnection& c, std::string_view what) { return c.PageIs("", what, ""); }

std::string Steps(const TTrackerInput& input) { return FieldValueOf(input.Fields, "EL_ReproduceText"); }

std::string Summary(const TTrackerInput& input)
{
    return "[v" + input.AppVersion + " - 1]: " + input.BugId + " (" + input.ExceptionClass + ")";
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
            // An unbound connection knows no host: name the address instead.
            const std::string host = connection && !connection->Host.empty() ? connection->Host : input.TrackerAddress;
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

    c.ShowConnectionStatus(hcsLogin, 0);
    c.SetRequestPage("login.php", hrmPostUrlEncoded);
    c.AddFormField("return", "login_select_proj_page.php");
    c.AddFormField("username", input.User);
    c.AddFormField("password", input.Password);
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

    c.ShowConnectionStatus(hcsSearching, 0);
    c.SetRequestPage("view_all_set.php?f=3", hrmPostUrlEncoded);
    c.AddFormField("type", "1");
    c.AddFormField("page_number", "1");
    c.AddFormField("view_type", "simple");
    c.AddSearchField("search", input.BugId, input.ExceptionClass);
    if (!Request(c, response) || !(c.PageIs("view_all_bug_page.php", "name=\"reset_query_button\"", "") ||
                                c.PageIs("view_all_bug_page.php", "name=\"source_query_id\"", "")))
        return trInvalidSearch;

    if (!Contains(c, "bug_update_page.php?bug_id=") && !Contains(c, "bug_update_advanced_page.php?bug_id=")) {
        c.SetRequestPage("bug_report_advanced_page.php", hrmGet);
        if (!Request(c, response) || !c.PageIs("bug_report_advanced_page.php", "name=\"file\" type=\"file\"", ""))
            return trInvalidInsert;
        c.SetRequestPage("bug_report.php", hrmPostMultipart);
        c.CopyPageInput("m_id");
        c.CopyPageInput("project_id");
        c.CopyPageOption("handler_id", assignee);
        c.CopyPageOption("category", category);
        c.AddFormField("reproducibility", "10");
        c.CopyPageSelect("severity");
        c.CopyPageSelect("priority");
        c.CopyPageInput("platform");
        c.AddFormField("os", FieldValueOf(input.Fields, "EL_OSType"));
        c.AddFormField("os_build", FieldValueOf(input.Fields, "EL_OSBuild"));
        c.AddFormField("build", input.AppVersion);
        c.AddSummaryField("summary", input.AppVersion, input.BugId, input.ExceptionClass);
        c.AddFormField("description", GbkToUtf8(input.ExceptionMessage));
        c.AddFormField("steps_to_reproduce", GbkToUtf8(Steps(input)));
        c.AddFormField("additional_info", "");
        c.AddFormField("view_state", "10");
        c.CopyPageInput("report_stay");
        c.CopyPageInput("bug_report_token");
        c.CopyPageOption("category_id", category);
        c.CopyFormFields(input.Fields);
        if (!input.FileName.empty())
            c.AddFormFile("file", input.FileName);
        if (Request(c, response) && c.PageIs("bug_report.php", "href=\"view.php?id=", ""))
            return trSuccess;
        return trInvalidInsert;
    }

    c.ShowConnectionStatus(hcsModifying, 0);
    std::string bugId = ExtractAfter(c.LastResponse().Body, "bug_update_page.php?bug_id=", 1);
    if (bugId.empty())
        bugId = ExtractAfter(c.LastResponse().Body, "bug_update_advanced_page.php?bug_id=", 1);
    c.SetRequestPage("bug_update_page.php", hrmGet);
    c.AddFormField("bug_id", bugId);
    if (!Request(c, response) || !c.PageIs("bug_update_page.php", "name=\"severity\"", ""))
        return trInvalidModify;
    c.SetRequestPage("bug_update.php", hrmPostUrlEncoded);
    if (!c.BumpPageCounter("summary"))
        return trSuccess;
    std::string status;
    FindSelectedValue(c.LastResponse().Body, "status", status);
    if (status == "80" || status == "90")
        return trBugClosed;
    c.AddFormField("bug_id", bugId);
    c.CopyPageInput("update_mode");
    for (const char* name : {"category", "severity", "reproducibility", "reporter_id", "view_state", "handler_id", "priority"})
        c.CopyPageSelect(name);
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
    c.ShowConnectionStatus(hcsLogin, 0);
    c.SetRequestPage("enter_bug.cgi", hrmPostUrlEncoded);
    c.AddFormField("project", input.Project);
    c.AddFormField("Bugzilla_login", input.User);
    c.AddFormField("Bugzilla_password", input.Password);
    if (!Request(c, response) || !(c.PageIs("enter_bug.cgi", "relogin.cgi", "") ||
                                c.PageIs("enter_bug.cgi", "index.cgi?logout=1", "")))
        return trInvalidLogin;

    c.ShowConnectionStatus(hcsSearching, 0);
    c.SetRequestPage("buglist.cgi", hrmGet);
    c.AddFormField("query_format", "specific");
    c.AddFormField("order", "relevance desc");
    c.AddFormField("bug_status", "__all__");
    c.AddFormField("product", input.Project);
    c.AddSearchField("content", input.BugId, "");
    if (!Request(c, response) || !c.PageIs("buglist.cgi", "href=\"query.cgi?", ""))
        return trInvalidSearch;

    const std::string description = DescriptionWithSteps(input.ExceptionMessage, Steps(input));
    if (!Contains(c, "show_bug.cgi?id=")) {
        c.ShowConnectionStatus(hcsSelectProject, 0);
        c.SetRequestPage("enter_bug.cgi", hrmGet);
        c.AddFormField("product", input.Project);
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
        for (const char* name : {"rep_platform", "op_sys", "priority", "bug_severity", "target_milestone"})
            c.CopyPageSelect(name);
        c.CopyPageInput("bug_status");
        c.AddFormField("assigned_to", input.Assignee.empty() ? input.User : input.Assignee);
        for (const char* name : {"qa_contact", "cc", "estimated_time", "deadline", "bug_file_loc"})
            c.CopyPageInput(name);
        c.AddSummaryField("short_desc", input.AppVersion, input.BugId, input.ExceptionClass);
        c.AddFormField("comment", description);
        for (const char* name : {"keywords", "dependson", "blocked"})
            c.CopyPageInput(name);
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
        c.AddFormField("bugid", bugId);
        c.AddFormField("action", "insert");
        c.AddFormField("description", "FILE");
        c.AddFormField("contenttypemethod", "list");
        c.AddFormField("contenttypeselection", "application/octet-stream");
        c.AddFormField("contenttypeentry", "");
        for (const char* name : {"flag_type-1", "flag_type-2", "flag_type-3", "flag_type-4"})
            c.AddFormField(name, "X");
        c.AddFormField("comment", "");
        c.AddFormFile("data", input.FileName);
        if (Request(c, response) && c.PageIs("attachment.cgi", "attachment.cgi", ""))
            return trSuccess;
        return trInvalidInsert;
    }

    c.ShowConnectionStatus(hcsModifying, 0);
    const std::string bugId = ExtractAfter(c.LastResponse().Body, "show_bug.cgi?id=", 1);
    c.SetRequestPage("show_bug.cgi", hrmGet);
    c.AddFormField("id", bugId);
    if (!Request(c, response) ||
        !(c.PageIs("show_bug.cgi", "name=\"form_name\"", "") ||
          c.PageIs("show_bug.cgi", "type=\"hidden\" id=\"component\"", "") ||
          c.PageIs("show_bug.cgi", "select id=\"component\" name=\"component\"", "") ||
          c.PageIs("show_bug.cgi", "<label for=\"component\" accesskey=\"", "")))
        return trInvalidModify;
    c.SetRequestPage("process_bug.cgi", hrmPostUrlEncoded);
    if (!c.BumpPageCounter("short_desc"))
        return trSuccess;
    if (Contains(c, "value=\"reopen\"") || Contains(c, "value=\"reopened\""))
        return trBugClosed;
    for (const char* name : {"delta_ts", "longdesclength", "id", "token", "alias"})
        c.CopyPageInput(name);
    std::string location;
    if (!FindInputValue(c.LastResponse().Body, "bug_file_loc", location) || location.empty())
        c.AddFormField("bug_file_loc", "");
    else
        c.AddFormField("bug_file_loc", location);
    for (const char* name : {"product", "component", "rep_platform", "op_sys"})
        c.CopyPageSelect(name);
    AddBugzillaVersion(c, input.AppVersion);
    for (const char* name : {"priority", "bug_severity", "target_milestone"})
        c.CopyPageSelect(name);
    for (const char* name : {"newcc", "cc", "qa_contact", "bug_file_loc", "status_whiteboard", "keywords"})
        c.CopyPageInput(name);
    c.AddFormField("flag_type-6", "X");
    for (const char* name : {"requestee_type-6", "dependson", "blocked"})
        c.CopyPageInput(name);
    c.CopyPageTextArea("comment");
    c.AddFormField("knob", "none");
    CopySelectedElseInput(c, "resolution");
    for (const char* name : {"dup_id", "assigned_to", "form_name"})
        c.CopyPageInput(name);
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
    c.ShowConnectionStatus(hcsLogin, 0);
    c.SetRequestPage("default.asp", hrmPostUrlEncoded);
    c.AddFormField("pre", "preLogon");
    c.AddFormField("dest", "");
    c.AddFormField("sPerson", input.User);
    c.AddFormField("sPassword", input.Password);
    c.AddFormField("fRememberPassword", "0");
    const std::string trialId = FieldValueOf(input.Fields, "FogBugzTrialID");
    if (!trialId.empty())
        c.AddFormField("ID", trialId);
    if (!Request(c, response) || !c.PageIs("default.asp", "pre=preLogOff", ""))
        return trInvalidLogin;

    c.ShowConnectionStatus(hcsSearching, 0);
    c.SetRequestPage("default.asp", hrmGet);
    c.AddFormField("pre", "preSearch");
    c.AddFormField("pg", "pgList");
    c.AddFormField("pgBack", "pgSearch");
    c.AddFormField("search", "1");
    c.AddFormField("bAlsoSearchClosedBugs", "ON");
    c.AddSearchField("searchFor", input.BugId, input.ExceptionClass);
    if (!Request(c, response) || !c.PageIs("default.asp", "searchFor=", ""))
        return trInvalidSearch;

    const std::string description = DescriptionWithSteps(input.ExceptionMessage, Steps(input));
    if (!Contains(c, "default.asp?pg=pgeditbug") && !Contains(c, "default.asp?pgx=EV&amp;ixBug=")) {
        c.ShowConnectionStatus(hcsSelectProject, 0);
        c.SetRequestPage("default.asp", hrmGet);
        c.AddFormField("command", "new");
        c.AddFormField("pg", "pgEditBug");
        if (!Request(c, response) || !c.PageIs("default.asp", "", ""))
            return trInvalidInsert;
        c.SetRequestPage(SubmitPage(c), hrmPostMultipart);
        for (const char* name : {"command", "dtTimeStamp", "ixBug", "ixBugEventLatest", "ixPersonLastOwner",
                                 "ixDiscussTopic", "ixScreenshot", "sOriginalTitle"})
            c.CopyPageInput(name);
        c.AddFormField("sTitle", Summary(input));
        c.AddFormField("sEvent", description);
        c.CopyPageOption("ixProject", input.Project);
        c.CopyPageOption("ixArea", input.Project + ": " + input.Category);
        if (input.Assignee.empty())
            c.CopyPageSelect("ixPersonAssignedTo");
        else
            c.CopyPageOption("ixPersonAssignedTo", input.Assignee);
        c.CopyPageSelect("ixCategory");
        c.CopyPageSelect("ixFixFor");
        c.AddFormField("ixPriority", "1");
        c.CopyPageInput("sDueDate");
        c.CopyPageInput("sDueTime");
        c.AddFormField("hrsCurrEstNew", "");
        for (const char* name : {"hrsElapsedNew", "omitAtt", "fIEFileBrowse"})
            c.CopyPageInput(name);
        c.AddFormField("sVersion", input.AppVersion);
        c.CopyPageInput("sComputer");
        c.CopyPageInput("dblTimeStamp");
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

    c.ShowConnectionStatus(hcsModifying, 0);
    const std::string bugId = ExtractAfter(c.LastResponse().Body, "ixBug=", 1);
    c.SetRequestPage("default.asp", hrmGet);
    c.AddFormField("pg", "pgEditBug");
    c.AddFormField("command", "edit");
    c.AddFormField("ixBug", bugId);
    if (!Request(c, response) || !c.PageIs("default.asp", "name=\"OK\"", ""))
        return trInvalidModify;
    c.SetRequestPage(SubmitPage(c), hrmPostMultipart);
    if (!c.BumpPageCounter("sTitle"))
        return trSuccess;
    if (Contains(c, "default.asp?pg=pgEditReleaseNotes"))
        return trBugClosed;
    c.CopyPageInput("command");
    c.CopyPageInput("dtTimeStamp");
    c.AddFormField("ixBug", bugId);
    for (const char* name : {"ixBugEventLatest", "ixPersonLastOwner", "ixDiscussTopic", "ixScreenshot",
                             "sOriginalTitle", "sEvent"})
        c.CopyPageInput(name);
    for (const char* name : {"ixProject", "ixArea", "ixPersonAssignedTo", "ixCategory", "ixFixFor", "ixPriority"})
        c.CopyPageSelect(name);
    for (const char* name : {"sDueDate", "sDueTime", "hrsCurrEstNew", "hrsElapsedNew", "dblTimeStamp",
                             "fIEFileBrowse", "idSubscriptionState", "ixDiscussTopic", "ixPersonLastOwner",
                             "nFileCount", "omitAtt", "sComputer"})
        c.CopyPageInput(name);
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
