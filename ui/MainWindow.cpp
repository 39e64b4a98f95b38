// The main window: its building phase, event table, key handling and focus memory.
#include <windows.h>

#include "ui/MainWindow.h"

#include "app/System.h"
#include "app/WideText.h"
#include "commands/Handlers.h"
#include "ui/PictureBox.h"

namespace picbox {

namespace {

constexpr wchar_t kMainWindowClass[] = L"picbox_main";
constexpr DWORD kMainStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kButtonStyle =
    WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_MULTILINE;

enum class Event { Created, Moved, Resized, Clicked };

// Control index kControlCount stands for the main window itself.
constexpr std::size_t kWindowItself = kControlCount;

using Handler = void (*)();

struct EventEntry {
    std::size_t source;
    Event event;
    Handler handler;
};

void OnCreated() {}

constexpr EventEntry kEventTable[] = {
    {kWindowItself, Event::Created, OnCreated},
    {kButton1, Event::Clicked, OnFetchButton1Clicked},
    {kButton2, Event::Clicked, OnSaveClicked},
    {kButton3, Event::Clicked, OnFetchButton3Clicked},
    {kButton4, Event::Clicked, OnMoreClicked},
};

struct MainWindowState {
    HWND window = nullptr;
    HWND controls[kControlCount] = {};
    const WindowDescription* description = nullptr;
    bool building = false; // events raised while building are dropped
    HWND lastFocus = nullptr;
};

MainWindowState g_main;

// Loaded once per process and shared; the window never destroys them.
HICON g_bigIcon = nullptr;
HICON g_smallIcon = nullptr;
bool g_iconsLoaded = false;

void RaiseEvent(std::size_t source, Event event)
{
    if (g_main.building)
        return;
    for (const EventEntry& entry : kEventTable) {
        if (entry.source == source && entry.event == event) {
            entry.handler();
            return;
        }
    }
}

std::size_t ControlIndexOf(HWND hwnd)
{
    for (std::size_t i = 0; i < kControlCount; ++i) {
        if (g_main.controls[i] && g_main.controls[i] == hwnd)
            return i;
    }
    return kControlCount;
}

// Which controls can take part in the focus order right now.
void AvailableControls(bool (&available)[kControlCount])
{
    for (std::size_t i = 0; i < kControlCount; ++i) {
        HWND c = g_main.controls[i];
        available[i] = c && IsWindowVisible(c) && IsWindowEnabled(c);
    }
}

void FocusFirstControl()
{
    bool available[kControlCount];
    AvailableControls(available);
    const std::size_t first = FirstInFocusOrder(g_main.description->controls, available);
    if (first < kControlCount)
        SetFocus(g_main.controls[first]);
}

void MoveFocus(bool forward)
{
    const std::size_t current = ControlIndexOf(GetFocus());
    if (current == kControlCount)
        return; // the focus is not on one of the controls: nothing moves
    bool available[kControlCount];
    AvailableControls(available);
    const std::size_t next =
        NextInFocusOrder(g_main.description->controls, available, current, forward);
    if (next < kControlCount)
        SetFocus(g_main.controls[next]);
}

void OnPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    FillRect(dc, &ps.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
    EndPaint(hwnd, &ps);
}

void OnActivate(WPARAM wParam)
{
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (ControlIndexOf(focus) < kControlCount)
            g_main.lastFocus = focus;
    }
}

void OnSetFocus()
{
    HWND remembered = g_main.lastFocus;
    if (remembered && IsWindow(remembered) && ControlIndexOf(remembered) < kControlCount)
        SetFocus(remembered);
    else
        FocusFirstControl();
}

void OnCommand(WPARAM wParam, LPARAM lParam)
{
    // The button that sent the notification is found by its handle.
    if (HIWORD(wParam) != BN_CLICKED || lParam == 0)
        return;
    const std::size_t control = ControlIndexOf(reinterpret_cast<HWND>(lParam));
    if (control < kControlCount && g_main.description->controls[control].kind ==
                                       ControlKind::PushButton)
        RaiseEvent(control, Event::Clicked);
}

void OnDestroy(HWND hwnd)
{
    if (hwnd == g_main.window) {
        g_main.window = nullptr;
        for (HWND& c : g_main.controls)
            c = nullptr;
        g_main.lastFocus = nullptr;
    }
    // The program's only window is gone: end the loop, unless it has not started yet (it then
    // finds no window and returns by itself).
    if (MessageLoopEntered())
        PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_ERASEBKGND:
        return 1; // the paint handler fills the background itself
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_ACTIVATE:
        OnActivate(wParam);
        break;
    case WM_SETFOCUS:
        OnSetFocus();
        return 0;
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        return 0;
    case WM_DESTROY:
        OnDestroy(hwnd);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXW wc = {};
    if (GetClassInfoExW(instance, kMainWindowClass, &wc))
        return true;
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = kMainWindowClass;
    return RegisterClassExW(&wc) != 0;
}

void LoadIconsOnce(HINSTANCE instance)
{
    if (g_iconsLoaded)
        return;
    g_iconsLoaded = true;
    g_bigIcon = static_cast<HICON>(
        LoadImageA(instance, "DEFAULT_ICON", IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
    g_smallIcon = static_cast<HICON>(
        LoadImageA(instance, "DEFAULT_ICON", IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
}

HWND CreateControl(HWND parent, const ControlDescription& control,
                   const PictureBoxSettings& settings, HINSTANCE instance, HFONT font)
{
    if (control.kind == ControlKind::PictureBox)
        return CreatePictureBox(parent, control, settings);
    const WideText<64> text(control.text);
    HWND button = CreateWindowExW(0, L"BUTTON", text.Get(), kButtonStyle, control.left,
                                  control.top, control.width, control.height, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.childId)),
                                  instance, nullptr);
    if (button)
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return button;
}

} // namespace

bool LoadMainWindow(const WindowDescription& description)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    g_main.description = &description;
    g_main.building = true;

    // Centred on the whole primary screen, taskbar included; the stored position is not used.
    const Point origin = CentredOrigin(GetSystemMetrics(SM_CXSCREEN),
                                       GetSystemMetrics(SM_CYSCREEN), description.width,
                                       description.height);
    if (!RegisterMainWindowClass(instance)) {
        g_main.building = false;
        return false;
    }
    const WideText<64> title(description.title);
    HWND window = CreateWindowExW(0, kMainWindowClass, title.Get(), kMainStyle, origin.x,
                                  origin.y, description.width, description.height, nullptr,
                                  nullptr, instance, nullptr);
    if (!window) {
        g_main.building = false;
        return false;
    }
    g_main.window = window;

    RECT rect;
    GetWindowRect(window, &rect);
    if (rect.right - rect.left != description.width || rect.bottom - rect.top != description.height)
        MoveWindow(window, origin.x, origin.y, description.width, description.height, TRUE);

    LoadIconsOnce(instance);
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_bigIcon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_smallIcon));
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    for (std::size_t i = 0; i < description.controls.size(); ++i) {
        g_main.controls[i] =
            CreateControl(window, description.controls[i], description.pictureBox, instance, font);
        if (!g_main.controls[i]) {
            g_main.building = false;
            return false;
        }
    }

    // Stacking order is the reverse of creation: the last control on top.
    HWND above = HWND_TOP;
    for (std::size_t i = description.controls.size(); i-- > 0;) {
        SetWindowPos(g_main.controls[i], above, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = g_main.controls[i];
    }
    for (std::size_t i = 0; i < description.controls.size(); ++i) {
        if (description.controls[i].visible)
            ShowWindow(g_main.controls[i], SW_SHOWNA);
    }
    g_main.building = false;

    RaiseEvent(kWindowItself, Event::Created);
    if (!IsWindow(window))
        return true;
    RaiseEvent(kWindowItself, Event::Moved);
    if (IsWindow(window))
        RaiseEvent(kWindowItself, Event::Resized);
    if (IsWindow(window))
        ShowWindow(window, SW_SHOW);
    return true;
}

bool MainWindowExists()
{
    return g_main.window && IsWindow(g_main.window);
}

bool PreTranslateMainWindowMessage(const MSG& msg)
{
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN)
        return false;
    HWND main = g_main.window;
    if (!main || !msg.hwnd || (msg.hwnd != main && !IsChild(main, msg.hwnd)))
        return false;
    if (!IsWindowEnabled(msg.hwnd))
        return false;

    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool alt = GetKeyState(VK_MENU) < 0;
    if (msg.wParam == VK_TAB && !ctrl && !alt) {
        MoveFocus(!shift);
        return true;
    }
    if (msg.wParam == VK_ESCAPE && !ctrl && !shift && !alt) {
        SendMessageW(main, WM_CLOSE, 0, 0);
        return true;
    }
    // Enter, Alt+mnemonics (no caption has one), F1, arrows, Space: not handled here.
    return false;
}

void ReleaseMainWindowResources()
{
    // The icons live as long as the process; the system frees them with it.
}

void SetControlProperty(std::size_t control, Property property, const ByteSet& value)
{
    if (control >= kControlCount || !g_main.controls[control])
        return;
    if (property == Property::Picture &&
        g_main.description->controls[control].kind == ControlKind::PictureBox)
        SetPictureBytes(g_main.controls[control], value);
}

ByteSet GetControlProperty(std::size_t control, Property property)
{
    if (control >= kControlCount || !g_main.controls[control])
        return {};
    if (property == Property::Picture &&
        g_main.description->controls[control].kind == ControlKind::PictureBox)
        return GetPictureBytes(g_main.controls[control]);
    return {};
}

} // namespace picbox
