#pragma once

// The count-in: beats counted in a soft click before the Taal starts, as an
// image the playback engine reads ahead of the Taal's own. Each beat is one
// slot as long as a one-beat bol's at the same tempo and rate, so the Taal's
// first bol comes exactly on the beat after the count.

#include "audio/TaalImage.h"

#include <cstdint>
#include <memory>

namespace lorvanta {

inline constexpr int kMaxCountInBeats = 16;

// The click: a short decaying tone well above the drums' strokes, the first
// count higher and a little louder; `rate` samples a second.
std::vector<std::int16_t> CountInClick(std::uint32_t rate, bool first);

// `beats` (1 to kMaxCountInBeats) at `secondsPerBeat`, for images played at
// `rate` samples a second; `header` gives the format (its sizes are set
// here). Null for no beats.
std::unique_ptr<TaalImage> MakeCountInImage(const WaveHeader& header, std::uint32_t rate,
                                            float secondsPerBeat, int beats);

} // namespace lorvanta
