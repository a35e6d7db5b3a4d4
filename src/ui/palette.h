#pragma once
// Light and dark. With no palette forced the window keeps the desktop's own
// (its platform theme's) palette, light or dark. VELLUMARK_PALETTE=dark or
// VELLUMARK_PALETTE=light forces one, drawn with the Fusion style: for
// desktops without a theme, for pictures and for tests.
#include <QPalette>
#include <QString>

namespace vm::ui {

// True when the palette draws light text on a dark window.
bool isDarkPalette(const QPalette& palette);
// True when the program's windows are drawn dark now: the desktop's colour
// scheme where Qt knows it, else the application palette.
bool darkPaletteInUse();

// The sheet's grid lines: a third of the way from the page colour to the
// text colour, so they show on light and dark pages alike.
QColor gridColour(const QPalette& palette);

// The program's own dark palette, used when dark is forced.
QPalette darkPalette();

// Applies the palette that value ("dark", "light"; empty: the desktop's)
// asks for. False for any other value, which changes nothing.
bool forcePalette(const QString& value);

}  // namespace vm::ui
