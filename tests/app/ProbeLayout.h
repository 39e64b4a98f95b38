// What the driver and its in-process probe exchange through shared memory.
#pragma once

#include <cstdint>

namespace apptest {

// The shared memory and the "done" event carry the program's process id in their names, so
// that the probe finds them from inside the program without being told anything.
inline constexpr wchar_t kProbeMappingFormat[] = L"Local\\apptest_probe_%lu";
inline constexpr wchar_t kProbeDoneFormat[] = L"Local\\apptest_probe_done_%lu";
inline constexpr wchar_t kProbeDllName[] = L"picbox_app_probe.dll";
inline constexpr std::uint32_t kProbeMaxControls = 8;

struct ProbeRequest {
    std::uint64_t mainWindow;
    std::uint32_t controlCount;
    std::uint32_t controlIds[kProbeMaxControls];
};

struct ProbeIcon {
    std::uint64_t handle;
    std::uint32_t readable; // GetIconInfo succeeded
    std::uint32_t isIcon;   // not a cursor
    std::int32_t width;
    std::int32_t height;
};

// Handles as the program's own process sees them.
struct ProbeReport {
    std::uint32_t complete;
    std::uint64_t defaultGuiFont;                  // GetStockObject(DEFAULT_GUI_FONT)
    std::uint64_t controlFonts[kProbeMaxControls]; // WM_GETFONT of each requested control
    ProbeIcon bigIcon;                             // WM_GETICON ICON_BIG
    ProbeIcon smallIcon;                           // WM_GETICON ICON_SMALL
};

struct ProbeShared {
    ProbeRequest request;
    ProbeReport report;
};

} // namespace apptest
