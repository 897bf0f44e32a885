#pragma once

// The pages "新規データベース" and "ＤＢ設定/削除" of the database tab: the
// storage mode, the item lists of the database being defined and of the open
// one, and the password group.

#include <QObject>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TDBGrid;
class TMsgBitBtn;
class TRadioGroup;

namespace store {
class DataMod;
class DataSource;
} // namespace store

namespace picturedb {

class DatabasePages : public QObject {
    Q_OBJECT
public:
    DatabasePages(store::DataMod& dm, QWidget* newPage, QWidget* settingsPage);

    // Both storage-mode choices show the open database's mode.
    void showStorageMode(bool indexMode);
    // "利用する": shows the label, the box and the button and puts the focus in
    // the box; unticked, the box is emptied and all three are hidden.
    void CheckPasswordClick();

    // 新規データベース
    TRadioGroup* RadioHokan;
    TRadioGroup* RadioKoumoku;
    QGroupBox* GroupKoumoku;
    TDBGrid* DBGridShinki;
    QPushButton* ButtonKoushin;
    QPushButton* ButtonDelete;
    QPushButton* ButtonTsuika;
    QPushButton* ButtonCancelKoumoku;
    QPushButton* ButtonNew;
    QPushButton* Button11;

    // ＤＢ設定/削除
    QGroupBox* GroupKoumokuCopy;
    TDBGrid* DBGrid1;
    store::DataSource* DtItemCopy; // the item list with only the names editable
    QPushButton* Button16;
    QPushButton* ButtonCancelKmk;
    QPushButton* ButtonAdd;
    TRadioGroup* RadioHokanDisp;
    TMsgBitBtn* MsgBitBtn4;
    QGroupBox* GroupPassword;
    QCheckBox* CheckPassword;
    QLabel* LabelPass;
    QLineEdit* EditPassword;
    QPushButton* ButtonSettei;
};

} // namespace picturedb
