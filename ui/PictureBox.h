// The picture box control: holds the bytes of one picture and paints on its background colour.
#pragma once

#include <windows.h>

#include "app/Memory.h"
#include "ui/FormData.h"

namespace picbox {

// Creates the picture box as a hidden child of `parent`. Null when it could not be created.
HWND CreatePictureBox(HWND parent, const ControlDescription& control,
                      const PictureBoxSettings& settings);

// Replaces the stored picture with a copy of `bytes` (an empty set clears the box).
void SetPictureBytes(HWND box, const ByteSet& bytes);

// A new byte set holding exactly the bytes last written, or an empty one.
ByteSet GetPictureBytes(HWND box);

} // namespace picbox
