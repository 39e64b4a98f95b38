/* Starts a GUI program, waits until its top-level window is visible, closes that window with
 * WM_CLOSE and waits for the program to end: one start-up of any program, timed from outside
 * (the start-up benchmark runs it under hyperfine), without changing the program.
 *
 *   launch_until_shown [--timeout=SECONDS] PROGRAM [ARGUMENTS...]
 *
 * PROGRAM may be a host path (/...), reached through Wine's Z: drive. The exit code is the
 * program's; 0x7E when it could not be started, 0x7F when a time limit ran out. */
#include <windows.h>

#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

enum { kCannotStart = 0x7E, kTimedOut = 0x7F };

struct Search {
    DWORD pid;
    HWND found;
};

static BOOL CALLBACK FindShownWindow(HWND window, LPARAM param)
{
    struct Search* search = (struct Search*)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window) && !GetWindow(window, GW_OWNER)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

/* The command line from the first word after the options, each word quoted again. */
static wchar_t* ProgramCommandLine(int argc, wchar_t** argv, int first)
{
    size_t size = 1;
    for (int i = first; i < argc; ++i)
        size += wcslen(argv[i]) + 3;
    wchar_t* line = calloc(size, sizeof(wchar_t));
    if (!line)
        return NULL;
    for (int i = first; i < argc; ++i) {
        if (i > first)
            wcscat(line, L" ");
        wcscat(line, L"\"");
        wcscat(line, argv[i]);
        wcscat(line, L"\"");
    }
    return line;
}

static void ToWindowsPath(wchar_t* path, size_t size, const wchar_t* given)
{
    if (given[0] == L'/')
        swprintf(path, size, L"Z:%ls", given);
    else
        swprintf(path, size, L"%ls", given);
    for (wchar_t* c = path; *c; ++c) {
        if (*c == L'/')
            *c = L'\\';
    }
}

int main(void)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    DWORD limitMs = 60000;
    int first = 1;
    if (argc > 1 && wcsncmp(argv[1], L"--timeout=", 10) == 0) {
        limitMs = (DWORD)(wcstod(argv[1] + 10, NULL) * 1000.0);
        first = 2;
    }
    if (first >= argc) {
        fwprintf(stderr, L"usage: launch_until_shown [--timeout=SECONDS] PROGRAM [ARGS...]\n");
        return kCannotStart;
    }

    wchar_t program[MAX_PATH * 2];
    ToWindowsPath(program, MAX_PATH * 2, argv[first]);
    wchar_t* commandLine = ProgramCommandLine(argc, argv, first);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info;
    if (!commandLine ||
        !CreateProcessW(program, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) {
        fwprintf(stderr, L"launch_until_shown: cannot start %ls (%lu)\n", program, GetLastError());
        return kCannotStart;
    }
    free(commandLine);

    /* Polled at 1 ms: the time from visibility to WM_CLOSE is part of every measurement. */
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    struct Search search = {info.dwProcessId, NULL};
    while (!search.found && WaitForSingleObject(info.hProcess, 1) == WAIT_TIMEOUT) {
        if (GetTickCount64() >= deadline) {
            TerminateProcess(info.hProcess, kTimedOut);
            return kTimedOut;
        }
        EnumWindows(FindShownWindow, (LPARAM)&search);
    }
    if (search.found)
        PostMessageW(search.found, WM_CLOSE, 0, 0);

    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? (DWORD)(deadline - now) : 0;
    if (WaitForSingleObject(info.hProcess, left) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, kTimedOut);
        return kTimedOut;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    LocalFree(argv);
    return (int)exitCode;
}
