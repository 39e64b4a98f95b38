// Entry of the program-level tests: GoogleTest flags, then where the program under test is.
#include <windows.h>

#include <shellapi.h>

#include "AppDriver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

const wchar_t kUsage[] =
    L"usage: picbox_app_tests [gtest flags] --program=PATH [--refuse1000=PATH] [--wait-scale=N]\n"
    L"  PATH may be a host path (/...), reached through Wine's Z: drive.\n"
    L"  --refuse1000 defaults to picbox_refuse1000.exe beside the program.\n"
    L"  PICBOX_EXE in the environment stands in for --program.\n";

bool TakeValue(const std::wstring& arg, const wchar_t* name, std::wstring& value)
{
    const std::wstring prefix = std::wstring(L"--") + name + L"=";
    if (arg.rfind(prefix, 0) != 0)
        return false;
    value = arg.substr(prefix.size());
    return true;
}

std::wstring Sibling(const std::wstring& path, const wchar_t* name)
{
    const std::size_t slash = path.find_last_of(L"/\\");
    return (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + name;
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    testing::InitGoogleTest(&argc, argv);

    apptest::DriverOptions& options = apptest::Options();
    if (const wchar_t* fromEnv = _wgetenv(L"PICBOX_EXE"))
        options.program = fromEnv;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        std::wstring scale;
        if (TakeValue(arg, L"program", options.program) ||
            TakeValue(arg, L"refuse1000", options.refuse1000))
            continue;
        if (TakeValue(arg, L"wait-scale", scale)) {
            options.waitScale = std::wcstod(scale.c_str(), nullptr);
            continue;
        }
        std::fwprintf(stderr, L"unknown argument: %ls\n%ls", argv[i], kUsage);
        return 2;
    }
    if (options.program.empty()) {
        std::fwprintf(stderr, L"%ls", kUsage);
        return 2;
    }
    if (options.refuse1000.empty())
        options.refuse1000 = Sibling(options.program, L"picbox_refuse1000.exe");
    LocalFree(argv);
    return RUN_ALL_TESTS();
}
