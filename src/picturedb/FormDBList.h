#pragma once

#include "base/TForm.h"

class QPushButton;
class TDBGrid;

namespace store {
class DataSource;
}

namespace picturedb {

// The database list ("データベースリスト"): a grid on the catalogue, whose
// current row is the row selected in the list. A double click or Enter in the
// grid ends it with OK; Esc, "ｷｬﾝｾﾙ", "閉じる(&C)" and closing the window with
// cancel.
class TFormDBList : public base::TForm {
    Q_OBJECT
public:
    explicit TFormDBList(QWidget* parent = nullptr);

    // Binds the grid to the catalogue's data source (once) and selects its
    // current row.
    void setCatalogue(store::DataSource* catalogue);

    TDBGrid* DBGrid1;
    QPushButton* BitBtn1; // 閉じる(&C)
    QPushButton* Button1; // ｷｬﾝｾﾙ

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace picturedb
