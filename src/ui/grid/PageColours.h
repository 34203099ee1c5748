#pragma once

// The colours the grid, the dial and the notation draw with, taken from the
// application's palette so that a dark theme reads as well as a light one.
// On the light default palette they are the page's classic colours: white
// paper, black ink, silver selection, blue progress, red sam and blue khali.

#include <QColor>
#include <QPalette>

namespace lorvanta {

struct PageColours {
    QColor paper;     // background
    QColor ink;       // text, lines, frames
    QColor selection; // fill of selected cells
    QColor sounding;  // fill of the bol now sounding (never the selection's)
    QColor progress;  // the played part of the ruler
    QColor sam;       // mark X and beat 1
    QColor khali;     // mark 0 and the middle beat
    QColor banner;    // the pinned beat display's band
};

// Whether a palette's text areas are dark (a dark theme).
bool IsDarkPalette(const QPalette& palette);
PageColours PageColoursFor(const QPalette& palette);

} // namespace lorvanta
