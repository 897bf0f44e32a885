#include "controls/RadioGroup.h"

#include <QRadioButton>
#include <QGridLayout>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(const char* name, const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent)
{
    setObjectName(QLatin1String(name));
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items.at(i), this);
        b->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(i));
        layout->addWidget(b);
        m_items << b;
        connect(b, &QRadioButton::clicked, this, [this, i] { emit clicked(i); });
    }
}

void TRadioGroup::setColumns(int columns)
{
    if (columns < 1)
        return;
    delete layout(); // the items stay; only their arrangement changes
    auto* grid = new QGridLayout(this);
    for (int i = 0; i < m_items.size(); ++i)
        grid->addWidget(m_items.at(i), i / columns, i % columns);
}

int TRadioGroup::itemIndex() const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i)->isChecked())
            return i;
    }
    return -1;
}

void TRadioGroup::setItemIndex(int index)
{
    if (index >= 0 && index < m_items.size()) {
        m_items.at(index)->setChecked(true);
        return;
    }
    // An index outside the items selects none.
    for (QRadioButton* b : m_items) {
        b->setAutoExclusive(false);
        b->setChecked(false);
        b->setAutoExclusive(true);
    }
}

QRadioButton* TRadioGroup::item(int index) const
{
    return m_items.value(index);
}

void TRadioGroup::setItemText(int index, const QString& text)
{
    if (QRadioButton* b = item(index))
        b->setText(text);
}
