#pragma once

// A grid bound to a data source, and a navigator of first/prior/next/last
// buttons on it. The grid's current row is the handle's cursor: selecting a
// row moves the cursor, and a moved cursor selects its row.

#include <QTableView>
#include <QWidget>
#include <functional>

class QKeyEvent;
class QToolButton;

namespace store {
class DataSource;
}

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(const char* name, QWidget* parent = nullptr);
    void setDataSource(store::DataSource* source);
    store::DataSource* dataSource() const { return m_source; }
    void setColumnWidths(const QList<int>& widths);
    // Narrow columns that must show their whole text: the narrow grid font,
    // one pixel of margin beside the text, and the given columns show the
    // date of a date-time.
    void setCompactCells(const QList<int>& dateOnlyColumns);
    // The field shown in the current column, or empty.
    QString selectedField() const;
    // The grid's own editing keys: Insert, or Down on the last row, asks for
    // a new row; Ctrl+Delete for deleting the current one.
    void setEditingKeys(bool on) { m_editingKeys = on; }

signals:
    void appendRequested();
    void deleteRequested();
    // A click on a cell: the row is current already; field is its column's field.
    void cellClicked(const QString& field);
    void cellDoubleClicked(const QString& field);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void followCursor(int recNo);
    store::DataSource* m_source = nullptr;
    int m_column = 0;
    bool m_editingKeys = false;
};

// The narrow grid font and one pixel of margin beside each cell's text.
void makeCellsCompact(QTableView* view);

class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    TDBNavigator(const char* name, store::DataSource* source, QWidget* parent = nullptr);
    // Buttons 0 first, 1 prior, 2 next, 3 last, named after the navigator
    // ("DBNavigator5_First", "_Prior", "_Next", "_Last").
    QToolButton* button(int i) const { return m_buttons[i]; }

    // Runs before every move; a StoreError it raises stops the move.
    void setBeforeMove(std::function<void()> f) { m_beforeMove = std::move(f); }

signals:
    // After a button moved the cursor.
    void clicked(int button);
    // A button could not move: the handle refused to write its pending edit.
    void storeError(const QString& message);

private:
    bool move(int button);
    store::DataSource* m_source;
    QToolButton* m_buttons[4];
    std::function<void()> m_beforeMove;
};

