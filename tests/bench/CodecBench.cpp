// Throughput of the message codec beside zlib alone on the same bytes.
// Target: the codec within 1.3x of zlib's own deflate/inflate.

#include <zlib.h>

#include <thread>  // clocks and durations; <chrono> itself has a literal CP936 lacks
#include <cstdint>
#include <cstdio>
#include <string>

#include "framework/StringList.h"
#include "trading/connection/Fun.h"
#include "trading/connection/StringZip.h"
#include "tests/bench/BenchHost.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double Seconds(int repeat, F f)
{
    const auto start = Clock::now();
    for (int i = 0; i < repeat; ++i)
        f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Order lines as the server sends them: numbers, prices and times differ from line to line.
TCmdStr SampleLine(int i)
{
    static const char* codes[] = {"cu1205", "al1206", "IF1203", "m1209", "SR209", "ru1205", "au1206", "rb1210"};
    static const char* states[] = {"全部成交", "未成交", "部分成交", "已撤单"};
    uint32_t seed = 2166136261u ^ static_cast<uint32_t>(i) * 16777619u;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    char price[32], time[32], frozen[32];
    std::snprintf(price, sizeof price, "%u.%u", 2000 + next() % 60000, next() % 10);
    std::snprintf(time, sizeof time, "2026-12-%02u %02u:%02u:%02u", 1 + next() % 28, 9 + next() % 6, next() % 60, next() % 60);
    std::snprintf(frozen, sizeof frozen, "%u.%02u", next() % 900000, next() % 100);
    TCmdStr r = ClearCmd();
    r[2] = "WTXX";
    r[3] = std::to_string(100000 + i);
    r[4] = codes[next() % 8];
    r[5] = next() % 2 ? "开仓" : "平仓";
    r[6] = next() % 2 ? "买入" : "卖出";
    r[7] = price;
    r[8] = std::to_string(1 + next() % 50);
    r[9] = states[next() % 4];
    r[10] = frozen;
    r[11] = time;
    r[12] = states[next() % 4];
    if (i == 0)
        r[29] = "FIRST";
    return r;
}

std::string ZlibDeflate(const std::string& in)
{
    uLongf size = compressBound(static_cast<uLong>(in.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(in.data()),
              static_cast<uLong>(in.size()), Z_DEFAULT_COMPRESSION);
    out.resize(size);
    return out;
}

std::string ZlibInflate(const std::string& in, size_t expected)
{
    std::string out(expected, '\0');
    uLongf size = static_cast<uLongf>(expected);
    uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(in.data()),
               static_cast<uLong>(in.size()));
    out.resize(size);
    return out;
}

}  // namespace

int main()
{
    PrintBenchHost();
    // Requests: pack and unpack one record at a time.
    const TCmdStr request = SampleLine(1);
    const std::string joinedGbk = JoinCmd(request);
    const int requests = 20000;
    std::string packed;
    const double packTime = Seconds(requests, [&] { packed = PackCmd(request); });
    const std::string joinedUtf8 = DecodeReplyBody(packed);
    const double zlibPackTime = Seconds(requests, [&] { ZlibDeflate(joinedUtf8); });
    TCmdStr back;
    const double unpackTime = Seconds(requests, [&] { back = UnpackUtf8Cmd(DecodeReplyBody(packed)); });
    const std::string deflated = ZlibDeflate(joinedUtf8);
    const double zlibUnpackTime = Seconds(requests, [&] { ZlibInflate(deflated, joinedUtf8.size()); });

    // A reply of 10,000 lines: decode the body and unpack every line.
    std::string replyText;
    for (int i = 0; i < 10000; ++i)
        replyText += DecodeReplyBody(PackCmd(SampleLine(i))) + "\r\n";
    const std::string body = ZipString(replyText, true);
    const std::string replyDeflated = ZlibDeflate(replyText);
    const int replies = 20;
    size_t lines = 0;
    const double replyTime = Seconds(replies, [&] {
        const std::string text = DecodeReplyBody(body);
        for (auto line : SplitLines(text)) {
            back = UnpackUtf8Cmd(line);
            ++lines;
        }
    });
    const double zlibReplyTime = Seconds(replies, [&] { ZlibInflate(replyDeflated, replyText.size()); });
    const double bodyTime = Seconds(replies, [&] { DecodeReplyBody(body); });

    std::printf("%-34s %12s %12s %8s\n", "operation", "codec", "zlib alone", "ratio");
    auto row = [](const char* name, double codec, double zlib, double units, const char* unit) {
        std::printf("%-34s %9.0f %s %9.0f %s %7.2fx\n", name, units / codec, unit, units / zlib, unit, codec / zlib);
    };
    row("pack one request", packTime, zlibPackTime, requests, "/s");
    row("unpack one reply line", unpackTime, zlibUnpackTime, requests, "/s");
    row("decode a 10,000-line reply", replyTime, zlibReplyTime, replies, "/s");
    row("  of which Base64 and inflation", bodyTime, zlibReplyTime, replies, "/s");
    std::printf("(%zu reply bytes, %zu body bytes, %zu lines unpacked; target: ratio <= 1.30)\n", replyText.size(),
                body.size(), lines);
    return back[2] == "WTXX" ? 0 : 1;
}
