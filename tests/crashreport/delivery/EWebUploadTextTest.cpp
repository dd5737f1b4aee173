#include "crashreport/delivery/EWebUploadText.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TEST(WebUploadText, MultipartKeepsTheFilesPlaces)
{
    const std::map<std::string, std::string> disk = {{"C:\\r\\a.zip", "AA"}, {"C:\\r\\c.png", "C\r\nC"}};
    auto read = [&](const std::string& path, std::string& bytes) {
        const auto it = disk.find(path);
        if (it == disk.end())
            return false;
        bytes = it->second;
        return true;
    };
    TStringList fields, names, files;
    fields.Add("a=1=2");
    fields.Add("empty=");
    for (const char* f : {"C:\\r\\a.zip", "C:\\r\\b.txt", "C:\\r\\c.png"})
        files.Add(f);
    names.Add("a__PC.zip");
    names.Add("b.txt");
    names.Add("c__PC.png");
    EXPECT_EQ("--B\r\nContent-Disposition: form-data; name=\"a\";\r\n\r\n1=2\r\n"
              "--B\r\nContent-Disposition: form-data; name=\"empty\";\r\n\r\n\r\n"
              "--B\r\nContent-Disposition: form-data; name=\"el_upload_file_0\"; filename=\"a__PC.zip\";\r\n"
              "Content-Type: application/octet-stream\r\n\r\nAA\r\n"
              "--B\r\nContent-Disposition: form-data; name=\"el_upload_file_2\"; filename=\"c__PC.png\";\r\n"
              "Content-Type: application/octet-stream\r\n\r\nC\r\nC\r\n--B--\r\n",
              UploadMultipartBody("B", fields, names, files, read));
    EXPECT_EQ("--B--\r\n", UploadMultipartBody("B", {}, {}, {}, read));
}

TEST(WebUploadText, Texts)
{
    const struct {
        const char* folder;
        const char* name;
        const char* remote;
    } names[] = {{"up", "a.zip", "up/a.zip"}, {"up/", "a.zip", "up/a.zip"}, {"", "C:\\r\\a.zip", "a.zip"},
                 {"/in/up", "x/a.zip", "/in/up/a.zip"}};
    for (const auto& n : names)
        EXPECT_EQ(n.remote, FtpRemoteName(n.folder, n.name)) << n.folder << " " << n.name;

    EXPECT_EQ("HTTP error code: 302 (Found)", UploadFailureText("HTTP", 302, "Found"));
    EXPECT_EQ("HTTPS error code: -1 - Cannot find the \"wininet.dll\" library.", UploadFailureText("HTTPS", -1, "x"));
    EXPECT_EQ("FTP error code: 12014", UploadFailureText("FTP", 12014, ""));

    const int slots[][2] = {{2, 147}, {3, 148}, {4, 150}, {5, 149}, {6, 151}, {7, 152}};
    for (const auto& s : slots)
        EXPECT_EQ(s[1], TrackerResultMessageSlot(s[0])) << s[0];
    EXPECT_EQ("Invalid login.\r\n\r\nError Code: 12029\r\nError Message: \"Cannot connect\"",
              TrackerFailureText("Invalid login.", 12029, "Cannot connect"));
}

}  // namespace
