// The click handlers of the four buttons; the commands behind them come later.
#include "commands/Handlers.h"

namespace picbox {

void OnFetchButton1Clicked() {}

void OnSaveClicked() {}

void OnFetchButton3Clicked() {}

void OnMoreClicked() {}

} // namespace picbox
