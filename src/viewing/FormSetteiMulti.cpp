#include "viewing/FormSetteiMulti.h"

#include "base/Named.h"
#include "base/SettingsStore.h"
#include "viewing/FormMulti.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace viewing {

namespace {

using base::SettingsStore;

const QString kPrefix = QStringLiteral("fmSetteiMulti");

QScrollBar* scrollBar(const char* name, Qt::Orientation orientation, int min, int max, int value, QWidget* parent)
{
    auto* bar = named<QScrollBar>(name, orientation, parent);
    bar->setRange(min, max);
    bar->setPageStep(10);
    bar->setValue(value);
    return bar;
}

// A label that shows a scroll bar's position, written on every change.
QLabel* positionLabel(const char* name, QScrollBar* bar, QWidget* parent)
{
    auto* label = named<QLabel>(name, QString::number(bar->value()), parent);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("-000")));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QObject::connect(bar, &QScrollBar::valueChanged, label, [label](int v) { label->setText(QString::number(v)); });
    return label;
}

QLineEdit* numberEdit(const char* name, const QString& text, QWidget* parent)
{
    auto* e = named<QLineEdit>(name, text, parent);
    e->setMaximumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    return e;
}

} // namespace

TFormSetteiMulti::TFormSetteiMulti(QWidget* parent)
    : base::TForm("FormSetteiMulti", QStringLiteral("マルチ画面 設定"), kPrefix, QSize(261, 269), parent)
{
    auto* column = new QVBoxLayout(this);
    auto* grid = new QGridLayout();
    column->addLayout(grid);

    ScrollSize = scrollBar("ScrollSize", Qt::Horizontal, 0, 400, 100, this);
    LabelSize = positionLabel("LabelSize", ScrollSize, this);
    grid->addWidget(new QLabel(QStringLiteral("サイズ"), this), 0, 0);
    grid->addWidget(ScrollSize, 0, 1);
    grid->addWidget(LabelSize, 0, 2);

    ScrollHiritsu = scrollBar("ScrollHiritsu", Qt::Horizontal, -100, 100, 0, this);
    LabelHiritsu = positionLabel("LabelHiritsu", ScrollHiritsu, this);
    grid->addWidget(new QLabel(QStringLiteral("比率"), this), 1, 0);
    grid->addWidget(ScrollHiritsu, 1, 1);
    grid->addWidget(LabelHiritsu, 1, 2);
    grid->setColumnStretch(1, 1);

    // Rows and columns with the caption switch, beside the caption band
    // height on a vertical bar.
    auto* lower = new QHBoxLayout();
    column->addLayout(lower);
    auto* cells = new QGridLayout();
    lower->addLayout(cells);
    EditGyou = numberEdit("EditGyou", QStringLiteral("6"), this);
    EditRetsu = numberEdit("EditRetsu", QStringLiteral("10"), this);
    cells->addWidget(new QLabel(QStringLiteral("縦"), this), 0, 0);
    cells->addWidget(EditGyou, 0, 1);
    cells->addWidget(new QLabel(QStringLiteral("行"), this), 0, 2);
    cells->addWidget(new QLabel(QStringLiteral("横"), this), 1, 0);
    cells->addWidget(EditRetsu, 1, 1);
    cells->addWidget(new QLabel(QStringLiteral("列"), this), 1, 2);
    CheckTitle = namedCheckBox("CheckTitle", QStringLiteral("タイトル表示"), true, this);
    cells->addWidget(CheckTitle, 2, 0, 1, 3);
    lower->addStretch(1);

    ScrollTitle = scrollBar("ScrollTitle", Qt::Vertical, 0, 80, 20, this);
    ScrollTitle->setPageStep(5);
    ScrollTitle->setMinimumHeight(70);
    LabelTitle = positionLabel("LabelTitle", ScrollTitle, this);
    lower->addWidget(new QLabel(QStringLiteral("幅"), this));
    lower->addWidget(ScrollTitle);
    lower->addWidget(LabelTitle);
    column->addStretch(1);

    auto* buttons = new QHBoxLayout();
    Button1 = named<QPushButton>("Button1", QStringLiteral("再表示(&R)"), this);
    BitBtnShuuryou = named<QPushButton>("BitBtnShuuryou", QStringLiteral("閉じる"), this);
    // Enter in an edit must not close the window or lay out by surprise.
    Button1->setAutoDefault(false);
    BitBtnShuuryou->setAutoDefault(false);
    buttons->addWidget(Button1);
    buttons->addStretch(1);
    buttons->addWidget(BitBtnShuuryou);
    column->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, &TFormSetteiMulti::Button1Click);
    connect(BitBtnShuuryou, &QPushButton::clicked, this, &TFormSetteiMulti::BitBtnShuuryouClick);

    restoreValues();
}

void TFormSetteiMulti::setMultiWindow(TFormMulti* multi)
{
    m_multi = multi;
}

TFormMulti* TFormSetteiMulti::multiWindow() const
{
    return m_multi;
}

MultiSettings TFormSetteiMulti::settings() const
{
    MultiSettings m;
    m.size = ScrollSize->value();
    m.hiritsu = ScrollHiritsu->value();
    m.rows = EditGyou->text();
    m.columns = EditRetsu->text();
    m.titles = CheckTitle->isChecked();
    m.titleHeight = ScrollTitle->value();
    return m;
}

bool TFormSetteiMulti::LayoutMulti()
{
    const MultiLayoutResult r = computeMultiLayout(settings());
    switch (r.error) {
    case MultiLayoutResult::Error::None:
        break;
    case MultiLayoutResult::Error::TooManyCells:
        QMessageBox::information(this, QStringLiteral("Quillon"), r.message);
        return false;
    case MultiLayoutResult::Error::NotANumber:
        QMessageBox::critical(this, QStringLiteral("Quillon"), r.message);
        return false;
    }
    if (m_multi)
        m_multi->applyLayout(r.rects);
    return true;
}

void TFormSetteiMulti::Button1Click()
{
    LayoutMulti();
}

void TFormSetteiMulti::BitBtnShuuryouClick()
{
    close();
}

void TFormSetteiMulti::readValues(SettingsStore& s)
{
    s.readBounds(this, settingsPrefix());
    const QString p = kPrefix + QLatin1Char('.');
    ScrollSize->setValue(s.readInteger(SettingsStore::Setting, p + QStringLiteral("Size"), 100));
    ScrollHiritsu->setValue(s.readInteger(SettingsStore::Setting, p + QStringLiteral("Hiritsu"), 0));
    ScrollTitle->setValue(s.readInteger(SettingsStore::Setting, p + QStringLiteral("Title"), 20));
    EditGyou->setText(s.readString(SettingsStore::Setting, p + QStringLiteral("Gyou"), EditGyou->text()));
    EditRetsu->setText(s.readString(SettingsStore::Setting, p + QStringLiteral("Retsu"), EditRetsu->text()));
    // The caption switch has the bare prefix for its name.
    CheckTitle->setChecked(s.readBool(SettingsStore::Setting, kPrefix, true));
}

void TFormSetteiMulti::writeValues(SettingsStore& s)
{
    s.writeBounds(this, settingsPrefix());
    const QString p = kPrefix + QLatin1Char('.');
    s.writeInteger(SettingsStore::Setting, p + QStringLiteral("Size"), ScrollSize->value());
    s.writeInteger(SettingsStore::Setting, p + QStringLiteral("Hiritsu"), ScrollHiritsu->value());
    s.writeInteger(SettingsStore::Setting, p + QStringLiteral("Title"), ScrollTitle->value());
    s.writeString(SettingsStore::Setting, p + QStringLiteral("Gyou"), EditGyou->text());
    s.writeString(SettingsStore::Setting, p + QStringLiteral("Retsu"), EditRetsu->text());
    s.writeBool(SettingsStore::Setting, kPrefix, CheckTitle->isChecked());
}

} // namespace viewing
