#include "ui/grid/PageColours.h"

namespace lorvanta {

namespace {

// a + (b - a) * weight / 255, per channel.
QColor Mix(const QColor& a, const QColor& b, int weight) {
    const auto channel = [weight](int from, int to) { return from + (to - from) * weight / 255; };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()),
                  channel(a.blue(), b.blue()));
}

} // namespace

bool IsDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Base).lightness() < 128;
}

PageColours PageColoursFor(const QPalette& palette) {
    PageColours colours;
    colours.paper = palette.color(QPalette::Active, QPalette::Base);
    colours.ink = palette.color(QPalette::Active, QPalette::Text);
    // A quarter of the way to the ink: silver (192) on white paper.
    colours.selection = Mix(colours.paper, colours.ink, 63);
    if (IsDarkPalette(palette)) {
        // Light enough to stand out on dark paper, and apart from each other.
        colours.sounding = QColor(150, 110, 0);
        colours.progress = QColor(90, 150, 255);
        colours.sam = QColor(255, 95, 95);
        colours.khali = QColor(110, 170, 255);
    } else {
        colours.sounding = QColor(255, 214, 110);
        colours.progress = QColor(0, 0, 255);
        colours.sam = QColor(255, 0, 0);
        colours.khali = QColor(0, 0, 255);
    }
    colours.banner = Mix(colours.paper, colours.ink, 20);
    return colours;
}

} // namespace lorvanta
