#pragma once

// The page "検索": four search slots (a field button and a keyword edit
// each), the and/or choice, the order of the result, the result grid with
// its count and a preview of the selected result's picture.

#include "search/QueryBuilder.h"
#include "viewing/PictureLoader.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <optional>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;
class TArButton;
class TArEdit;
class TDBNavigator;
class TRadioGroup;
class TTimer;

namespace store {
class DataMod;
}

namespace viewing {
class TImage;
}

namespace search {

class SearchHost;

class SearchPage : public QObject {
    Q_OBJECT
public:
    SearchPage(SearchHost& host, store::DataMod& dm, QWidget* page, TTimer* timer);

    // The progress pop-up shows, and the search runs on a later turn of the
    // event loop (a second start before then runs one search).
    void StartSearch();
    void RunSearch();
    // Slots emptied, count cleared, the result closed.
    void ClearSearchConditions();
    // The slot controls into the group, at their places (start-up).
    void placeSlots();
    // The field of a slot, chosen from the open database's user items.
    void ChooseSearchField(int slot);
    // Slots on items renamed from before to after (by position) take the new names.
    void renameSlotFields(const QStringList& before, const QStringList& after);
    void ShowSearchPreview();
    void FitSearchPreview();
    // The same statement as the last search, run again without the pop-up
    // (after a record of the result was deleted); the grid keeps its row.
    void SearchAgain();
    // The serial of the result row the grid has selected, or 0 when there is none.
    qint32 selectedSerial();
    // The selected result's picture for a view window, decoded whole; the
    // preview's picture when it came from the Web. Nothing without a selection.
    std::optional<viewing::Picture> viewPicture();
    // The serial of the result's current row, or 0 when there is none.
    qint32 currentSerial() const;
    // The current result row's value of user item 3 (the view window's title).
    QString currentItem3() const;

    int HitCount = 0;
    std::array<QString, 4> SlotField;

    QGroupBox* GroupKensaku;
    QPushButton* Button10;
    QPushButton* Button9;
    TRadioGroup* RadioJouken;
    TArButton* ArButtonKensaku;
    TArEdit* ArEditKeyword;
    QLabel* LabelHokan2;
    TDBNavigator* DBNavigator6;
    QCheckBox* CheckShoujun;
    TRadioGroup* RadioHyouji2;
    QFrame* PanelKensaku;
    viewing::TImage* ImageKensaku;
    QLabel* Label6;
    QLabel* LabelCt;
    QLabel* Label11;
    QTableView* DBGridQuery;
    QMenu* PopQuery;
    QAction* N4;
    QAction* N5;
    QAction* N6;
    QAction* Delete3;

private:
    // Runs a statement into the result and its count; false when the store refused it.
    bool runStatement(const SearchStatement& statement);
    bool moveToGridRow();
    SearchStatement m_lastStatement;
    SearchHost& m_host;
    store::DataMod& m_dm;
    TTimer* m_timer;
};

} // namespace search
