// The picture box control: its window class, settings, stored bytes and background painting.
#include <windows.h>

#include "ui/PictureBox.h"

#include <cstring>
#include <memory>
#include <new>

namespace picbox {

namespace {

constexpr wchar_t kPictureBoxClass[] = L"picbox_picture";
constexpr DWORD kBorderExStyles = WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE;

struct PictureBoxState {
    PictureBoxSettings settings{};
    COLORREF background = 0;
    HBRUSH brush = nullptr;
    std::unique_ptr<std::uint8_t[]> stored; // exactly the bytes last written
    std::size_t storedLength = 0;

    ~PictureBoxState()
    {
        if (brush)
            DeleteObject(brush);
    }
};

PictureBoxState* StateOf(HWND box)
{
    return reinterpret_cast<PictureBoxState*>(GetWindowLongPtrW(box, GWLP_USERDATA));
}

template <typename T>
T Clamp(T value, T low, T high)
{
    return value < low ? low : (value > high ? high : value);
}

void ApplyBackground(PictureBoxState& state, std::uint32_t color)
{
    state.settings.backgroundColor = color;
    state.background = color == kSystemButtonFace ? GetSysColor(COLOR_BTNFACE) : color;
    HBRUSH brush = CreateSolidBrush(state.background);
    if (state.brush)
        DeleteObject(state.brush);
    state.brush = brush;
}

// Removes all four border styles, then adds the new ones, with a frame change so the client
// area follows the border.
void ApplyBorderStyle(HWND box, PictureBoxState& state, std::int32_t borderStyle)
{
    borderStyle = Clamp(borderStyle, 0, 5);
    state.settings.borderStyle = borderStyle;
    LONG_PTR style = GetWindowLongPtrW(box, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_BORDER);
    LONG_PTR exStyle = GetWindowLongPtrW(box, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(kBorderExStyles);
    switch (borderStyle) {
    case 1:
        exStyle |= WS_EX_CLIENTEDGE;
        break;
    case 2:
        exStyle |= WS_EX_DLGMODALFRAME;
        break;
    case 3:
        exStyle |= WS_EX_STATICEDGE;
        break;
    case 4:
        exStyle |= WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME;
        break;
    case 5:
        style |= WS_BORDER;
        break;
    default:
        break;
    }
    SetWindowLongPtrW(box, GWL_STYLE, style);
    SetWindowLongPtrW(box, GWL_EXSTYLE, exStyle);
    SetWindowPos(box, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void OnPaint(HWND box)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(box, &ps);
    RECT client;
    GetClientRect(box, &client);
    if (PictureBoxState* state = StateOf(box))
        FillRect(dc, &client, state->brush);
    EndPaint(box, &ps);
}

LRESULT CALLBACK PictureBoxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_ERASEBKGND:
        return 1; // painted in one pass by WM_PAINT
    case WM_PAINT:
        OnPaint(box);
        return 0;
    case WM_NCDESTROY:
        delete StateOf(box);
        SetWindowLongPtrW(box, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(box, msg, wParam, lParam);
}

bool RegisterPictureBoxClass(HINSTANCE instance)
{
    WNDCLASSEXW wc = {};
    if (GetClassInfoExW(instance, kPictureBoxClass, &wc))
        return true;
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = PictureBoxProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = nullptr;
    wc.lpszClassName = kPictureBoxClass;
    return RegisterClassExW(&wc) != 0;
}

} // namespace

HWND CreatePictureBox(HWND parent, const ControlDescription& control,
                      const PictureBoxSettings& settings)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!RegisterPictureBoxClass(instance))
        return nullptr;
    std::unique_ptr<PictureBoxState> state(new (std::nothrow) PictureBoxState);
    if (!state)
        return nullptr;
    HWND box = CreateWindowExW(0, kPictureBoxClass, L"", WS_CHILD | WS_CLIPSIBLINGS, control.left,
                               control.top, control.width, control.height, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.childId)),
                               instance, nullptr);
    if (!box)
        return nullptr;
    SetWindowLongPtrW(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state.get()));
    PictureBoxState& s = *state.release();
    ApplyBackground(s, settings.backgroundColor);
    s.settings.displayMode = Clamp(settings.displayMode, 0, 2);
    s.settings.animate = settings.animate;
    ApplyBorderStyle(box, s, settings.borderStyle);
    return box;
}

void SetPictureBytes(HWND box, const ByteSet& bytes)
{
    PictureBoxState* state = StateOf(box);
    if (!state)
        return;
    state->stored.reset();
    state->storedLength = 0;
    if (!bytes.Empty()) {
        // A copy that cannot be had leaves the box empty; it is not a fatal error.
        const std::size_t length = static_cast<std::size_t>(bytes.length);
        state->stored.reset(new (std::nothrow) std::uint8_t[length]);
        if (state->stored) {
            std::memcpy(state->stored.get(), bytes.bytes.get(), length);
            state->storedLength = length;
        }
    }
    InvalidateRect(box, nullptr, FALSE);
}

ByteSet GetPictureBytes(HWND box)
{
    PictureBoxState* state = StateOf(box);
    if (!state || !state->stored)
        return {};
    return CopyToByteSet(state->stored.get(), static_cast<std::int32_t>(state->storedLength));
}

} // namespace picbox
