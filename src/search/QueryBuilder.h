#pragma once

// The search statement: one line of the store's query language built from the
// four search slots, and the parameters it needs.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <array>

namespace search {

struct SearchSlot {
    QString field;   // the chosen field; empty: the slot takes no part
    QString caption; // the slot button's caption, the field's label
    QString keyword; // as typed, blanks included
};

struct SearchRequest {
    QString database;          // also the name of its record table
    QStringList fieldLabels;   // the user items; the first four are selected
    std::array<SearchSlot, 4> slotInputs;
    bool orJoin = false;       // "OR" instead of "AND"
    QString orderColumn;       // the selected order item's text
    bool ascending = true;
    // For a server: every name quoted (a server folds bare names to lower
    // case), and letter case ignored as the local store's Like ignores it.
    bool server = false;
};

struct SearchStatement {
    QString sql;
    QList<QPair<QString, QString>> params; // name without the colon, value
};

// Eight columns, always in this order: 連番, サイズ, 更新日, 画像種別, then
// user items 1 to 4 (a missing item is selected as NULL, which keeps the
// positions). One bracket per slot with a field and a keyword, joined by
// " and " or " or  ", each bound to ":target" + the slot's number; two
// blanks between the last bracket and "order by". On a server each bracket
// compares the item's text with ILIKE.
SearchStatement buildSearch(const SearchRequest& request);

} // namespace search
