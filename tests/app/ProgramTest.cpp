// The fixture of the program-level tests.
#include <windows.h>

#include "ProgramTest.h"

namespace apptest {

AppProcess& ProgramTest::Launch(const std::wstring& program, const std::wstring& desktop)
{
    apps_.push_back(std::make_unique<AppProcess>(program, desktop));
    if (!apps_.back()->Started())
        ADD_FAILURE() << "CreateProcess failed (" << GetLastError() << ") for "
                      << testing::PrintToString(WindowsPath(program));
    return *apps_.back();
}

HWND ProgramTest::StartProgram(const std::wstring& program, const std::wstring& desktop)
{
    AppProcess& app = Launch(program, desktop);
    if (!app.Started())
        return nullptr;
    HWND window = app.WaitForMainWindow(Limit(kStartLimitMs));
    if (!window)
        ADD_FAILURE() << "no visible main window within the time limit; process "
                      << (app.Running() ? "still running" : "ended");
    return window;
}

HWND ProgramTest::Control(HWND mainWindow, int index)
{
    return GetDlgItem(mainWindow, static_cast<int>(kControls[index].id));
}

HWND ProgramTest::Focus(HWND mainWindow)
{
    return FocusOf(GetWindowThreadProcessId(mainWindow, nullptr));
}

bool ProgramTest::WaitForFocus(HWND mainWindow, int index)
{
    HWND control = Control(mainWindow, index);
    return control &&
           WaitUntil([&] { return Focus(mainWindow) == control; }, Limit(kEffectLimitMs));
}

std::string ProgramTest::NameOfFocus(HWND mainWindow)
{
    HWND focus = Focus(mainWindow);
    if (!focus)
        return "nothing";
    if (focus == mainWindow)
        return "the main window";
    for (int i = 0; i < static_cast<int>(std::size(kControls)); ++i) {
        if (focus == Control(mainWindow, i))
            return kControls[i].name;
    }
    return "another window (class " + testing::PrintToString(ClassOf(focus)) + ")";
}

bool ProgramTest::Bring(HWND mainWindow)
{
    return Activate(mainWindow) && WaitIdle(mainWindow, Limit(kEffectLimitMs));
}

ProbeReport ProgramTest::ProbeMainWindow(HWND mainWindow, std::size_t i)
{
    ProbeRequest request{};
    request.mainWindow = reinterpret_cast<std::uintptr_t>(mainWindow);
    for (const ExpectedControl& want : kControls)
        request.controlIds[request.controlCount++] = static_cast<std::uint32_t>(want.id);
    ProbeReport report{};
    std::string error;
    if (!App(i).ProbeInProcess(request, report, Limit(kEffectLimitMs), error))
        ADD_FAILURE() << "probe: " << error;
    return report;
}

DWORD ProgramTest::ExitCodeOf(std::size_t i)
{
    DWORD code = STILL_ACTIVE; // never a real exit code here: the checks after it fail too
    if (!App(i).WaitForExit(Limit(kExitLimitMs), code))
        ADD_FAILURE() << "the process did not end within the time limit";
    return code;
}

} // namespace apptest
