#pragma once

#include <QGroupBox>
#include <QList>

class QRadioButton;

// A captioned group of radio buttons with an item index (-1 when none is
// selected). clicked() reports a click on an item, not programmatic changes.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const char* name, const QString& caption, const QStringList& items, QWidget* parent = nullptr);
    int itemIndex() const;
    void setItemIndex(int index);
    int count() const { return int(m_items.size()); }
    QRadioButton* item(int index) const;
    void setItemText(int index, const QString& text);
    // Lays the items out in this many columns, row by row (one at creation).
    void setColumns(int columns);

signals:
    void clicked(int index);

private:
    QList<QRadioButton*> m_items;
};
