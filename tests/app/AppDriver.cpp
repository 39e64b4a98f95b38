// Starting a program under test and reading and driving its windows from another process.
#include <windows.h>

#include "AppDriver.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cwchar>
#include <optional>
#include <sstream>

namespace apptest {

DriverOptions& Options()
{
    static DriverOptions options;
    return options;
}

DWORD Limit(DWORD milliseconds)
{
    return static_cast<DWORD>(std::lround(milliseconds * std::max(1.0, Options().waitScale)));
}

bool WaitUntil(const std::function<bool()>& done, DWORD limitMs)
{
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    for (;;) {
        if (done())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        // The driver's own windows (the activation test) need their messages handled.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

std::wstring WindowsPath(const std::wstring& path)
{
    if (path.empty() || path[0] != L'/')
        return path;
    std::wstring windows = L"Z:" + path;
    std::replace(windows.begin(), windows.end(), L'/', L'\\');
    return windows;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring TextOf(HWND window)
{
    // For another process's window both calls read the text the system keeps for the window.
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

WindowFacts ReadWindow(HWND window)
{
    WindowFacts facts;
    facts.className = ClassOf(window);
    facts.text = TextOf(window);
    GetWindowRect(window, &facts.rect);
    facts.clientRect = facts.rect;
    if (HWND parent = GetAncestor(window, GA_PARENT); parent && parent != GetDesktopWindow())
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&facts.clientRect), 2);
    facts.style = GetWindowLongPtrW(window, GWL_STYLE);
    facts.exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    facts.id = GetWindowLongPtrW(window, GWLP_ID);
    return facts;
}

std::vector<HWND> ChildrenInZOrder(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

HWND FocusOf(DWORD threadId)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(threadId, &info))
        return nullptr;
    return info.hwndFocus;
}

bool WaitIdle(HWND window, DWORD limitMs)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, limitMs, &result) != 0;
}

namespace {

INPUT KeyInput(WORD key, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

// IsWindowVisible also asks the desktop, which for another desktop than the driver's is hidden.
bool Shown(HWND window) { return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

INPUT MouseInput(DWORD flags)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    return input;
}

} // namespace

void PressKey(WORD key, WORD modifier)
{
    std::vector<INPUT> inputs;
    if (modifier)
        inputs.push_back(KeyInput(modifier, false));
    inputs.push_back(KeyInput(key, false));
    inputs.push_back(KeyInput(key, true));
    if (modifier)
        inputs.push_back(KeyInput(modifier, true));
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

namespace {

// Every mouse event the system delivers, seen by a low-level hook on the driver's thread (its
// waits pump messages, which the hook needs).
struct MouseEvent {
    WPARAM message;
    POINT point;
};

std::vector<MouseEvent>& SeenMouseEvents()
{
    static std::vector<MouseEvent> events;
    return events;
}

LRESULT CALLBACK RecordMouseEvent(int code, WPARAM message, LPARAM param)
{
    if (code == HC_ACTION)
        SeenMouseEvents().push_back({message, reinterpret_cast<MSLLHOOKSTRUCT*>(param)->pt});
    return CallNextHookEx(nullptr, code, message, param);
}

std::ostream& operator<<(std::ostream& out, POINT p)
{
    return out << "(" << p.x << ", " << p.y << ")";
}

bool Same(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }

// A button event that carries its own position: under Wine, pointer motion that X reports late
// can move the pointer back after a SetCursorPos, and an event that relies on the current
// position would then land at the old one.
INPUT ButtonAt(DWORD button, POINT where)
{
    // Absolute positions run from 0 to 65536 over the primary screen; rounding up keeps the
    // system's truncation on the same pixel.
    const auto normalise = [](LONG pixel, int screen) {
        return static_cast<LONG>((std::int64_t{pixel} * 65536 + screen - 1) / screen);
    };
    INPUT input = MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | button);
    input.mi.dx = normalise(where.x, GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = normalise(where.y, GetSystemMetrics(SM_CYSCREEN));
    return input;
}

// Where the system delivered the first event of this kind since `from`, once it has.
std::optional<POINT> DeliveredAt(WPARAM message, std::size_t from)
{
    std::optional<POINT> point;
    WaitUntil(
        [&] {
            for (std::size_t i = from; i < SeenMouseEvents().size() && !point; ++i) {
                if (SeenMouseEvents()[i].message == message)
                    point = SeenMouseEvents()[i].point;
            }
            return point.has_value();
        },
        Limit(2000));
    return point;
}

} // namespace

bool ClickAt(HWND window, POINT screenPoint, std::string* why)
{
    static HHOOK hook =
        SetWindowsHookExW(WH_MOUSE_LL, RecordMouseEvent, GetModuleHandleW(nullptr), 0);
    std::string reason;
    std::string& out = why ? *why : reason;
    if (!hook) {
        out = "no mouse hook: " + std::to_string(GetLastError());
        return false;
    }
    // Under Wine every process reads X events on its own connection, and X reports pointer
    // motion late, sometimes with the position from before the move: the pointer then jumps
    // back. So move, let the window's thread handle what is queued, wait until no mouse event
    // has come for a moment, and move again if the pointer did not stay.
    bool stayed = false;
    for (int attempt = 0; attempt < 3 && !stayed; ++attempt) {
        SetCursorPos(screenPoint.x, screenPoint.y);
        std::size_t seen = SeenMouseEvents().size();
        ULONGLONG quietSince = GetTickCount64();
        WaitIdle(window, Limit(5000));
        WaitUntil(
            [&] {
                if (SeenMouseEvents().size() != seen) {
                    seen = SeenMouseEvents().size();
                    quietSince = GetTickCount64();
                }
                return GetTickCount64() - quietSince >= Limit(200);
            },
            Limit(3000));
        POINT now{};
        stayed = GetCursorPos(&now) && Same(now, screenPoint);
    }
    if (!stayed) {
        out = "the pointer did not stay there";
        return false;
    }

    // Press and release go in one call, so that both are queued before the program handles
    // the press: motion reported late by X then comes after the release and cannot make the
    // program's button tracking see the pointer leave.
    const std::size_t before = SeenMouseEvents().size();
    INPUT inputs[] = {ButtonAt(MOUSEEVENTF_LEFTDOWN, screenPoint),
                      ButtonAt(MOUSEEVENTF_LEFTUP, screenPoint)};
    SendInput(2, inputs, sizeof(INPUT));
    for (WPARAM message : {WM_LBUTTONDOWN, WM_LBUTTONUP}) {
        const std::optional<POINT> at = DeliveredAt(message, before);
        std::ostringstream text;
        if (!at)
            text << "button message 0x" << std::hex << message << " was not delivered";
        else if (!Same(*at, screenPoint))
            text << "button message 0x" << std::hex << message << std::dec << " landed at " << *at;
        if (!text.str().empty()) {
            out = text.str();
            return false;
        }
    }
    return true;
}

bool Activate(HWND window)
{
    return WaitUntil(
        [&] {
            if (GetForegroundWindow() == window)
                return true;
            SetForegroundWindow(window);
            return false;
        },
        Limit(3000));
}

AppProcess::AppProcess(const std::wstring& program, const std::wstring& desktop) : desktop_(desktop)
{
    std::wstring path = WindowsPath(program);
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!desktop_.empty())
        startup.lpDesktop = desktop_.data();
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        return;
    process_ = info.hProcess;
    thread_ = info.hThread;
    pid_ = info.dwProcessId;
    threadId_ = info.dwThreadId;
}

AppProcess::~AppProcess()
{
    if (process_) {
        if (Running()) {
            TerminateProcess(process_, 0xDEAD);
            WaitForSingleObject(process_, Limit(10000));
        }
        CloseHandle(thread_);
        CloseHandle(process_);
    }
}

bool AppProcess::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool AppProcess::WaitForExit(DWORD limitMs, DWORD& exitCode) const
{
    if (!process_)
        return false;
    if (WaitForSingleObject(process_, limitMs) != WAIT_OBJECT_0)
        return false;
    return GetExitCodeProcess(process_, &exitCode) != 0;
}

namespace {

std::wstring DriverFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// Closes a handle when the scope ends; one owner per handle.
struct HandleOwner {
    HANDLE handle;
    ~HandleOwner()
    {
        if (handle)
            CloseHandle(handle);
    }
};

} // namespace

bool AppProcess::ProbeInProcess(const ProbeRequest& request, ProbeReport& report, DWORD limitMs,
                                std::string& error) const
{
    error.clear();
    wchar_t name[64];
    std::swprintf(name, 64, kProbeMappingFormat, static_cast<unsigned long>(pid_));
    HandleOwner mapping{CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                           sizeof(ProbeShared), name)};
    std::swprintf(name, 64, kProbeDoneFormat, static_cast<unsigned long>(pid_));
    HandleOwner done{CreateEventW(nullptr, TRUE, FALSE, name)};
    if (!mapping.handle || !done.handle) {
        error = "cannot create the shared memory or event: " + std::to_string(GetLastError());
        return false;
    }
    auto* shared = static_cast<ProbeShared*>(
        MapViewOfFile(mapping.handle, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ProbeShared)));
    if (!shared) {
        error = "cannot map the shared memory: " + std::to_string(GetLastError());
        return false;
    }
    shared->request = request;
    shared->report = {};

    // The probe's path goes into the program's memory, and one of its threads loads it.
    const std::wstring dll = DriverFolder() + kProbeDllName;
    const SIZE_T bytes = (dll.size() + 1) * sizeof(wchar_t);
    void* remote =
        VirtualAllocEx(process_, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    HandleOwner thread{nullptr};
    if (remote && WriteProcessMemory(process_, remote, dll.c_str(), bytes, nullptr))
        thread.handle = CreateRemoteThread(process_, nullptr, 0, loadLibrary, remote, 0, nullptr);
    if (!thread.handle) {
        error = "cannot start a thread in the program: " + std::to_string(GetLastError());
    } else if (WaitForSingleObject(done.handle, limitMs) != WAIT_OBJECT_0) {
        DWORD loaded = 0;
        GetExitCodeThread(thread.handle, &loaded);
        error = loaded ? "the probe did not answer in time"
                       : "the program could not load the probe DLL beside the driver";
    } else if (!shared->report.complete) {
        error = "the probe found no request";
    } else {
        report = shared->report;
    }
    if (thread.handle)
        WaitForSingleObject(thread.handle, limitMs);
    if (remote)
        VirtualFreeEx(process_, remote, 0, MEM_RELEASE);
    UnmapViewOfFile(shared);
    return error.empty();
}

namespace {

struct WindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

// A named callback: on 32-bit Windows the enumeration wants a stdcall function.
BOOL CALLBACK CollectWindowOfProcess(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->pid)
        search->found.push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> AppProcess::TopLevelWindows() const
{
    WindowSearch search{pid_, {}};
    if (desktop_.empty()) {
        EnumWindows(CollectWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    } else if (HDESK desk = OpenDesktopW(desktop_.c_str(), 0, FALSE,
                                         DESKTOP_READOBJECTS | DESKTOP_ENUMERATE)) {
        EnumDesktopWindows(desk, CollectWindowOfProcess, reinterpret_cast<LPARAM>(&search));
        CloseDesktop(desk);
    }
    return search.found;
}

HWND AppProcess::WaitForMainWindow(DWORD limitMs)
{
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows()) {
                if (Shown(window) && !GetWindow(window, GW_OWNER)) {
                    mainWindow_ = window;
                    return true;
                }
            }
            return !Running();
        },
        limitMs);
    return mainWindow_;
}

HWND AppProcess::WaitForWindowOfClass(const wchar_t* className, DWORD limitMs) const
{
    HWND result = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows()) {
                if (Shown(window) && ClassOf(window) == className) {
                    result = window;
                    return true;
                }
            }
            return !Running();
        },
        limitMs);
    return result;
}

} // namespace apptest
