/* The start-up baseline: the least a program like picbox must do to show its window.
 * It starts OLE, carries the common-controls 6 manifest, creates one centred 600 x 380 window
 * with four buttons and one static control, shows it and ends once it has painted.
 * With "--wait" it stays until it is closed instead, like picbox under the benchmark launcher. */
#include <ole2.h>
#include <windows.h>

#include <string.h>

static const wchar_t kClassName[] = L"MinimalWindow";
static BOOL closeAfterPaint = TRUE;

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        FillRect(dc, &paint.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
        EndPaint(window, &paint);
        if (closeAfterPaint) {
            closeAfterPaint = FALSE;
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

static HWND CreateChild(HWND parent, const wchar_t* className, const wchar_t* text, int x, int y,
                        int width, int height, int id)
{
    HWND child =
        CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y, width,
                        height, parent, (HMENU)(INT_PTR)id, GetModuleHandleW(NULL), NULL);
    SendMessageW(child, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), FALSE);
    return child;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)previous;
    (void)commandLine;
    (void)show;
    if (wcsstr(GetCommandLineW(), L"--wait"))
        closeAfterPaint = FALSE;
    OleInitialize(NULL);

    WNDCLASSEXW windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(NULL_BRUSH);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);

    const int x = (GetSystemMetrics(SM_CXSCREEN) - 600) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - 380) / 2;
    HWND window = CreateWindowExW(0, kClassName, L"",
                                  WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, x, y,
                                  600, 380, NULL, NULL, instance, NULL);
    if (!window)
        return 1;
    CreateChild(window, L"BUTTON", L"Button 1", 16, 304, 72, 32, 100);
    CreateChild(window, L"STATIC", L"", 8, 8, 584, 288, 110);
    CreateChild(window, L"BUTTON", L"Button 2", 160, 304, 88, 32, 120);
    CreateChild(window, L"BUTTON", L"Button 3", 320, 304, 72, 32, 130);
    CreateChild(window, L"BUTTON", L"Button 4", 456, 304, 80, 32, 140);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    OleUninitialize();
    return (int)msg.wParam;
}
