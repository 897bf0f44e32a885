#include "viewing/FormMulti.h"

#include "controls/ElidedLabel.h"
#include "controls/StdArr.h"
#include "viewing/ExtArr.h"
#include "viewing/FormSetteiMulti.h"
#include "viewing/HeldPreviews.h"
#include "viewing/PictureLoader.h"
#include "viewing/Thumbnails.h"
#include "viewing/TImage.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentMap>

#include <atomic>
#include <climits>
#include <optional>

namespace viewing {

namespace {

struct Decoded {
    std::optional<Picture> picture;
    bool failed = false;
    QString error;
    std::optional<MadeThumbnail> made;
};

// A picture made ready for a cell of the given size. Scaled: decoded at the
// reduced size that still covers the cell. At its own size: only the part the
// cell shows, its top left corner, is kept, so sixty large pictures do not
// stay in memory whole.
Decoded decodeCell(const MultiCell& cell, QSize cellSize, bool stretch)
{
    const QSize box(qMax(1, cellSize.width()), qMax(1, cellSize.height()));
    const QSize decodeBox = stretch ? box : QSize();
    Decoded d;
    if (stretch && !cell.thumbnail.encoded.isEmpty()) {
        // A kept thumbnail that cannot be read leaves its cell empty, not
        // the fill ended: the picture itself may be sound.
        d.picture = decodeThumbnail(cell.thumbnail);
        return d;
    }
    if (cell.bytes.isEmpty() && cell.path.isEmpty())
        return d;
    d.picture = cell.bytes.isEmpty() ? loadPreview(cell.path, decodeBox, &d.error)
                                     : loadPictureData(cell.bytes, decodeBox, &d.error);
    d.failed = !d.picture;
    if (d.failed)
        return d;
    Picture& p = *d.picture;
    if (stretch && cell.thumbnailClass > 0 && !cell.bytes.isEmpty()) {
        if (std::optional<store::HeldThumbnail> thumb = encodeThumbnail(p, cell.thumbnailClass))
            d.made = MadeThumbnail{0, std::move(*thumb)};
    }
    if (stretch) {
        // Formats the loader does not decode smaller come back at full size.
        if (p.image.width() > 2 * box.width() && p.image.height() > 2 * box.height())
            p.image = p.image.scaled(box, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    } else {
        p.image = p.image.copy(QRect(QPoint(0, 0), box).intersected(p.image.rect()));
        p.fullSize = p.image.size();
    }
    return d;
}

QRect nonNegative(const QRect& r)
{
    return QRect(r.topLeft(), QSize(qMax(0, r.width()), qMax(0, r.height())));
}

} // namespace

TFormMulti::TFormMulti(QWidget* parent)
    : base::TForm("FormMulti", QStringLiteral("マルチテーブル表示"), QStringLiteral("fmMulti"), QSize(679, 512), parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    S1 = MainMenu1->addAction(QStringLiteral("設定(&S)"));
    S1->setObjectName(QStringLiteral("S1"));
    C1 = MainMenu1->addAction(QStringLiteral("閉じる(&C)"));
    C1->setObjectName(QStringLiteral("C1"));
    column->setMenuBar(MainMenu1);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("ScrollBox"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(false);
    m_cells = new QWidget();
    m_cells->setObjectName(QStringLiteral("PanelCells"));
    m_scroll->setWidget(m_cells);
    column->addWidget(m_scroll, 1);

    ArImage = new TArImage(this, QStringLiteral("ArImage"));
    ArLabel = new TArLabel(this, QStringLiteral("ArLabel"));
    ArImage->setArryParent(m_cells);
    ArLabel->setArryParent(m_cells);
    for (int i = 1; i <= kMultiCells; ++i) {
        auto* image = new TImage(m_cells);
        image->setObjectName(QStringLiteral("ArImage1_%1").arg(i));
        ArImage->Add(image);
        auto* label = new TElidedLabel(m_cells);
        label->setObjectName(QStringLiteral("ArLabel1_%1").arg(i));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        ArLabel->Add(label);
    }

    connect(S1, &QAction::triggered, this, &TFormMulti::S1Click);
    connect(C1, &QAction::triggered, this, &TFormMulti::C1Click);

    restoreValues();
}

void TFormMulti::setSettingsWindow(TFormSetteiMulti* settings)
{
    m_settingsWindow = settings;
    if (settings)
        settings->setMultiWindow(this);
}

TFormSetteiMulti* TFormMulti::settingsWindow() const
{
    return m_settingsWindow;
}

void TFormMulti::applyLayout(const MultiCellRects& rects)
{
    m_rects = rects;
    m_laidOut = true;
    QRect extent;
    for (int i = 0; i < kMultiCells; ++i) {
        const QRect picture = nonNegative(rects.pictures[size_t(i)]);
        const QRect caption = nonNegative(rects.captions[size_t(i)]);
        ArImage->Items(i)->setGeometry(picture);
        QLabel* label = ArLabel->Items(i);
        label->setGeometry(caption);
        label->setVisible(rects.captionsVisible);
        extent |= picture;
        if (rects.captionsVisible)
            extent |= caption;
    }
    // The scrolled area reaches to the farthest cell; cells at negative
    // places (a negative width adjustment) are out of reach, as they would be
    // off a window.
    m_cells->resize(qMax(0, extent.right() + 1), qMax(0, extent.bottom() + 1));
}

void TFormMulti::ensureLaidOut()
{
    if (m_laidOut)
        return;
    MultiLayoutResult r = computeMultiLayout(m_settingsWindow ? m_settingsWindow->settings() : MultiSettings());
    if (!r.ok())
        r = computeMultiLayout(MultiSettings());
    applyLayout(r.rects);
}

QSize TFormMulti::cellPictureSize()
{
    ensureLaidOut();
    const QSize cell = m_rects.pictures[0].size();
    return QSize(qMax(1, cell.width()), qMax(1, cell.height()));
}

void TFormMulti::showEvent(QShowEvent* e)
{
    ensureLaidOut();
    base::TForm::showEvent(e);
}

int TFormMulti::Fill(const QList<MultiCell>& cells, bool stretch, QString* error)
{
    if (m_filling) {
        // Only a timer's handler could reach here while a fill waits; the
        // cells are the running fill's.
        if (error)
            *error = QStringLiteral("表示中です");
        return 0;
    }
    m_filling = true;
    ensureLaidOut();

    const int n = int(qMin<qsizetype>(cells.size(), kMultiCells));
    const QSize cellSize = m_rects.pictures[0].size();
    QList<int> indexes(n);
    for (int i = 0; i < n; ++i)
        indexes[i] = i;

    // Pictures after a failed one are not shown, so none is decoded once a
    // failure before it is known.
    std::atomic<int> firstFailure{INT_MAX};
    auto decode = [&](int i) -> Decoded {
        if (i > firstFailure.load())
            return {};
        Decoded d = decodeCell(cells[i], cellSize, stretch);
        if (d.failed) {
            int seen = firstFailure.load();
            while (i < seen && !firstFailure.compare_exchange_weak(seen, i)) {
            }
        }
        return d;
    };

    QFutureWatcher<Decoded> watcher;
    QEventLoop wait;
    connect(&watcher, &QFutureWatcherBase::finished, &wait, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::mapped(indexes, decode));
    // The window keeps painting while the pool decodes; input waits for the fill.
    if (!watcher.isFinished())
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    watcher.waitForFinished();

    const int filled = qMin(n, firstFailure.load());
    m_made.clear();
    for (int i = 0; i < filled; ++i) {
        if (std::optional<MadeThumbnail> made = watcher.resultAt(i).made) {
            made->cell = i;
            m_made.append(std::move(*made));
        }
    }
    for (int i = 0; i < kMultiCells; ++i) {
        TImage* image = ArImage->Items(i);
        if (i < filled) {
            const Decoded& d = watcher.resultAt(i);
            if (d.picture)
                image->setPicture(*d.picture);
            else
                image->clear();
            image->setStretch(stretch);
            caption(i)->setCaption(cells[i].caption);
        } else {
            image->clear();
            caption(i)->setCaption(QString());
        }
    }
    if (filled < n && error)
        *error = watcher.resultAt(filled).error;
    m_filling = false;
    return filled;
}

bool TFormMulti::setCellPicture(int cell, const QByteArray& bytes, bool stretch, QString* error)
{
    if (cell < 0 || cell >= kMultiCells) {
        if (error)
            *error = QStringLiteral("セル %1 はありません").arg(cell);
        return false;
    }
    ensureLaidOut();
    const Decoded d = decodeCell({bytes, {}, {}}, m_rects.pictures[0].size(), stretch);
    if (!d.picture) {
        if (error)
            *error = d.failed ? d.error : QStringLiteral("画像がありません");
        return false;
    }
    TImage* image = ArImage->Items(cell);
    image->setPicture(*d.picture);
    image->setStretch(stretch);
    return true;
}

TElidedLabel* TFormMulti::caption(int cell) const
{
    return static_cast<TElidedLabel*>(ArLabel->Items(cell));
}

void TFormMulti::S1Click()
{
    if (!m_settingsWindow)
        return;
    m_settingsWindow->show();
    m_settingsWindow->raise();
}

void TFormMulti::C1Click()
{
    close();
}

} // namespace viewing
