#pragma once
// The texts of the plain HTTP and FTP uploads: the form body, the remote FTP names and the
// warnings of a failed web step. No Win32 here.

#include <cstdint>
#include <string>
#include <string_view>

#include "crashreport/delivery/EWebText.h"
#include "framework/StringList.h"

// The fields ("name=value") and then every file that can be read, as "el_upload_file_<n>" where
// n is the file's place in the list (so a missing file leaves a gap), under its display name.
std::string UploadMultipartBody(std::string_view boundary, const TStringList& fields, const TStringList& names,
                                const TStringList& files, const TFileReader& readFile);

// The folder with "/" between it and the name part of the display name; the name alone for an
// empty folder.
std::string FtpRemoteName(std::string_view folder, std::string_view displayName);

// "HTTP error code: 302 (Found)", "... -1 - Cannot find the "wininet.dll" library.".
std::string UploadFailureText(std::string_view protocol, int code, std::string_view errorText);

// The table text of a tracker result (message slots 147..152), an empty line, then the
// response's code and message.
int TrackerResultMessageSlot(int result);
std::string TrackerFailureText(std::string_view resultText, int errorCode, std::string_view errorMessage);
