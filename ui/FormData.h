// The main window's built-in description: its settings, its controls and their focus order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace picbox {

enum class ControlKind { PushButton, PictureBox };

// Indices into the control list, in creation order.
enum ControlIndex : std::size_t {
    kButton1 = 0,    // 按钮1
    kPictureBox = 1, // 图片框1
    kButton2 = 2,    // 按钮2
    kButton3 = 3,    // 按钮3
    kButton4 = 4,    // 按钮4
    kControlCount = 5
};

struct ControlDescription {
    const char* name; // GBK
    ControlKind kind;
    int left, top, width, height; // client coordinates of the main window
    const char* text;             // GBK; null for the picture box
    bool tabStop;
    int tabIndex;
    bool visible, enabled;
    int childId;
};

struct PictureBoxSettings {
    std::int32_t borderStyle;      // 0 none .. 5 single line
    std::uint32_t backgroundColor; // COLORREF, or kSystemButtonFace
    std::int32_t displayMode;      // 0 top-left, 1 stretch, 2 fit
    bool animate;
};

inline constexpr std::uint32_t kSystemButtonFace = 0xFF000000;

struct WindowDescription {
    const char* title; // GBK, empty
    int storedLeft, storedTop; // kept in the description, never used: the window is centred
    int width, height;         // outer size
    std::span<const ControlDescription> controls;
    PictureBoxSettings pictureBox;
};

// Checks the built-in data and hands out the description; null when the data is unusable.
const WindowDescription* PrepareMainWindowDescription();

// Checks a description for the faults a damaged program file could bring.
bool DescriptionIsSound(const WindowDescription& description);

struct Point {
    int x, y;
};

// Top-left corner that centres a width × height window on the screen; the divisions truncate
// toward zero, so a screen one pixel too small gives 0, not -1.
Point CentredOrigin(int screenWidth, int screenHeight, int width, int height);

// The control that Tab (forward) or Shift+Tab moves to from `current`. The focus order is the
// available tab stops sorted by tab index, creation order among equals; it wraps at both ends.
// `available[i]` says whether control i is visible and enabled now. Returns kControlCount when
// there is no control to move to.
std::size_t NextInFocusOrder(std::span<const ControlDescription> controls,
                             std::span<const bool> available, std::size_t current, bool forward);

// The first control of the focus order, or kControlCount when there is none.
std::size_t FirstInFocusOrder(std::span<const ControlDescription> controls,
                              std::span<const bool> available);

} // namespace picbox
