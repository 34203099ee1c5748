#pragma once

#include <QUrl>

namespace lorvanta {

// The value of the application's store that names another help address.
inline constexpr const char* kHelpAddressValue = "Help Address";
// The help page carried inside the program.
inline constexpr const char* kHelpResource = ":/help/index.html";

// The address Help opens: the "Help Address" of the application's store when
// set; else the page shipped with the program ("help/index.html" in its
// folder, or in share/lorvanta of its installation); else a copy of the built-in page written to
// the cache folder. Empty when none of these can be had.
QUrl HelpAddress();

} // namespace lorvanta
