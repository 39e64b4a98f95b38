// Drives a running GUI program from outside: starts it, finds its windows, reads them and types.
#pragma once

#include <windows.h>

#include "ProbeLayout.h"

#include <functional>
#include <string>
#include <vector>

namespace apptest {

// Settings of the whole test run, from the command line.
struct DriverOptions {
    std::wstring program;    // the program under test
    std::wstring refuse1000; // its variant whose 1000-byte allocation is refused
    double waitScale = 1.0;  // stretches every time limit (emulated 32-bit Wine is slow)
};

DriverOptions& Options();

// A time limit in milliseconds, stretched by the run's wait scale.
DWORD Limit(DWORD milliseconds);

// Polls until `done` holds or the limit has passed; pumps this thread's own messages meanwhile.
bool WaitUntil(const std::function<bool()>& done, DWORD limitMs);

// Maps a path of the host (Wine's Z: drive) to a Windows path; other paths are kept.
std::wstring WindowsPath(const std::wstring& path);

struct WindowFacts {
    std::wstring className;
    std::wstring text;
    RECT rect{};       // screen coordinates
    RECT clientRect{}; // for a child: in its parent's client coordinates
    LONG_PTR style = 0;
    LONG_PTR exStyle = 0;
    LONG_PTR id = 0;
};

WindowFacts ReadWindow(HWND window);
std::wstring ClassOf(HWND window);
std::wstring TextOf(HWND window);
std::vector<HWND> ChildrenInZOrder(HWND parent);

// The keyboard focus of a GUI thread (null when that thread has none).
HWND FocusOf(DWORD threadId);

// True once the window's thread has handled everything sent to it before this call.
bool WaitIdle(HWND window, DWORD limitMs);

// A key through the system's input path, to whichever window is in the foreground, pressed
// while a modifier (VK_SHIFT, VK_MENU, VK_CONTROL; 0 for none) is held down.
void PressKey(WORD key, WORD modifier = 0);

// Moves the pointer over a window, waits until the system reports it there, then clicks the
// left button, checking that the press and the release are delivered at that point; `why`
// says what failed.
bool ClickAt(HWND window, POINT screenPoint, std::string* why = nullptr);

// Makes the window the foreground window and waits until the system agrees.
bool Activate(HWND window);

// A started program, ended in the destructor if it still runs.
class AppProcess {
public:
    // desktop: a named desktop for STARTUPINFO.lpDesktop; empty for the driver's own.
    AppProcess(const std::wstring& program, const std::wstring& desktop = {});
    AppProcess(const AppProcess&) = delete;
    AppProcess& operator=(const AppProcess&) = delete;
    ~AppProcess();

    bool Started() const { return process_ != nullptr; }
    DWORD Pid() const { return pid_; }
    DWORD ThreadId() const { return threadId_; }
    const std::wstring& Desktop() const { return desktop_; }

    // The visible, unowned top-level window of the process (null after the time limit).
    HWND WaitForMainWindow(DWORD limitMs);
    HWND MainWindow() const { return mainWindow_; }

    // A visible top-level window of the process with this class (e.g. the dialog "#32770").
    HWND WaitForWindowOfClass(const wchar_t* className, DWORD limitMs) const;

    // Loads the probe DLL into the process and returns what it read there; false with the
    // reason in `error` when that did not work within the limit.
    bool ProbeInProcess(const ProbeRequest& request, ProbeReport& report, DWORD limitMs,
                        std::string& error) const;

    bool Running() const;
    // The exit code once the process has ended within the limit; false when still running.
    bool WaitForExit(DWORD limitMs, DWORD& exitCode) const;

private:
    std::vector<HWND> TopLevelWindows() const;

    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD pid_ = 0;
    DWORD threadId_ = 0;
    std::wstring desktop_;
    HWND mainWindow_ = nullptr;
};

} // namespace apptest
