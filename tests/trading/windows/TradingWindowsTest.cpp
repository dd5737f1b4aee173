#include "TradingWindowsTest.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "framework/CodePage.h"
#include "framework/Controls.h"
#include "framework/Forms.h"
#include "framework/Shell.h"
#include "tests/support/UiDriver.h"

namespace {

std::map<UINT_PTR, std::function<void()>>& Steps()
{
    static std::map<UINT_PTR, std::function<void()>> steps;
    return steps;
}

void CALLBACK RunStep(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    auto it = Steps().find(id);
    if (it == Steps().end())
        return;
    std::function<void()> step = std::move(it->second);
    Steps().erase(it);
    // Nothing may escape into the system's frame; gtest failures are recorded, not thrown.
    try {
        step();
    } catch (...) {
        ADD_FAILURE_AT(__FILE__, __LINE__) << "a Later step threw";
    }
}

// A step left over when its test ends would run in the next test with references to the
// ended one's locals: every test ends with none pending.
class TLaterSweeper : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override
    {
        for (const auto& [id, step] : Steps())
            KillTimer(nullptr, id);
        Steps().clear();
    }
};
const bool laterSweeperAdded = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new TLaterSweeper);
    return true;
}();

}  // namespace

UINT_PTR Later(std::function<void()> step, UINT delayMs)
{
    const UINT_PTR id = SetTimer(nullptr, 0, delayMs, RunStep);
    Steps()[id] = std::move(step);
    return id;
}

void CancelLater(UINT_PTR id)
{
    KillTimer(nullptr, id);
    Steps().erase(id);
}

std::string FocusedName()
{
    TWinControl* c = TWinControl::FindOwningControl(GetFocus());
    return c ? c->Name() : std::string("<none>");
}

HWND WaitForNamed(const std::string& name, int timeoutMs)
{
    HWND found = nullptr;
    ui::WaitFor([&] { return (found = ui::FindByName(name)) != nullptr && IsWindowVisible(found); }, timeoutMs);
    return found;
}

void TypeInto(HWND edit, const std::string& text)
{
    ui::Activate(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    ui::PressKey(VK_DELETE);
    if (!text.empty())
        ui::TypeText(text);
}

void PickItem(HWND combo, int index)
{
    ui::Activate(combo);
    // Arrow keys from the current item: a key that doesn't move the selection changes nothing.
    for (int i = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); i < index; ++i)
        ui::PressKey(VK_DOWN);
    for (int i = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); i > index && i > 0; --i)
        ui::PressKey(VK_UP);
}

bool EndModal(HWND dialog)
{
    auto* form = dynamic_cast<TCustomForm*>(TWinControl::FromHandle(dialog));
    if (!form)
        return false;
    if (form->ModalResult() != mrNone)
        return true;
    form->SetModalResult(mrCancel);
    return false;
}
