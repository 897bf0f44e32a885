#include "viewing/FormView.h"

#include "base/SettingsStore.h"
#include "controls/TTimer.h"
#include "viewing/TImage.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace viewing {

namespace {

constexpr int kTailHeight = 34;

// Shared by every view window of the run, the first and the extra ones.
QSize g_newWindowSize;

} // namespace

void TFormView::setNewWindowSize(QSize size)
{
    g_newWindowSize = size;
}

QSize TFormView::newWindowSize()
{
    return g_newWindowSize;
}

TFormView::TFormView(QWidget* parent)
    : base::TForm("FormView", QStringLiteral("View Form"), QStringLiteral("fmView"), QSize(365, 281), parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // The window may be as small as a tiny picture makes it.
    column->setSizeConstraint(QLayout::SetNoConstraint);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("ScrollBox"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    Panel1 = new QFrame();
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* inPanel = new QVBoxLayout(Panel1);
    inPanel->setContentsMargins(0, 0, 0, 0);
    Image1 = new TImage(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    // The panel decides the size; the picture's own size must not push it.
    Image1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    inPanel->addWidget(Image1);
    m_scroll->setWidget(Panel1);
    column->addWidget(m_scroll, 1);

    PanelTail = new QFrame(this);
    PanelTail->setObjectName(QStringLiteral("PanelTail"));
    PanelTail->setFrameShape(QFrame::StyledPanel);
    PanelTail->setFixedHeight(kTailHeight);
    auto* tail = new QHBoxLayout(PanelTail);
    tail->setContentsMargins(8, 2, 8, 2);
    CheckStretch = new QCheckBox(QStringLiteral("伸縮"), PanelTail);
    CheckStretch->setObjectName(QStringLiteral("CheckStretch"));
    CheckVisible = new QCheckBox(PanelTail);
    CheckVisible->setObjectName(QStringLiteral("CheckVisible"));
    CheckVisible->setChecked(true);
    CheckVisible->setVisible(false);
    BitBtn1 = new QPushButton(QStringLiteral("閉じる(&C)"), PanelTail);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAutoDefault(false);
    tail->addWidget(CheckStretch);
    tail->addWidget(CheckVisible);
    tail->addStretch(1);
    tail->addWidget(BitBtn1);
    column->addWidget(PanelTail);

    TimerClose = new TTimer(this);
    TimerClose->setObjectName(QStringLiteral("TimerClose"));

    connect(CheckStretch, &QCheckBox::clicked, this, &TFormView::CheckStretchClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TFormView::BitBtn1Click);

    applyStretch();
    restoreValues();
}

void TFormView::readValues(base::SettingsStore& s)
{
    const QSize recorded = newWindowSize();
    if (!recorded.isValid()) {
        s.readBounds(this, settingsPrefix());
        return;
    }
    s.readPosition(this, settingsPrefix());
    resize(recorded);
}

void TFormView::setPicture(const Picture& picture)
{
    Image1->setPicture(picture);
    if (Image1->hasPicture())
        m_range = Image1->pictureSize();
    applyStretch();
    // A new picture is looked at from its top left corner.
    m_scroll->horizontalScrollBar()->setValue(0);
    m_scroll->verticalScrollBar()->setValue(0);
}

void TFormView::setScrollRange(QSize range)
{
    m_range = range;
    applyStretch();
}

void TFormView::CheckStretchClick()
{
    applyStretch();
}

void TFormView::BitBtn1Click()
{
    CheckVisible->setChecked(false);
    close();
}

void TFormView::applyStretch()
{
    const bool stretch = CheckStretch->isChecked();
    Image1->setStretch(stretch);
    m_scroll->setWidgetResizable(stretch);
    if (stretch)
        return;
    // At its own size the picture is drawn from the top left of a panel as
    // large as the scroll range; without a range the panel fills the window.
    Panel1->resize(m_range.isValid() ? m_range : m_scroll->viewport()->size());
}

} // namespace viewing
