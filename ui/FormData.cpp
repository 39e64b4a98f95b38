// The main window's built-in description and the focus order over its controls.
#include "ui/FormData.h"

#include "ui/UiTexts.h"

#include <algorithm>
#include <array>

namespace picbox {

namespace {

constexpr std::array<ControlDescription, kControlCount> kControls{{
    {texts::kButton1Name, ControlKind::PushButton, 16, 304, 72, 32, texts::kButton1Caption, true,
     0, true, true, 100},
    {texts::kPictureBoxName, ControlKind::PictureBox, 8, 8, 584, 288, nullptr, false, 0, true,
     true, 110},
    {texts::kButton2Name, ControlKind::PushButton, 160, 304, 88, 32, texts::kButton2Caption, true,
     0, true, true, 120},
    {texts::kButton3Name, ControlKind::PushButton, 320, 304, 72, 32, texts::kButton3Caption, true,
     0, true, true, 130},
    {texts::kButton4Name, ControlKind::PushButton, 456, 304, 80, 32, texts::kButton4Caption, true,
     0, true, true, 140},
}};

constexpr WindowDescription kMainWindow{
    "", 50, 50, 600, 380, kControls, {0, kSystemButtonFace, 2, true},
};

// Controls of the focus order, sorted; returns how many there are.
std::size_t SortedFocusOrder(std::span<const ControlDescription> controls,
                             std::span<const bool> available, std::array<std::size_t, 64>& order)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < controls.size() && i < available.size() && count < order.size();
         ++i) {
        if (controls[i].tabStop && available[i])
            order[count++] = i;
    }
    std::stable_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count),
                     [&](std::size_t a, std::size_t b) {
                         return controls[a].tabIndex < controls[b].tabIndex;
                     });
    return count;
}

} // namespace

bool DescriptionIsSound(const WindowDescription& description)
{
    if (description.title == nullptr || description.width <= 0 || description.height <= 0 ||
        description.controls.size() != kControlCount)
        return false;
    for (std::size_t i = 0; i < description.controls.size(); ++i) {
        const ControlDescription& c = description.controls[i];
        if (c.name == nullptr || c.name[0] == '\0' || c.width <= 0 || c.height <= 0)
            return false;
        if (c.kind == ControlKind::PushButton && c.text == nullptr)
            return false;
        // Child identifiers follow creation order: 100, 110, 120, ...
        if (c.childId != 100 + 10 * static_cast<int>(i))
            return false;
    }
    return true;
}

const WindowDescription* PrepareMainWindowDescription()
{
    return DescriptionIsSound(kMainWindow) ? &kMainWindow : nullptr;
}

Point CentredOrigin(int screenWidth, int screenHeight, int width, int height)
{
    return {(screenWidth - width) / 2, (screenHeight - height) / 2};
}

std::size_t NextInFocusOrder(std::span<const ControlDescription> controls,
                             std::span<const bool> available, std::size_t current, bool forward)
{
    std::array<std::size_t, 64> order{};
    const std::size_t count = SortedFocusOrder(controls, available, order);
    if (count == 0)
        return kControlCount;
    const auto end = order.begin() + static_cast<std::ptrdiff_t>(count);
    const auto at = std::find(order.begin(), end, current);
    if (at == end)
        return forward ? order[0] : order[count - 1];
    const std::size_t pos = static_cast<std::size_t>(at - order.begin());
    return forward ? order[(pos + 1) % count] : order[(pos + count - 1) % count];
}

std::size_t FirstInFocusOrder(std::span<const ControlDescription> controls,
                              std::span<const bool> available)
{
    std::array<std::size_t, 64> order{};
    return SortedFocusOrder(controls, available, order) > 0 ? order[0] : kControlCount;
}

} // namespace picbox
