// A program without the dialog templates: the dispatch falls back to the message box.
#include <gtest/gtest.h>

#include "crashreport/capture/EDialogDispatch.h"
#include "crashreport/capture/EDialogHooks.h"
#include "crashreport/capture/EDialogState.h"
#include "crashreport/capture/EInternalWarning.h"
#include "tests/support/UiDriver.h"

TEST(DialogFallback, AMissingTemplateShowsTheBoxAndFails)
{
    ExceptionDialogHooks().exceptionMessage = [] { return std::string("Division by zero."); };
    for (TDialogState state : {TDialogState::Detailed, TDialogState::Classic}) {
        SCOPED_TRACE(static_cast<int>(state));
        ui::MessageBoxRecorder boxes;
        ResetDialogResults();
        ClearLastWarning();
        DialogState = state;
        SendChecked = true;
        ShowExceptionDialog(true);
        ASSERT_EQ(1u, boxes.Seen.size());
        EXPECT_EQ("Division by zero.", boxes.Seen[0].text);
        EXPECT_EQ("Error occurred", boxes.Seen[0].caption);
        EXPECT_EQ(ReporterBoxFlags, boxes.Seen[0].flags);
        EXPECT_TRUE(DialogFailed.load());
        EXPECT_EQ(TDialogState::None, DialogState.load());
        EXPECT_EQ(TDuruvaDodErrorCode::eeShowError, LastWarningCode());
        EXPECT_EQ("Cannot show the DialogBox window.", LastWarningText());
        ShowReproduceDialog();  // suppressed by the failure: no second box, no dialog
        EXPECT_EQ(1u, boxes.Seen.size());
    }
}
