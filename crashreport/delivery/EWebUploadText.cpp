#include "crashreport/delivery/EWebUploadText.h"

#include "crashreport/capture/ECore.h"
#include "framework/Exception.h"

namespace {

std::string NamePart(std::string_view displayName)
{
    std::string name = ExtractFileName(displayName);
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    return name;
}

}  // namespace

std::string UploadMultipartBody(std::string_view boundary, const TStringList& fields, const TStringList& names,
                                const TStringList& files, const TFileReader& readFile)
{
    const std::string dash = "--" + std::string(boundary) + "\r\n";
    std::string out;
    for (const std::string& line : fields) {
        const size_t equals = line.find('=');
        const std::string name = line.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
        out += dash + "Content-Disposition: form-data; name=\"" + name + "\";\r\n\r\n" + value + "\r\n";
    }
    for (int i = 0; i < files.Count(); ++i) {
        std::string bytes;
        if (!readFile || !readFile(files[i], bytes))
            continue;
        const std::string display = i < names.Count() ? names[i] : NamePart(files[i]);
        out += dash + "Content-Disposition: form-data; name=\"el_upload_file_" + std::to_string(i) +
               "\"; filename=\"" + display + "\";\r\nContent-Type: application/octet-stream\r\n\r\n" + bytes + "\r\n";
    }
    out += "--" + std::string(boundary) + "--\r\n";
    return out;
}

std::string FtpRemoteName(std::string_view folder, std::string_view displayName)
{
    std::string remote(folder);
    if (!remote.empty() && remote.back() != '/')
        remote += '/';
    return remote + NamePart(displayName);
}

std::string UploadFailureText(std::string_view protocol, int code, std::string_view errorText)
{
    std::string text = std::string(protocol) + " error code: " + std::to_string(code);
    if (code == -1)
        text += Format(" - Cannot find the \"%s\" library.", "wininet.dll");
    else if (!errorText.empty())
        text += " (" + std::string(errorText) + ")";
    return text;
}

int TrackerResultMessageSlot(int result)
{
    switch (result) {
    case 3: return 148;
    case 4: return 150;
    case 5: return 149;
    case 6: return 151;
    case 7: return 152;
    default: return 147;
    }
}

std::string TrackerFailureText(std::string_view resultText, int errorCode, std::string_view errorMessage)
{
    return std::string(resultText) + "\r\n\r\n" +
           Format("Error Code: %d\r\nError Message: \"%s\"", errorCode, std::string(errorMessage).c_str());
}
