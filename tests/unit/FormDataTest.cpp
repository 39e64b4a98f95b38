// The main window's description: its controls, centring and focus order.
#include "ui/FormData.h"

#include "ui/UiTexts.h"

#include <gtest/gtest.h>

#include <array>
#include <string_view>

namespace picbox {
namespace {

TEST(MainWindowDescription, HoldsTheFiveControlsInCreationOrder)
{
    const WindowDescription* d = PrepareMainWindowDescription();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->width, 600);
    EXPECT_EQ(d->height, 380);
    EXPECT_STREQ(d->title, "");
    struct Expected {
        const char* name;
        int left, top, width, height, id;
        const char* text;
        bool tabStop;
    };
    const Expected expected[] = {
        {texts::kButton1Name, 16, 304, 72, 32, 100, "\xBB\xF1\xC8\xA1\xCD\xBC\xC6\xAC", true},
        {texts::kPictureBoxName, 8, 8, 584, 288, 110, nullptr, false},
        {texts::kButton2Name, 160, 304, 88, 32, 120, "\xCF\xC2\xD4\xD8", true},
        {texts::kButton3Name, 320, 304, 72, 32, 130, "\xB6\xFE\xB4\xCE\xD4\xAA", true},
        {texts::kButton4Name, 456, 304, 80, 32, 140, "\xB8\xFC\xB6\xE0\xB9\xA6\xC4\xDC", true},
    };
    ASSERT_EQ(d->controls.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const ControlDescription& c = d->controls[i];
        EXPECT_STREQ(c.name, expected[i].name);
        EXPECT_EQ(c.left, expected[i].left);
        EXPECT_EQ(c.top, expected[i].top);
        EXPECT_EQ(c.width, expected[i].width);
        EXPECT_EQ(c.height, expected[i].height);
        EXPECT_EQ(c.childId, expected[i].id);
        EXPECT_EQ(c.tabStop, expected[i].tabStop);
        if (expected[i].text) {
            EXPECT_STREQ(c.text, expected[i].text);
        }
    }
    EXPECT_EQ(d->pictureBox.displayMode, 2);
    EXPECT_EQ(d->pictureBox.backgroundColor, kSystemButtonFace);
    EXPECT_EQ(d->pictureBox.borderStyle, 0);
}

TEST(MainWindowDescription, DamagedDataIsRejected)
{
    const WindowDescription* d = PrepareMainWindowDescription();
    ASSERT_NE(d, nullptr);
    std::array<ControlDescription, kControlCount> controls;
    std::copy(d->controls.begin(), d->controls.end(), controls.begin());
    WindowDescription damaged = *d;
    damaged.controls = controls;
    EXPECT_TRUE(DescriptionIsSound(damaged));
    controls[2].childId = 121; // identifiers must follow creation order
    EXPECT_FALSE(DescriptionIsSound(damaged));
    controls[2].childId = 120;
    controls[3].text = nullptr;
    EXPECT_FALSE(DescriptionIsSound(damaged));
    damaged.controls = std::span<const ControlDescription>(controls).first(4);
    EXPECT_FALSE(DescriptionIsSound(damaged));
}

struct CentreCase {
    int screenWidth, screenHeight, x, y;
};

class Centring : public testing::TestWithParam<CentreCase> {};

TEST_P(Centring, TruncatesTowardZero)
{
    const CentreCase& c = GetParam();
    const Point p = CentredOrigin(c.screenWidth, c.screenHeight, 600, 380);
    EXPECT_EQ(p.x, c.x);
    EXPECT_EQ(p.y, c.y);
}

INSTANTIATE_TEST_SUITE_P(Screens, Centring,
                         testing::Values(CentreCase{1920, 1080, 660, 350},
                                         CentreCase{800, 600, 100, 110},
                                         CentreCase{1920, 379, 660, 0},   // (379-380)/2 is 0
                                         CentreCase{599, 377, 0, -1},     // (377-380)/2 is -1
                                         CentreCase{1366, 768, 383, 194}));

TEST(FocusOrder, TabCyclesButtonsInCreationOrderAndSkipsThePictureBox)
{
    const auto controls = PrepareMainWindowDescription()->controls;
    const bool all[kControlCount] = {true, true, true, true, true};
    EXPECT_EQ(FirstInFocusOrder(controls, all), kButton1);
    const std::size_t forward[][2] = {
        {kButton1, kButton2}, {kButton2, kButton3}, {kButton3, kButton4}, {kButton4, kButton1}};
    for (const auto& step : forward)
        EXPECT_EQ(NextInFocusOrder(controls, all, step[0], true), step[1]);
    EXPECT_EQ(NextInFocusOrder(controls, all, kButton1, false), kButton4);
    EXPECT_EQ(NextInFocusOrder(controls, all, kButton3, false), kButton2);
}

TEST(FocusOrder, LeavesOutHiddenOrDisabledControlsAndSortsByTabIndex)
{
    const auto base = PrepareMainWindowDescription()->controls;
    std::array<ControlDescription, kControlCount> controls;
    std::copy(base.begin(), base.end(), controls.begin());
    bool available[kControlCount] = {true, true, false, true, true};
    EXPECT_EQ(NextInFocusOrder(controls, available, kButton1, true), kButton3);

    // A higher tab index moves 按钮1 to the end; equal indices keep creation order.
    controls[kButton1].tabIndex = 1;
    available[kButton2] = true;
    EXPECT_EQ(FirstInFocusOrder(controls, available), kButton2);
    EXPECT_EQ(NextInFocusOrder(controls, available, kButton4, true), kButton1);
    EXPECT_EQ(NextInFocusOrder(controls, available, kButton1, true), kButton2);

    const bool none[kControlCount] = {};
    EXPECT_EQ(FirstInFocusOrder(controls, none), kControlCount);
    EXPECT_EQ(NextInFocusOrder(controls, none, kButton1, true), kControlCount);
}

} // namespace
} // namespace picbox
