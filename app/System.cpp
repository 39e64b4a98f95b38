// Start-up, the message loop, normal end and the fatal error report.
#include <windows.h>

#include "app/System.h"

#include "app/FatalErrorText.h"
#include "app/Memory.h"
#include "app/WideText.h"
#include "ui/FormData.h"
#include "ui/MainWindow.h"
#include "ui/UiTexts.h"

#include <commctrl.h>
#include <ole2.h>

#include <float.h>

#if defined(__x86_64__) || defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace picbox {

namespace {

constexpr std::size_t kMaxEndRoutines = 16;

// Process-wide state; only the UI thread touches it.
struct SystemState {
    DWORD uiThread = 0;
    char programDirectory[MAX_PATH] = {};
    bool comStarted = false;
    EndRoutine endRoutines[kMaxEndRoutines] = {};
    std::size_t endRoutineCount = 0;
    bool loopEntered = false;
    bool shuttingDown = false;
    bool shutDown = false;
    const WindowDescription* mainDescription = nullptr;
    int quitCode = 0;
};

SystemState g_system;

// Masks every exception, rounds to nearest, clears the flags and, on x87, computes with the
// full 64-bit mantissa: placement of pictures relies on that precision.
void ResetFloatingPoint()
{
    _fpreset();
#if defined(__i386__) || defined(__x86_64__)
    asm volatile("fninit");
#endif
#if defined(__x86_64__) || defined(__SSE__)
    _mm_setcsr(0x1F80);
#endif
}

// The program's own start and end steps. There is nothing to do in either.
void ProgramStartStep()
{
#ifdef PICBOX_REFUSE_BLOCK_SIZE
    // Test build: ask for the block size that the memory service is set to refuse.
    FreeBlock(AllocateBlock(PICBOX_REFUSE_BLOCK_SIZE));
#endif
}

void ProgramEndStep() {}

} // namespace

std::int32_t ProgramMain()
{
    StartSystem();
    ResetFloatingPoint();
    ProgramStartStep();
    AddEndRoutine(ProgramEndStep);
    if (!LoadMainWindow(*g_system.mainDescription))
        ReportFatalError(texts::kMainWindowFailed, 0, FatalWindow::MainWindow);
    RunMessageLoop();
    return 0;
}

void StartSystem()
{
    UseProcessHeap();
    if (!g_system.comStarted) {
        OleInitialize(nullptr);
        g_system.comStarted = true;
    }

    // The manifest selects version 6 of the common controls, which draws the buttons in the
    // current visual style; the library must be loaded before the first button is created.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    // Relative names then resolve against the program's own folder, wherever it was started.
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::size_t cut = 0;
    for (DWORD i = 0; i < length && i < MAX_PATH; ++i) {
        if (path[i] == '\\')
            cut = i;
    }
    CopyMemory(g_system.programDirectory, path, cut);
    g_system.programDirectory[cut] = '\0';
    SetCurrentDirectoryA(g_system.programDirectory);

    g_system.uiThread = GetCurrentThreadId();

    g_system.mainDescription = PrepareMainWindowDescription();
    if (!g_system.mainDescription)
        ReportFatalError(texts::kWindowDataUnreadable, 0, FatalWindow::None);
}

void AddEndRoutine(EndRoutine routine)
{
    for (std::size_t i = 0; i < g_system.endRoutineCount; ++i) {
        if (g_system.endRoutines[i] == routine)
            return;
    }
    if (g_system.endRoutineCount < kMaxEndRoutines)
        g_system.endRoutines[g_system.endRoutineCount++] = routine;
}

void RunMessageLoop()
{
    g_system.loopEntered = true;
    if (!MainWindowExists())
        return;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (PreTranslateMainWindowMessage(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    g_system.quitCode = static_cast<int>(msg.wParam);
}

void ShutdownSystem()
{
    if (g_system.shutDown)
        return;
    g_system.shutDown = true;
    g_system.shuttingDown = true;
    g_system.mainDescription = nullptr;
    for (std::size_t i = 0; i < g_system.endRoutineCount; ++i)
        g_system.endRoutines[i]();
    g_system.endRoutineCount = 0;
    ReleaseMainWindowResources();
    if (g_system.comStarted) {
        OleUninitialize();
        g_system.comStarted = false;
    }
}

void ReportFatalError(std::string_view message, std::int32_t code, FatalWindow window)
{
    // The two numbers name the window and control concerned: the main window is form 1, and
    // no fatal error concerns a single control.
    const std::int32_t windowNumber = window == FatalWindow::MainWindow ? 1 : 0;
    const FatalErrorText text(message, code, windowNumber, 0);
    const WideText<1024> wideText(text.View());
    const WideText<16> caption(texts::kErrorCaption);
    MessageBoxW(nullptr, wideText.Get(), caption.Get(), MB_OK | MB_ICONERROR);
    g_system.endRoutineCount = 0;
    ShutdownSystem();
    ExitProcess(static_cast<UINT>(-1));
}

int LastQuitCode()
{
    return g_system.quitCode;
}

bool MessageLoopEntered()
{
    return g_system.loopEntered;
}

} // namespace picbox

// The framework: error mode first, then the program, then the clean-up, then the quit code.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // No critical-error or open-file boxes, e.g. for a drive without a medium.
    const UINT mode = SetErrorMode(0);
    SetErrorMode(mode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    picbox::ProgramMain();
    picbox::ShutdownSystem();
    return picbox::LastQuitCode();
}
