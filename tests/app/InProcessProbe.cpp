// A DLL the driver loads into a program under test to read what only that process can read:
// font and icon handles, which the system does not hand across processes on every platform.
#include <windows.h>

#include "ProbeLayout.h"

#include <cwchar>

namespace {

using apptest::ProbeIcon;
using apptest::ProbeShared;

constexpr UINT kSendLimitMs = 10000;

std::uint64_t AsNumber(const void* handle)
{
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
}

// Asked from this thread, answered by the window's own thread in the same process.
std::uint64_t Ask(HWND window, UINT message, WPARAM wParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, 0, SMTO_NORMAL, kSendLimitMs, &result))
        return 0;
    return static_cast<std::uint64_t>(result);
}

ProbeIcon ReadIcon(HWND window, WPARAM which)
{
    ProbeIcon icon{};
    icon.handle = Ask(window, WM_GETICON, which);
    ICONINFO info{};
    if (!icon.handle ||
        !GetIconInfo(reinterpret_cast<HICON>(static_cast<std::uintptr_t>(icon.handle)), &info))
        return icon;
    icon.readable = 1;
    icon.isIcon = info.fIcon ? 1 : 0;
    BITMAP bitmap{};
    if (info.hbmColor && GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap)) {
        icon.width = bitmap.bmWidth;
        icon.height = bitmap.bmHeight;
    } else if (GetObjectW(info.hbmMask, sizeof(bitmap), &bitmap)) {
        // A monochrome icon keeps its AND and XOR masks in one bitmap of double height.
        icon.width = bitmap.bmWidth;
        icon.height = bitmap.bmHeight / 2;
    }
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return icon;
}

DWORD WINAPI Probe(void*)
{
    const DWORD pid = GetCurrentProcessId();
    wchar_t name[64];
    std::swprintf(name, 64, apptest::kProbeMappingFormat, static_cast<unsigned long>(pid));
    HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (!mapping)
        return 1;
    auto* shared = static_cast<ProbeShared*>(
        MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ProbeShared)));
    if (shared) {
        const auto& request = shared->request;
        auto& report = shared->report;
        HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(request.mainWindow));
        report.defaultGuiFont = AsNumber(GetStockObject(DEFAULT_GUI_FONT));
        for (std::uint32_t i = 0; i < request.controlCount && i < apptest::kProbeMaxControls; ++i) {
            HWND control = GetDlgItem(window, static_cast<int>(request.controlIds[i]));
            report.controlFonts[i] = control ? Ask(control, WM_GETFONT, 0) : 0;
        }
        report.bigIcon = ReadIcon(window, ICON_BIG);
        report.smallIcon = ReadIcon(window, ICON_SMALL);
        report.complete = 1;
        UnmapViewOfFile(shared);
    }
    CloseHandle(mapping);
    std::swprintf(name, 64, apptest::kProbeDoneFormat, static_cast<unsigned long>(pid));
    if (HANDLE done = OpenEventW(EVENT_MODIFY_STATE, FALSE, name)) {
        SetEvent(done);
        CloseHandle(done);
    }
    return 0;
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        // The work needs the window's thread to answer messages, which must not happen while
        // the loader lock is held: it runs on a thread of its own once DllMain has returned.
        if (HANDLE thread = CreateThread(nullptr, 0, Probe, nullptr, 0, nullptr))
            CloseHandle(thread);
    }
    return TRUE;
}
