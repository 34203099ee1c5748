#pragma once

// What assistive technology sees of the grid and the dial: the widget with
// one child per bol, each named by the bol and described by where it stands
// (its beat, its duration, whether it is selected and whether it sounds), so
// that a musician who cannot see the screen can read, select and follow a
// Taal. Installed once for the program.

namespace lorvanta {

// Registers the accessible interfaces of the grid and the dial.
void InstallBolAccessibility();

} // namespace lorvanta
