// Grid layouts as the tests describe them: vibhags and bols from short forms,
// rows as text.
#pragma once

#include "gridlayout/GridGeometry.h"
#include "model/Vibhags.h"

#include <string>
#include <vector>

namespace lorvanta::test {

inline VibhagList Vibhags(const char* text) {
    VibhagList vibhags;
    ParseVibhags(text, vibhags);
    return vibhags;
}

// The durations of `count` bols of one beat.
inline std::vector<float> Beats(int count) {
    return std::vector<float>(static_cast<std::size_t>(count), 1.0f);
}

// The rows as "first+beats ...".
inline std::string Spans(const CGridLayout& layout) {
    std::string spans;
    for (int k = 0; k < layout.RulerRowCount(); ++k)
        spans += (k ? " " : "") + std::to_string(layout.RowSpan(k).firstBeat) + "+" +
                 std::to_string(layout.RowSpan(k).beats);
    return spans;
}

} // namespace lorvanta::test
