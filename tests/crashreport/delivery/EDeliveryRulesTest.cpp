#include "crashreport/delivery/EDeliveryRules.h"

#include <gtest/gtest.h>

namespace {

TEST(DeliveryRules, ConnectionStatesMoveTheBar)
{
    TSendProgress bar;
    const struct {
        int state, percent, text, position;
    } steps[] = {{0, 0, 114, 5},  {1, 0, 115, 10}, {2, 0, 113, 15}, {3, 0, 118, 20}, {4, 0, 119, 25},
                 {5, 0, 120, 30}, {6, 0, 116, 35}, {6, 50, 116, 68}, {6, 10, 116, 68}, {6, 100, 116, 100},
                 {7, 0, 117, 100}, {0, 0, 114, 5}, {8, 0, 121, 100}, {9, 0, 122, 100}, {42, 0, -1, 100}};
    for (auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "state " << s.state << " percent " << s.percent);
        EXPECT_EQ(s.text, ConnectionStatus(s.state, s.percent, bar));
        EXPECT_EQ(s.position, bar.Position());
    }
}

TEST(DeliveryRules, UploadStatusGuardsAnEmptyTotal)
{
    TSendProgress bar;
    EXPECT_EQ(114, UploadStatus(0, 0, 0, bar));
    EXPECT_EQ(115, UploadStatus(1, 0, 0, bar));
    EXPECT_EQ(116, UploadStatus(2, 0, 0, bar));
    EXPECT_EQ(0, bar.Position());
    UploadStatus(2, 3, 2, bar);
    EXPECT_EQ(67, bar.Position());
    UploadStatus(2, 3, 1, bar);
    EXPECT_EQ(67, bar.Position());
    EXPECT_EQ(50, PercentOf(1, 2));
    EXPECT_EQ(100, PercentOf(5, 2));
}

TEST(DeliveryRules, CrashRate)
{
    const double t = 45000.0, second = 1.0 / 86400;
    struct {
        std::vector<double> times;
        int count, minutes;
        bool exceeded;
    } cases[] = {
        {{t, t + 20 * second, t + 40 * second}, 3, 1, true},
        {{t, t + 30 * second, t + 61 * second}, 3, 1, false},
        {{t, t + 30 * second}, 3, 1, false},
        {{t, t + 60 * second, t + 30 * second}, 3, 1, true},
        {{t}, 0, 1, false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.times.size());
        EXPECT_EQ(c.exceeded, CrashRateExceeded(c.times, c.count, c.minutes));
    }
}

TEST(DeliveryRules, OnlyTheReportersOwnArchivesMakeRoom)
{
    std::vector<std::string> names = {"photos.zip", "notes.txt"};
    for (int i = 12; i >= 1; --i) names.push_back("BugReport__2024010100" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "00.zip");
    names.push_back("bugreport.ZIP");
    const std::vector<std::string> gone = KeptArchivesToDelete(names);
    ASSERT_EQ(3u, gone.size());
    EXPECT_EQ("BugReport__20240101000100.zip", gone[0]);
    EXPECT_EQ("BugReport__20240101000200.zip", gone[1]);
    EXPECT_EQ("BugReport__20240101000300.zip", gone[2]);
    EXPECT_TRUE(KeptArchivesToDelete({"a.zip", "BugReport.zip"}).empty());
}

}  // namespace
