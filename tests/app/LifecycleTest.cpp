// The ways the program ends normally, and independent launches.
#include <windows.h>

#include "ProgramTest.h"

namespace apptest {
namespace {

// The middle of the caption's close button, found by asking the window what lies where.
bool CloseButtonPoint(HWND window, POINT& point)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    const LONG captionMiddle =
        rect.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    LONG right = -1;
    for (LONG x = rect.right - 1; x > rect.left; --x) {
        DWORD_PTR hit = HTNOWHERE;
        if (!SendMessageTimeoutW(window, WM_NCHITTEST, 0, MAKELPARAM(x, captionMiddle), SMTO_NORMAL,
                                 Limit(kEffectLimitMs), &hit))
            return false;
        if (hit == HTCLOSE && right < 0)
            right = x;
        if (hit != HTCLOSE && right >= 0) {
            point = {(x + 1 + right) / 2, captionMiddle};
            return true;
        }
    }
    return false;
}

enum class CloseWay { CloseButton, AltF4, SystemMenuClose, CloseRequest };

struct CloseCase {
    const char* name;
    CloseWay way;
    friend void PrintTo(const CloseCase& c, std::ostream* out) { *out << c.name; }
};

class Closing : public ProgramTest, public testing::WithParamInterface<CloseCase> {};

TEST_P(Closing, EndsWithExitCodeZero)
{
    HWND window = StartPicbox();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Bring(window));
    switch (GetParam().way) {
    case CloseWay::CloseButton: {
        POINT point{};
        ASSERT_TRUE(CloseButtonPoint(window, point)) << "no close button in the caption";
        std::string why;
        ASSERT_TRUE(ClickAt(window, point, &why)) << why;
        break;
    }
    case CloseWay::AltF4:
        PressKey(VK_F4, VK_MENU); // arrives as WM_SYSKEYDOWN, which the system turns into SC_CLOSE
        break;
    case CloseWay::SystemMenuClose:
        ASSERT_TRUE(PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0));
        break;
    case CloseWay::CloseRequest:
        ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
        break;
    }
    EXPECT_EQ(ExitCodeOf(), 0u);
    EXPECT_FALSE(IsWindow(window));
}

INSTANTIATE_TEST_SUITE_P(Ways, Closing,
                         testing::Values(CloseCase{"CloseButton", CloseWay::CloseButton},
                                         CloseCase{"AltF4", CloseWay::AltF4},
                                         CloseCase{"SystemMenuClose", CloseWay::SystemMenuClose},
                                         CloseCase{"CloseRequest", CloseWay::CloseRequest}),
                         CaseName());

class Lifecycle : public ProgramTest {};

TEST_F(Lifecycle, TwoLaunchesAreIndependent)
{
    HWND first = StartPicbox();
    ASSERT_NE(first, nullptr);
    HWND second = StartPicbox();
    ASSERT_NE(second, nullptr);
    // The second window takes the activation as it starts; let it finish before going back.
    ASSERT_TRUE(WaitForFocus(second, kButton1)) << "focus on " << NameOfFocus(second);
    EXPECT_NE(first, second);
    EXPECT_NE(App(0).Pid(), App(1).Pid());
    // The second instance sits exactly over the first: both are centred.
    RECT a{}, b{};
    GetWindowRect(first, &a);
    GetWindowRect(second, &b);
    EXPECT_EQ(a, b);

    ASSERT_TRUE(Bring(first));
    PressKey(VK_ESCAPE);
    EXPECT_EQ(ExitCodeOf(0), 0u);
    EXPECT_TRUE(App(1).Running());
    EXPECT_TRUE(IsWindowVisible(second));
    EXPECT_TRUE(WaitIdle(second, Limit(kEffectLimitMs)));

    ASSERT_TRUE(Bring(second));
    PressKey(VK_ESCAPE);
    EXPECT_EQ(ExitCodeOf(1), 0u);
}

} // namespace
} // namespace apptest
