// Helper of the Python round-trip test: "pack" prints the transfer text of a fixed record
// with GBK fields; "unpack" reads a reply body on stdin and checks it decodes to that record.

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "framework/SysUtils.h"
#include "trading/connection/Fun.h"

namespace {

TCmdStr SampleRecord()
{
    TCmdStr r = ClearCmd();
    r[0] = "80001";
    r[1] = "密码pw";
    r[2] = "XD";
    r[3] = "東方基金";  // 96 7C: the trail byte is "|"
    r[4] = "開倉買入";
    r[5] = "cu1205";
    r[6] = "3500.5";
    r[7] = "表";  // B1 ED
    r[8] = "中金所 IF";
    r[29] = "FIRST";
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    try {
        if (mode == "pack") {
            std::cout << PackCmd(SampleRecord()) << std::endl;
            return 0;
        }
        if (mode == "unpack") {
            std::string body((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
            body = Trim(body);
            const TCmdStr got = UnpackUtf8Cmd(DecodeReplyBody(body));
            const TCmdStr want = SampleRecord();
            int bad = 0;
            for (int i = 0; i < kCmdFieldCount; ++i)
                if (got[i] != want[i]) {
                    std::fprintf(stderr, "field %d differs (%zu bytes, want %zu)\n", i, got[i].size(), want[i].size());
                    ++bad;
                }
            return bad ? 1 : 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 2;
    }
    std::fprintf(stderr, "usage: codec_tool pack|unpack\n");
    return 2;
}
