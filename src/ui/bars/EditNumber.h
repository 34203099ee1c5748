#pragma once

#include <QString>

namespace lorvanta {

// Reads an edit's text as a decimal number the way the bars take typed values:
// leading blanks skipped, reading stops at the first character that cannot
// continue the number, no number reads as 0. Independent of the user's locale
// (the point is always "."). A number too large for a double reads as an
// infinity of its sign, which every range check refuses.
double ReadEditNumber(const QString& text);

// printf's fixed-point formatting ("%4.4f", "%.4f", ...) with "." as the point
// whatever the locale.
QString FormatFixed(const char* format, double value);

} // namespace lorvanta
