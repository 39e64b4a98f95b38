// The life of the process: start-up, the message loop, normal end and the fatal error report.
#pragma once

#include <cstdint>
#include <string_view>

namespace picbox {

using EndRoutine = void (*)();

enum class FatalWindow { None, MainWindow };

// The program's entry routine; the framework calls it once on the UI thread.
std::int32_t ProgramMain();

void StartSystem();
void AddEndRoutine(EndRoutine routine);
void RunMessageLoop();
void ShutdownSystem();

// Shows the error box, then ends the process with exit code -1. Never returns.
[[noreturn]] void ReportFatalError(std::string_view message, std::int32_t code,
                                   FatalWindow window);

// The code of the last quit request the loop took (0 when none).
int LastQuitCode();

// True once RunMessageLoop has begun waiting for messages.
bool MessageLoopEntered();

} // namespace picbox
