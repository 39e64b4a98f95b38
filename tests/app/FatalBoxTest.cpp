// The fatal error box of a refused allocation, read from outside, and the exit code after OK.
#include <windows.h>

#include "ProgramTest.h"

namespace apptest {
namespace {

// MessageBox gives its text control this identifier.
constexpr int kMessageBoxTextId = 0xFFFF;

class FatalBox : public ProgramTest {
protected:
    // Starts the variant whose 1000-byte request is refused and waits for its error box.
    HWND StartRefused()
    {
        AppProcess& app = Launch(Options().refuse1000);
        if (!app.Started())
            return nullptr;
        HWND box = app.WaitForWindowOfClass(L"#32770", Limit(kStartLimitMs));
        if (!box)
            ADD_FAILURE() << "no error box within the time limit; process "
                          << (app.Running() ? "still running" : "ended");
        return box;
    }
};

TEST_F(FatalBox, RefusedAllocationOf1000Bytes)
{
    HWND box = StartRefused();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), L"错误");
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);

    HWND text = GetDlgItem(box, kMessageBoxTextId);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(TextOf(text),
              L"运行时出错!\r\n\r\n错误信息：分配 1000 字节内存失败!\r\n\r\n0, 0\r\n");

    int icons = 0;
    std::vector<HWND> buttons;
    for (HWND child : ChildrenInZOrder(box)) {
        const WindowFacts facts = ReadWindow(child);
        if (facts.className == L"Static" && (facts.style & SS_TYPEMASK) == SS_ICON) {
            ++icons;
            DWORD_PTR icon = 0;
            SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_NORMAL, Limit(kEffectLimitMs),
                                &icon);
            EXPECT_NE(icon, 0u) << "the icon control shows no icon";
        }
        if (facts.className == L"Button" && IsWindowVisible(child))
            buttons.push_back(child);
    }
    EXPECT_EQ(icons, 1) << "MB_ICONERROR shows one icon";
    ASSERT_EQ(buttons.size(), 1u) << "MB_OK shows one button";
    EXPECT_EQ(GetDlgCtrlID(buttons[0]), IDOK);

    // Pressed as a user would: a click in the middle of the button.
    ASSERT_TRUE(Activate(box));
    RECT rect{};
    GetWindowRect(buttons[0], &rect);
    std::string why;
    ASSERT_TRUE(ClickAt(box, {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}, &why))
        << why;
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(App().WaitForExit(Limit(kExitLimitMs), code)) << "still running after OK";
    EXPECT_EQ(code, 0xFFFFFFFFu);
}

} // namespace
} // namespace apptest
