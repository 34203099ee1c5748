#pragma once

#include <string_view>

namespace lorvanta {

// Whether a line on stderr is the sound library's own report of a failed
// call (it writes them itself, with no way to turn them off); the program
// reports such failures in its own words.
bool IsSoundLibraryLine(std::string_view line);

// From the first call on, stderr passes through a filter that drops the
// sound library's own lines; everything else goes through unchanged and in
// order. What is pending is written out when the program ends.
void FilterSoundLibraryLines();

} // namespace lorvanta
