// The fixture of the program-level tests: launches the program and ends what it launched.
#pragma once

#include <windows.h>

#include "AppDriver.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

// RECT is a global type: its operators live here for GoogleTest to find them.
inline bool operator==(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != 0; }

inline std::ostream& operator<<(std::ostream& out, const RECT& r)
{
    return out << "(" << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom << ")";
}

namespace apptest {

// Style bits, compared as numbers and printed in hexadecimal.
struct Bits {
    ULONG_PTR value;
    friend bool operator==(Bits, Bits) = default;
    friend std::ostream& operator<<(std::ostream& out, Bits bits)
    {
        return out << "0x" << std::hex << bits.value << std::dec;
    }
};

inline Bits AsBits(LONG_PTR value) { return {static_cast<ULONG_PTR>(value)}; }

} // namespace apptest

namespace apptest {

// The main window's controls as the program describes them, in creation order.
struct ExpectedControl {
    const char* name; // ASCII stand-in for the control's own name
    const wchar_t* text;
    RECT rect; // client coordinates of the main window
    LONG_PTR id;
    bool button;
};

inline constexpr ExpectedControl kControls[] = {
    {"Button1 (按钮1)", L"获取图片", {16, 304, 16 + 72, 304 + 32}, 100, true},
    {"PictureBox1 (图片框1)", L"", {8, 8, 8 + 584, 8 + 288}, 110, false},
    {"Button2 (按钮2)", L"下载", {160, 304, 160 + 88, 304 + 32}, 120, true},
    {"Button3 (按钮3)", L"二次元", {320, 304, 320 + 72, 304 + 32}, 130, true},
    {"Button4 (按钮4)", L"更多功能", {456, 304, 456 + 80, 304 + 32}, 140, true},
};
inline constexpr int kButton1 = 0, kPictureBox1 = 1, kButton2 = 2, kButton3 = 3, kButton4 = 4;

// Time limits before stretching by the run's wait scale.
inline constexpr DWORD kStartLimitMs = 20000;
inline constexpr DWORD kEffectLimitMs = 5000;
inline constexpr DWORD kExitLimitMs = 10000;

// Names each instance of a table test after its case's `name`.
struct CaseName {
    template <typename Case> std::string operator()(const testing::TestParamInfo<Case>& info) const
    {
        return info.param.name;
    }
};

class ProgramTest : public testing::Test {
protected:
    // Starts a program; the test fails when it cannot be started.
    AppProcess& Launch(const std::wstring& program, const std::wstring& desktop = {});
    // Starts a program and waits for its main window; null (with a failure) when none came.
    HWND StartProgram(const std::wstring& program, const std::wstring& desktop = {});
    HWND StartPicbox(const std::wstring& desktop = {})
    {
        return StartProgram(Options().program, desktop);
    }

    AppProcess& App(std::size_t i = 0) { return *apps_.at(i); }

    // The control of the main window with this child identifier (null when absent).
    static HWND Control(HWND mainWindow, int index);
    // The focus of the main window's UI thread.
    static HWND Focus(HWND mainWindow);
    // Waits until the focus is on this control of the main window.
    static bool WaitForFocus(HWND mainWindow, int index);
    static std::string NameOfFocus(HWND mainWindow);

    // Brings the window to the foreground and waits until its thread has handled that.
    static bool Bring(HWND mainWindow);

    // Reads the fonts of all controls and the icons from inside the program's process.
    ProbeReport ProbeMainWindow(HWND mainWindow, std::size_t i = 0);

    // Waits for the process to end and returns its exit code; fails the test on a time-out.
    DWORD ExitCodeOf(std::size_t i = 0);

private:
    std::vector<std::unique_ptr<AppProcess>> apps_; // destroyed, and so ended, after each test
};

} // namespace apptest
