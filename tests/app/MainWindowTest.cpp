// The main window as another process sees it: placement, styles, controls, font, icons, texts.
#include <windows.h>

#include "ProgramTest.h"

namespace apptest {
namespace {

struct PlacementCase {
    const char* name;
    const wchar_t* desktop; // a named desktop of the rig with that screen size; empty: 1920x1080
    RECT expected;
    friend void PrintTo(const PlacementCase& c, std::ostream* out) { *out << c.name; }
};

class Placement : public ProgramTest, public testing::WithParamInterface<PlacementCase> {};

TEST_P(Placement, CentredWithOuterSize600x380)
{
    const PlacementCase& c = GetParam();
    HWND window = StartPicbox(c.desktop);
    ASSERT_NE(window, nullptr);
    RECT rect{};
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, Placement,
    testing::Values(PlacementCase{"Shell1920x1080", L"", {660, 350, 1260, 730}},
                    PlacementCase{"Screen800x600", L"s800x600", {100, 110, 700, 490}},
                    // (379 - 380) / 2 truncates toward zero
                    PlacementCase{"Screen1920x379", L"s1920x379", {660, 0, 1260, 380}}),
    CaseName());

class Layout : public ProgramTest {};

TEST_F(Layout, WindowStylesAndClass)
{
    HWND window = StartPicbox();
    ASSERT_NE(window, nullptr);
    const WindowFacts facts = ReadWindow(window);
    // The system adds WS_CLIPSIBLINGS to every top-level window and WS_EX_WINDOWEDGE to every
    // window with a dialog frame (WS_CAPTION holds WS_DLGFRAME); the rest is the program's.
    EXPECT_EQ(AsBits(facts.style), AsBits(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                                          WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE));
    EXPECT_EQ(AsBits(facts.exStyle), AsBits(WS_EX_WINDOWEDGE));
    EXPECT_EQ(Bits{GetClassLongPtrW(window, GCL_STYLE)},
              AsBits(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS));
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
    EXPECT_EQ(TextOf(window), L"");
    EXPECT_EQ(GetWindowTextLengthW(window), 0);
}

TEST_F(Layout, ChildrenMatchTheFormInStackingOrder)
{
    HWND window = StartPicbox();
    ASSERT_NE(window, nullptr);
    const std::vector<HWND> children = ChildrenInZOrder(window);
    const int fromTop[] = {kButton4, kButton3, kButton2, kPictureBox1, kButton1};
    ASSERT_EQ(children.size(), std::size(fromTop));
    for (std::size_t i = 0; i < children.size(); ++i) {
        const ExpectedControl& want = kControls[fromTop[i]];
        SCOPED_TRACE(testing::Message() << "stacking position " << i << ": " << want.name);
        const WindowFacts facts = ReadWindow(children[i]);
        EXPECT_EQ(facts.id, want.id);
        EXPECT_EQ(facts.clientRect, want.rect);
        EXPECT_EQ(GetAncestor(children[i], GA_PARENT), window);
        EXPECT_EQ(AsBits(facts.exStyle), AsBits(0));
        if (want.button) {
            EXPECT_EQ(facts.className, L"Button");
            EXPECT_EQ(AsBits(facts.style),
                      AsBits(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | BS_PUSHBUTTON |
                             BS_CENTER | BS_VCENTER | BS_MULTILINE));
        } else {
            EXPECT_NE(facts.className, L"Button");
            EXPECT_NE(facts.className, L"Static");
            EXPECT_NE(facts.className, ClassOf(window));
            EXPECT_EQ(AsBits(facts.style), AsBits(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS));
            EXPECT_EQ(facts.text, L"");
        }
        EXPECT_TRUE(IsWindowEnabled(children[i]));
    }
}

TEST_F(Layout, FrameDoesNotResize)
{
    HWND window = StartPicbox();
    ASSERT_NE(window, nullptr);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(window, &r));
    const LONG midX = (r.left + r.right) / 2, midY = (r.top + r.bottom) / 2;
    const POINT edges[] = {
        {r.left, midY},  {r.right - 1, midY},  {midX, r.top},          {midX, r.bottom - 1},
        {r.left, r.top}, {r.right - 1, r.top}, {r.left, r.bottom - 1}, {r.right - 1, r.bottom - 1}};
    for (const POINT& p : edges) {
        SCOPED_TRACE(testing::Message() << "frame point (" << p.x << ", " << p.y << ")");
        DWORD_PTR hit = HTNOWHERE;
        ASSERT_TRUE(SendMessageTimeoutW(window, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y), SMTO_NORMAL,
                                        Limit(kEffectLimitMs), &hit));
        // A sizing frame would answer HTLEFT, HTTOPRIGHT and so on.
        EXPECT_EQ(hit, static_cast<DWORD_PTR>(HTBORDER));
    }
}

TEST_F(Layout, ClientAreaHoldsTheControls)
{
    HWND window = StartPicbox();
    ASSERT_NE(window, nullptr);
    RECT client{};
    ASSERT_TRUE(GetClientRect(window, &client));
    // The outer size is fixed, so the frame and caption come out of the client area.
    EXPECT_LT(client.right, 600);
    EXPECT_LT(client.bottom, 380);
    for (const ExpectedControl& want : kControls) {
        SCOPED_TRACE(want.name);
        EXPECT_LE(want.rect.right, client.right);
        EXPECT_LE(want.rect.bottom, client.bottom);
    }
}

// Fonts and icons are read inside the program: their handles do not cross processes on Wine.
TEST_F(Layout, ButtonsUseTheDefaultGuiFont)
{
    HWND window = StartPicbox();
    ASSERT_NE(window, nullptr);
    const ProbeReport report = ProbeMainWindow(window);
    ASSERT_TRUE(report.complete);
    ASSERT_NE(report.defaultGuiFont, 0u);
    for (int index : {kButton1, kButton2, kButton3, kButton4}) {
        SCOPED_TRACE(kControls[index].name);
        EXPECT_EQ(report.controlFonts[index], report.defaultGuiFont);
    }
}

struct IconCase {
    const char* name;
    ProbeIcon ProbeReport::*icon;
    std::int32_t size;
    friend void PrintTo(const IconCase& c, std::ostream* out) { *out << c.name; }
};

class Icons : public ProgramTest, public testing::WithParamInterface<IconCase> {};

TEST_P(Icons, SetFromTheProgramIcon)
{
    const IconCase& c = GetParam();
    HWND window = StartPicbox();
    ASSERT_NE(window, nullptr);
    const ProbeReport report = ProbeMainWindow(window);
    ASSERT_TRUE(report.complete);
    const ProbeIcon& icon = report.*c.icon;
    ASSERT_NE(icon.handle, 0u) << "WM_GETICON gave no icon";
    ASSERT_TRUE(icon.readable) << "GetIconInfo failed";
    EXPECT_TRUE(icon.isIcon);
    EXPECT_EQ(icon.width, c.size);
    EXPECT_EQ(icon.height, c.size);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Icons,
                         testing::Values(IconCase{"Big32", &ProbeReport::bigIcon, 32},
                                         IconCase{"Small16", &ProbeReport::smallIcon, 16}),
                         CaseName());

TEST_F(Layout, FocusOnFirstButtonAfterStart)
{
    HWND window = StartPicbox();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitForFocus(window, kButton1)) << "focus on " << NameOfFocus(window);
    EXPECT_EQ(GetForegroundWindow(), window);
}

// Run under more than one LANG: the texts must not depend on the system code page.
class Texts : public ProgramTest {};

TEST_F(Texts, ButtonCaptions)
{
    HWND window = StartPicbox();
    ASSERT_NE(window, nullptr);
    for (int index : {kButton1, kButton2, kButton3, kButton4}) {
        SCOPED_TRACE(kControls[index].name);
        HWND button = Control(window, index);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(TextOf(button), kControls[index].text);
        // The same text through the control's own WM_GETTEXT.
        wchar_t text[64] = {};
        DWORD_PTR copied = 0;
        ASSERT_TRUE(SendMessageTimeoutW(button, WM_GETTEXT, std::size(text),
                                        reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                                        Limit(kEffectLimitMs), &copied));
        EXPECT_EQ(std::wstring(text, copied), kControls[index].text);
    }
}

} // namespace
} // namespace apptest
