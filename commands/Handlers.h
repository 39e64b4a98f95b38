// The click handlers of the four buttons.
#pragma once

namespace picbox {

void OnFetchButton1Clicked(); // 按钮1: fetch a picture
void OnSaveClicked();         // 按钮2: save it to the desktop
void OnFetchButton3Clicked(); // 按钮3: fetch a picture
void OnMoreClicked();         // 按钮4: open the invitation page

} // namespace picbox
