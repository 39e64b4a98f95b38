// The main window's keys through the system's input path: Tab order, Esc, Enter, Space, focus.
#include <windows.h>

#include "ProgramTest.h"

namespace apptest {
namespace {

class Keyboard : public ProgramTest {
protected:
    // Starts the program in the foreground with the focus on 按钮1.
    HWND StartFocused()
    {
        HWND window = StartPicbox();
        if (!window)
            return nullptr;
        EXPECT_TRUE(Bring(window));
        EXPECT_TRUE(WaitForFocus(window, kButton1)) << "focus on " << NameOfFocus(window);
        return window;
    }

    // Presses a key and waits until the focus is on the control; input is handled in order,
    // so this also proves that every key pressed before it has been handled.
    static bool TabTo(HWND window, bool shift, int expected)
    {
        PressKey(VK_TAB, shift ? VK_SHIFT : 0);
        return WaitForFocus(window, expected);
    }
};

struct TabCase {
    const char* name;
    bool shift;
    int sequence[4]; // where the focus is after each press, starting from 按钮1
    friend void PrintTo(const TabCase& c, std::ostream* out) { *out << c.name; }
};

class TabOrder : public Keyboard, public testing::WithParamInterface<TabCase> {};

TEST_P(TabOrder, CyclesThroughTheButtonsOnly)
{
    const TabCase& c = GetParam();
    HWND window = StartFocused();
    ASSERT_NE(window, nullptr);
    for (int step = 0; step < 4; ++step) {
        SCOPED_TRACE(testing::Message() << "press " << step + 1);
        ASSERT_TRUE(TabTo(window, c.shift, c.sequence[step]))
            << "expected " << kControls[c.sequence[step]].name << ", focus on "
            << NameOfFocus(window);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TabOrder,
    testing::Values(TabCase{"Tab", false, {kButton2, kButton3, kButton4, kButton1}},
                    TabCase{"ShiftTab", true, {kButton4, kButton3, kButton2, kButton1}}),
    CaseName());

struct EscCase {
    const char* name;
    int tabs; // Tab presses before Esc
    int focused;
    friend void PrintTo(const EscCase& c, std::ostream* out) { *out << c.name; }
};

class EscCloses : public Keyboard, public testing::WithParamInterface<EscCase> {};

TEST_P(EscCloses, WithExitCodeZero)
{
    const EscCase& c = GetParam();
    HWND window = StartFocused();
    ASSERT_NE(window, nullptr);
    for (int i = 0; i < c.tabs; ++i)
        PressKey(VK_TAB);
    ASSERT_TRUE(WaitForFocus(window, c.focused)) << "focus on " << NameOfFocus(window);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(ExitCodeOf(), 0u);
    EXPECT_FALSE(IsWindow(window));
}

INSTANTIATE_TEST_SUITE_P(FromEachButton, EscCloses,
                         testing::Values(EscCase{"Button1", 0, kButton1},
                                         EscCase{"Button2", 1, kButton2},
                                         EscCase{"Button3", 2, kButton3},
                                         EscCase{"Button4", 3, kButton4}),
                         CaseName());

struct InertCase {
    const char* name;
    WORD key;
    WORD modifier;
    int tabsBefore; // moves the focus to the button the key goes to
    friend void PrintTo(const InertCase& c, std::ostream* out) { *out << c.name; }
};

class KeysWithoutEffect : public Keyboard, public testing::WithParamInterface<InertCase> {};

TEST_P(KeysWithoutEffect, KeepWindowAndFocus)
{
    const InertCase& c = GetParam();
    HWND window = StartFocused();
    ASSERT_NE(window, nullptr);
    const int order[] = {kButton1, kButton2, kButton3, kButton4};
    for (int i = 1; i <= c.tabsBefore; ++i)
        ASSERT_TRUE(TabTo(window, false, order[i]));
    const int focused = order[c.tabsBefore];
    PressKey(c.key, c.modifier);
    // The Tab after it is handled only once the key before it has been.
    const int next = order[(c.tabsBefore + 1) % 4];
    EXPECT_TRUE(TabTo(window, false, next))
        << "expected " << kControls[next].name << " after one Tab from " << kControls[focused].name
        << ", focus on " << NameOfFocus(window);
    EXPECT_TRUE(App().Running());
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(WaitIdle(window, Limit(kEffectLimitMs)));
}

// Space clicks 按钮2, whose command only writes to the desktop folder: no network, no browser.
INSTANTIATE_TEST_SUITE_P(Keys, KeysWithoutEffect,
                         testing::Values(InertCase{"ShiftEsc", VK_ESCAPE, VK_SHIFT, 0},
                                         InertCase{"EnterOnButton1", VK_RETURN, 0, 0},
                                         InertCase{"EnterOnButton3", VK_RETURN, 0, 2},
                                         InertCase{"SpaceOnButton2", VK_SPACE, 0, 1}),
                         CaseName());

struct RememberCase {
    const char* name;
    bool shift;
    int presses;
    int focused;
    friend void PrintTo(const RememberCase& c, std::ostream* out) { *out << c.name; }
};

class FocusRemembered : public Keyboard, public testing::WithParamInterface<RememberCase> {
protected:
    void TearDown() override
    {
        if (other_)
            DestroyWindow(other_);
    }

    // A window of the driver's own that takes the activation away from the program.
    HWND OtherWindow()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"AppTestOtherWindow";
        RegisterClassW(&windowClass); // fails harmlessly when already registered
        other_ = CreateWindowExW(0, windowClass.lpszClassName, L"other",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr,
                                 windowClass.hInstance, nullptr);
        return other_;
    }

    HWND other_ = nullptr;
};

TEST_P(FocusRemembered, AcrossDeactivation)
{
    const RememberCase& c = GetParam();
    HWND window = StartFocused();
    ASSERT_NE(window, nullptr);
    for (int i = 0; i < c.presses; ++i)
        PressKey(VK_TAB, c.shift ? VK_SHIFT : 0);
    ASSERT_TRUE(WaitForFocus(window, c.focused)) << "focus on " << NameOfFocus(window);

    HWND other = OtherWindow();
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(Activate(other));
    ASSERT_TRUE(WaitIdle(window, Limit(kEffectLimitMs)));
    EXPECT_NE(Focus(window), Control(window, c.focused)) << "the program kept the focus";

    ASSERT_TRUE(Activate(window));
    EXPECT_TRUE(WaitForFocus(window, c.focused)) << "focus on " << NameOfFocus(window);
}

INSTANTIATE_TEST_SUITE_P(Buttons, FocusRemembered,
                         testing::Values(RememberCase{"Button3", false, 2, kButton3},
                                         RememberCase{"Button4", true, 1, kButton4}),
                         CaseName());

} // namespace
} // namespace apptest
