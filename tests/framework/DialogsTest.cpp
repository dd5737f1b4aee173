#include <gtest/gtest.h>

#include "framework/Dialogs.h"

TEST(Dialogs, HookSeesTheBoxAndAnswersIt)
{
    std::vector<TMessageBoxRequest> seen;
    SetMessageBoxCaption("标题");
    auto previous = SetMessageBoxHook([&](const TMessageBoxRequest& r) {
        seen.push_back(r);
        return r.buttons == TMsgDlgButtons::YesNo ? TModalAnswer::No : TModalAnswer::Ok;
    });
    ShowWarning("警告文字");
    EXPECT_FALSE(AskYesNo("确实要撤单吗?"));
    ShowInformation("信息");
    SetMessageBoxHook(previous);
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ("警告文字", seen[0].text);
    EXPECT_EQ("标题", seen[0].caption);
    EXPECT_EQ(TMsgDlgType::Warning, seen[0].type);
    EXPECT_EQ(TMsgDlgButtons::YesNo, seen[1].buttons);
    EXPECT_EQ(TMsgDlgType::Information, seen[2].type);
}
