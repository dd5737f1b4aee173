"""Fake Mantis, Bugzilla and FogBugz servers for the tracker tests: only the pages, form fields
and success marks the reporter relies on. Every page after the login needs the session cookie
the login set; without it the login page comes back. Every request is logged, one line per
form field: "<n> <page> <name> <percent-encoded value>" (files: "file:<name>" with the bytes and
"filename:<name>"); "<n> <page> cookie yes|no" tells whether the session came along.
A report whose summary holds "closed" is filed closed."""
import email.parser
import email.policy
import http.server
import itertools
import secrets
import threading
import urllib.parse

USER, PASSWORD, TOKEN = "reporter", "pw", "AbC123"
lock = threading.Lock()
sessions = set()
bugs = {"mantis": {}, "bugzilla": {}, "fogbugz": {}}  # id -> {"summary", "closed"}
ids = itertools.count(17)


def parse_fields(handler, body):
    fields, files = [], []
    query = urllib.parse.urlsplit(handler.path).query
    fields += urllib.parse.parse_qsl(query, keep_blank_values=True, encoding="latin-1")
    kind = handler.headers.get("Content-Type", "")
    if kind.startswith("application/x-www-form-urlencoded"):
        fields += urllib.parse.parse_qsl(body.decode("latin-1"), keep_blank_values=True, encoding="latin-1")
    elif kind.startswith("multipart/form-data"):
        message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
            b"Content-Type: " + kind.encode() + b"\r\n\r\n" + body)
        for part in message.iter_parts():
            name = part.get_param("name", header="content-disposition")
            filename = part.get_param("filename", header="content-disposition")
            data = part.get_payload(decode=True) or b""
            if filename is not None:
                files.append((name, filename, data))
            else:
                fields.append((name, data.decode("latin-1")))
    return fields, files


def value(fields, name):
    for k, v in fields:
        if k == name:
            return v
    return ""


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    log_path = None
    counter = itertools.count(1)

    def log_message(self, *args):
        pass

    def answer(self, body, status=200, location=None, cookie=None):
        data = body.encode("latin-1")
        self.send_response(status)
        if location:
            self.send_header("Location", location)
        if cookie:
            self.send_header("Set-Cookie", f"sid={cookie}; path=/")
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def session(self):
        for part in (self.headers.get("Cookie") or "").split(";"):
            k, _, v = part.strip().partition("=")
            if k == "sid" and v in sessions:
                return True
        return False

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        path = urllib.parse.urlsplit(self.path).path
        _, tracker, page = path.split("/", 2) if path.count("/") >= 2 else ("", "", path)
        fields, files = parse_fields(self, body)
        with lock:
            n = next(self.counter)
            with open(self.log_path, "a", encoding="latin-1") as log:
                log.write(f"{n} {page} cookie {'yes' if self.session() else 'no'}\n")
                for k, v in fields:
                    log.write(f"{n} {page} {k} {urllib.parse.quote(v.encode('latin-1'), safe='')}\n")
                for k, filename, data in files:
                    log.write(f"{n} {page} file:{k} {urllib.parse.quote(data, safe='')}\n")
                    log.write(f"{n} {page} filename:{k} {urllib.parse.quote(filename.encode('latin-1'), safe='')}\n")
            handler = getattr(self, tracker, None)
            if handler is None:
                return self.answer("no tracker", 404)
            return handler(page, fields, files)

    do_GET = do_POST = handle_any

    def login(self, fields, user_key, password_key):
        if value(fields, user_key) == USER and value(fields, password_key) == PASSWORD:
            sid = secrets.token_hex(8)
            sessions.add(sid)
            return sid
        return None

    # Mantis -----------------------------------------------------------------------------------
    def mantis(self, page, fields, files):
        store = bugs["mantis"]
        if page == "login.php":
            sid = self.login(fields, "username", "password")
            if not sid:
                return self.answer("", 302, "login_page.php")
            return self.answer("", 302, "login_select_proj_page.php", sid)
        if not self.session():
            return self.answer("<form action=\"login.php\">Please log in</form>")
        if page == "login_select_proj_page.php":
            return self.answer("<select name=\"project_id\"><option value=\"7\">Vidudo</option></select>")
        if page == "set_project.php":
            if value(fields, "project_id") != "7":
                return self.answer("", 302, "login_select_proj_page.php")
            return self.answer("", 302, "my_view_page.php")
        if page == "my_view_page.php":
            return self.answer("<select name=\"project_id\"><option value=\"7\" selected>Vidudo</option></select>"
                               "<a href=\"bug_report_page.php\">Report</a>")
        if page == "view_all_set.php":
            search = value(fields, "search")
            hits = [i for i, b in store.items() if search and search in b["summary"]]
            return self.answer("", 302, "view_all_bug_page.php" + (f"?hit={hits[0]}" if hits else ""))
        if page == "view_all_bug_page.php":
            hit = value(fields, "hit")
            link = f"<a href=\"bug_update_page.php?bug_id={hit}\">edit</a>" if hit else ""
            return self.answer(f"<input type=\"submit\" name=\"reset_query_button\">{link}")
        if page == "bug_report_advanced_page.php":
            return self.answer(
                "<form method=\"post\" enctype=\"multipart/form-data\" action=\"bug_report.php\">"
                "<input type=\"hidden\" name=\"m_id\" value=\"0\"><input type=\"hidden\" name=\"project_id\" value=\"7\">"
                "<input type=\"hidden\" name=\"bug_report_token\" value=\"t0k\">"
                "<select name=\"category_id\"><option value=\"1\" selected>General</option><option value=\"2\">Crash</option></select>"
                "<select name=\"severity\"><option value=\"50\" selected>minor</option></select>"
                "<select name=\"priority\"><option value=\"30\" selected>normal</option></select>"
                "<select name=\"handler_id\"><option value=\"0\" selected></option></select>"
                "<input name=\"platform\" value=\"\"><input name=\"file\" type=\"file\"></form>")
        if page == "bug_report.php":
            if value(fields, "bug_report_token") != "t0k" or not value(fields, "summary"):
                return self.answer("APPLICATION ERROR")
            if not value(fields, "category_id"):
                return self.answer("APPLICATION ERROR #11 A necessary field \"Category\" was empty.")
            bug = next(ids)
            store[bug] = {"summary": value(fields, "summary"), "closed": "closed" in value(fields, "summary")}
            return self.answer(f"Operation successful. <a href=\"view.php?id={bug}\">View</a>")
        if page == "bug_update_page.php":
            bug = store.get(int(value(fields, "bug_id") or 0))
            if not bug:
                return self.answer("APPLICATION ERROR #1100")
            status = "80" if bug["closed"] else "50"
            return self.answer(
                f"<form action=\"bug_update.php\"><input type=\"hidden\" name=\"summary\" value=\"{bug['summary']}\">"
                "<input type=\"hidden\" name=\"bug_update_token\" value=\"u1\">"
                "<select name=\"severity\"><option value=\"50\" selected>minor</option></select>"
                f"<select name=\"status\"><option value=\"{status}\" selected>s</option></select>"
                "<textarea name=\"description\">first</textarea></form>")
        if page == "bug_update.php":
            bug = int(value(fields, "bug_id") or 0)
            if bug not in store or value(fields, "bug_update_token") != "u1":
                return self.answer("APPLICATION ERROR")
            store[bug]["summary"] = value(fields, "summary")
            return self.answer("", 302, f"view.php?id={bug}")
        if page == "view.php":
            return self.answer(f"<a href=\"view.php?id={value(fields, 'id')}\">this</a>")
        return self.answer("not found", 404)

    # Bugzilla ---------------------------------------------------------------------------------
    def bugzilla(self, page, fields, files):
        store = bugs["bugzilla"]
        if page == "enter_bug.cgi" and self.command == "POST":
            sid = self.login(fields, "Bugzilla_login", "Bugzilla_password")
            if not sid:
                return self.answer("Invalid Username Or Password")
            return self.answer("<a href=\"index.cgi?logout=1\">Log out</a>", cookie=sid)
        if not self.session():
            return self.answer("<form name=\"login\">Log in</form>")
        if page == "buglist.cgi":
            # Full-text search: any word of the question.
            words = [w for w in value(fields, "content").replace("()", " ").split()]
            hits = [i for i, b in store.items() if any(w in b["summary"] for w in words)]
            links = "".join(f"<a href=\"show_bug.cgi?id={i}\">{i}</a>" for i in hits)
            return self.answer(f"<a href=\"query.cgi?format=advanced\">Edit search</a>{links}")
        if page == "enter_bug.cgi":
            return self.answer(
                "<form name=\"Create\" action=\"post_bug.cgi\" method=\"post\">"
                "<input type=\"hidden\" name=\"product\" value=\"Vidudo\">"
                "<select name=\"version\"><option value=\"unspecified\" selected>unspecified</option></select>"
                "<select name=\"component\"><option value=\"Core\" selected>Core</option></select>"
                "<select name=\"op_sys\"><option value=\"Windows\" selected>Windows</option></select>"
                "<input type=\"hidden\" name=\"bug_status\" value=\"NEW\"></form>")
        if page == "post_bug.cgi":
            if not value(fields, "short_desc") or value(fields, "component") != "Core":
                return self.answer("You must enter a summary")
            bug = next(ids)
            store[bug] = {"summary": value(fields, "short_desc"), "closed": "closed" in value(fields, "short_desc")}
            return self.answer(f"Bug {bug} Submitted <a href=\"show_bug.cgi?id={bug}\">{bug}</a>"
                               f"<input type=\"hidden\" name=\"id\" value=\"{bug}\">")
        if page == "attachment.cgi":
            bug = int(value(fields, "bugid") or 0)
            if bug not in store or not files:
                return self.answer("Invalid Bug ID")
            return self.answer(f"<a href=\"attachment.cgi?id={bug}1\">Attachment</a> created")
        if page == "show_bug.cgi":
            bug = store.get(int(value(fields, "id") or 0))
            if not bug:
                return self.answer("Invalid Bug ID")
            knob = "<input type=\"radio\" name=\"knob\" value=\"reopen\">" if bug["closed"] else ""
            return self.answer(f"<form name=\"changeform\"><input type=\"hidden\" name=\"form_name\" value=\"process_bug\">"
                               f"<input type=\"hidden\" name=\"id\" value=\"{value(fields, 'id')}\">"
                               f"<input name=\"short_desc\" value=\"{bug['summary']}\">{knob}</form>")
        if page == "process_bug.cgi":
            bug = int(value(fields, "id") or 0)
            if bug not in store:
                return self.answer("Invalid Bug ID")
            store[bug]["summary"] = value(fields, "short_desc")
            return self.answer(f"Changes submitted for <a href=\"show_bug.cgi?id={bug}\">bug {bug}</a>")
        return self.answer("not found", 404)

    # FogBugz ----------------------------------------------------------------------------------
    def fogbugz(self, page, fields, files):
        store = bugs["fogbugz"]
        pre, pg, command = value(fields, "pre"), value(fields, "pg"), value(fields, "command")
        if pre == "preLogon":
            sid = self.login(fields, "sPerson", "sPassword")
            if not sid:
                return self.answer("Incorrect password")
            return self.answer("<a href=\"default.asp?pre=preLogOff\">Log Off</a>", cookie=sid)
        if not self.session():
            return self.answer("<form>Log On</form>")
        if pre == "preSearch":
            search = value(fields, "searchFor")
            hits = [i for i, b in store.items() if search and search in b["summary"]]
            links = "".join(f"<a href=\"default.asp?pg=pgEditBug&amp;ixBug={i}\">{i}</a>" for i in hits)
            return self.answer(f"<a href=\"default.asp?searchFor={urllib.parse.quote(search)}\">again</a>{links}")
        if pg == "pgEditBug" and command in ("new", "edit"):
            bug = store.get(int(value(fields, "ixBug") or 0)) if command == "edit" else {"summary": ""}
            if bug is None:
                return self.answer("no such case")
            release = "<a href=\"default.asp?pg=pgEditReleaseNotes\">notes</a>" if bug.get("closed") else ""
            return self.answer(
                f"<form action=\"default.asp?pre=preSubmitBug&sActionToken={TOKEN}\">"
                f"<input type=\"hidden\" name=\"command\" value=\"{command}\">"
                f"<input name=\"sTitle\" value=\"{bug['summary']}\">"
                "<select name=\"ixProject\"><option value=\"1\">Inbox</option><option value=\"4\">Vidudo</option></select>"
                "<select name=\"ixArea\"><option value=\"9\">Vidudo: Crash</option></select>"
                f"<input type=\"submit\" name=\"OK\" value=\"OK\">{release}</form>")
        if pre == "preSubmitBug":
            if value(fields, "sActionToken") != TOKEN:
                return self.answer("stale action token")
            if value(fields, "command") == "edit":
                bug = int(value(fields, "ixBug") or 0)
                if bug not in store:
                    return self.answer("no such case")
            else:
                bug = next(ids)
                store[bug] = {"closed": "closed" in value(fields, "sTitle")}
            store[bug]["summary"] = value(fields, "sTitle")
            return self.answer(f"<a href=\"default.asp?command=resolve&amp;ixBug={bug}\">Resolve</a>")
        return self.answer("not found", 404)


def make_server(log_path):
    Handler.log_path = log_path
    open(log_path, "w").close()
    return http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)

