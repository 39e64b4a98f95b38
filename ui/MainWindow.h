// The main window: building it from its description, its event table and its key handling.
#pragma once

#include <windows.h>

#include "app/Memory.h"
#include "ui/FormData.h"

namespace picbox {

// Builds the window and its controls, raises the created event and shows the window with the
// focus on the first button. False when the window or a control could not be created.
bool LoadMainWindow(const WindowDescription& description);

bool MainWindowExists();

// Offers a message to the window's key handling; true when it was consumed.
bool PreTranslateMainWindowMessage(const MSG& msg);

// Releases what the window kept for the whole process (its icons).
void ReleaseMainWindowResources();

enum class Property { Picture };

// Property access for the command handlers. A value passed in stays the caller's; a value
// returned is a new byte set owned by the caller.
void SetControlProperty(std::size_t control, Property property, const ByteSet& value);
ByteSet GetControlProperty(std::size_t control, Property property);

} // namespace picbox
