#pragma once

// The desktop's own services (dialogs, browser, file manager) for the views.

#include "ui/Services.h"

namespace lorvanta {

// The desktop's own dialogs and browser.
ShellServices DesktopShellServices();

} // namespace lorvanta
