#pragma once

// The window as the user left it, kept with the user's settings: the panes'
// sizes, the docked panes and bars, the grid's zoom and the count-in.

#include "audio/CountIn.h"

#include <QByteArray>

namespace lorvanta {

inline constexpr const char* kWindowStateValue = "Window State";
inline constexpr const char* kOuterPanesValue = "Outer Panes";
inline constexpr const char* kLeftPanesValue = "Left Panes";
inline constexpr const char* kRightPanesValue = "Right Panes";
// The grid's zoom in percent; 0 fits the grid to its pane.
inline constexpr const char* kGridZoomValue = "Grid Zoom";
// "on" or "off", and the beats counted.
inline constexpr const char* kCountInValue = "Count-In";
inline constexpr const char* kCountInBeatsValue = "Count-In Beats";

struct WindowSettings {
    // Empty when never stored: the window's first layout is used.
    QByteArray windowState;
    QByteArray outerPanes;
    QByteArray leftPanes;
    QByteArray rightPanes;
    int gridZoomPercent = 0;
    bool countIn = false;
    int countInBeats = 4;
};

// Anything absent or unreadable keeps its default.
WindowSettings ReadWindowSettings();
void WriteWindowSettings(const WindowSettings& settings);

} // namespace lorvanta
