#pragma once

#include "base/TForm.h"
#include "store/HeldThumbnails.h"
#include "viewing/MultiLayout.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>

#include <optional>

class QAction;
class QMenuBar;
class QScrollArea;
class TArLabel;
class TElidedLabel;

namespace viewing {

class TArImage;
class TFormSetteiMulti;

// One cell's content for a fill: the picture's encoded bytes (JPEG or any
// other format the loader reads) as the image table holds them, or, when
// bytes is empty, the file that holds the picture (a database in index mode).
// With neither, the cell shows its caption alone; its picture may come later
// through setCellPicture (one still being fetched).
struct MultiCell {
    MultiCell(QByteArray bytes = {}, QString path = {}, QString caption = {})
        : bytes(std::move(bytes)), path(std::move(path)), caption(std::move(caption))
    {
    }
    QByteArray bytes;
    QString path;
    QString caption;
    // A valid kept thumbnail of the picture (none while its encoded bytes are
    // empty), shown instead of its bytes when pictures are scaled to their cells.
    store::HeldThumbnail thumbnail;
    // Non-zero: the fill makes the thumbnail of this size class from its
    // decode of bytes.
    int thumbnailClass = 0;
};

// A thumbnail a fill made for a cell, waiting for its caller to keep it.
struct MadeThumbnail {
    int cell = 0;
    store::HeldThumbnail thumbnail;
};

// The multi-picture window: sixty cells, each a picture with a caption line
// under it, placed by the settings window's layout. The cells scroll when
// the layout is larger than the window.
class TFormMulti : public base::TForm {
    Q_OBJECT
public:
    explicit TFormMulti(QWidget* parent = nullptr);

    // Links the settings window both ways: "設定(&S)" shows it, its
    // "再表示(&R)" lays this window out, and its settings place the cells
    // when the window is first shown or filled.
    void setSettingsWindow(TFormSetteiMulti* settings);
    TFormSetteiMulti* settingsWindow() const;

    // Places the sixty cells; pictures and captions stay as they are.
    void applyLayout(const MultiCellRects& rects);
    const MultiCellRects& cellRects() const { return m_rects; }
    // The box a cell's picture is decoded for, once the cells are laid out.
    QSize cellPictureSize();

    // Decodes the cells' pictures, on every core, at the size of a cell's
    // picture, and shows them with their captions in cells 0 onwards; the
    // cells after the last one given are emptied. stretch: the pictures are
    // scaled to their cells, else drawn at their own size from the cell's top
    // left. At most sixty cells are taken. Returns how many were filled; a
    // picture that cannot be read ends the fill at its cell (that cell and
    // the later ones are emptied) with the loader's message in *error. The
    // window is not shown.
    int Fill(const QList<MultiCell>& cells, bool stretch, QString* error = nullptr);

    // Shows one picture from its encoded bytes in cell (0 to 59), decoded at
    // the cell's picture size; the caption stays. False, and the cell left as
    // it was, when the cell does not exist or the picture cannot be read (the
    // loader's message in *error).
    bool setCellPicture(int cell, const QByteArray& bytes, bool stretch, QString* error = nullptr);

    // The thumbnails the last fill made, handed over once.
    QList<MadeThumbnail> takeMadeThumbnails() { return std::exchange(m_made, {}); }

    // Cell i's caption: cut to its cell's width with "…", whole in its tooltip.
    TElidedLabel* caption(int cell) const;

    // Handlers
    void S1Click();
    void C1Click();

    QMenuBar* MainMenu1;
    QAction* S1;
    QAction* C1;
    TArImage* ArImage;
    TArLabel* ArLabel;

protected:
    void showEvent(QShowEvent* e) override;

private:
    // Lays the cells out once, before the first show or fill: with the
    // settings window's values when they make a layout, else the defaults.
    void ensureLaidOut();

    QScrollArea* m_scroll;
    QWidget* m_cells;
    QPointer<TFormSetteiMulti> m_settingsWindow;
    MultiCellRects m_rects;
    bool m_laidOut = false;
    bool m_filling = false;
    QList<MadeThumbnail> m_made;
};

} // namespace viewing
