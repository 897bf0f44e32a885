#pragma once

// The interface's fonts. Windows and controls have fixed pixel sizes, so the
// text has a fixed pixel size too: it then fits the same at any DPI, and
// QT_SCALE_FACTOR scales both together.

#include <QFont>

namespace base {

// Every window's font: a proportional Japanese Gothic at 12 pixels, which
// fits the captions and status panels at their design widths.
QFont interfaceFont();
// Grids with narrow number and date columns: a Gothic whose digits are half
// an em wide, a pixel smaller, so a whole date fits 56 pixels and a size of
// eight digits 42.
QFont narrowGridFont();

} // namespace base
