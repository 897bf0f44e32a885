#pragma once

// Where the cells of the multi-picture window stand: a picture with its caption
// under it, placed row by row. Widget-free, so the arithmetic can be checked
// without a window.

#include <QRect>
#include <QString>

#include <array>

namespace viewing {

inline constexpr int kMultiCells = 60;

// What the settings window offers: the positions of its three scroll bars,
// the texts of its two edits and the caption switch.
struct MultiSettings {
    int size = 100;        // S: picture height, and the base of its width
    int hiritsu = 0;       // R: added to S for the picture width
    QString rows = QStringLiteral("6");
    QString columns = QStringLiteral("10");
    bool titles = true;    // captions shown
    int titleHeight = 20;  // T: the caption band under each row while shown
};

struct MultiCellRects {
    std::array<QRect, kMultiCells> pictures;
    std::array<QRect, kMultiCells> captions;
    bool captionsVisible = true;
};

struct MultiLayoutResult {
    enum class Error { None, NotANumber, TooManyCells };
    Error error = Error::None;
    QString message;       // what the user is told when error is set
    MultiCellRects rects;  // meaningful only without an error
    bool ok() const { return error == Error::None; }
};

// The message for more than sixty cells asked for.
QString tooManyCellsMessage();

// Lays out all sixty cells. Rows and columns are whole-number texts (the
// program's integer syntax); their product, taken in 64 bits, may not exceed
// sixty. The rows setting limits only that product: cell i stands at left
// (i mod columns) × (S + R) and top (i div columns) × (S + T), where a column
// count of 0 or less puts every cell at left 0 on a row of its own. A picture
// is S + R wide and S high; its caption starts right under it, as wide and T
// high. Widths of 0 or less are passed on as they come.
MultiLayoutResult computeMultiLayout(const MultiSettings& settings);

} // namespace viewing
