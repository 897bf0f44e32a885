#pragma once

// The page "登録/変更/削除": one record of the open database with its system
// fields, its first four user items and its picture; moving through the
// records, writing and discarding edits, deleting records.

#include "viewing/PictureLoader.h"

#include <QObject>
#include <optional>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class TDBEdit;
class TDBMemo;
class TDBNavigator;
class TMsgBitBtn;

namespace viewing {
class TImage;
}

namespace picturedb {

class Catalogue;
class PhotoHost;
struct DatabaseState;

class RecordPage : public QObject {
    Q_OBJECT
public:
    RecordPage(PhotoHost& host, Catalogue& catalogue, DatabaseState& state, QWidget* page);

    // Shows the current record's picture (the image row is found by the
    // record's serial) and disables "更新(&U)".
    void ShowRecordPicture();
    // The record-change display, while ShowOnNavigate is set.
    void ShowCurrentRecord();
    // Image table: the serial's row, or "画像ファイル Cannot Open" in the
    // status bar when the table cannot be opened.
    bool LocateImage(qint32 serial);
    void ButtonUpdateClick();
    void ButtonCancelClick();
    void DeleteCurrentRecord();
    // The search result's "削除": the record of the serial.
    void DeleteRecordOf(qint32 serial);
    // The current record's picture for a view window: decoded whole, or the
    // one shown when it cannot be read again (a picture fetched from the Web).
    std::optional<viewing::Picture> viewPicture();
    // The current record's user item k (1 to 4); empty when there is none.
    QString userItem(int k);
    void FitPicture();
    // The item controls take the user items' labels (empty: unbound).
    void bindFields(const QStringList& labels);
    // Shows a picture as the record's picture (the browser's preview).
    void showPicture(const viewing::Picture& picture);
    // A record started from the browser: its image row has this serial.
    void startedRecord(qint32 serial) { m_shownSerial = serial; }
    // Stops the record-change display during a registration run.
    void setDisplaySuspended(bool on) { m_suspended = on; }
    void clearPicture();
    // A record started from the browser whose file is to go once the record
    // is written; discarding the record keeps the file.
    void deleteFileOnceWritten(qint32 serial, const QString& path);

signals:
    // The record of a file given to deleteFileOnceWritten was written.
    void fileOfWrittenRecord(const QString& path);

public:
    QGroupBox* GroupDatabase;
    TDBEdit* DBEditRenban;
    TDBEdit* DBEditKoushinbi;
    TDBEdit* DBEditSize;
    QLabel* LabelNo2;
    QLabel* LabelNo3;
    QLabel* LabelNo4;
    QLabel* LabelNo5;
    TDBEdit* DBEdit1;
    TDBEdit* DBEdit2;
    TDBEdit* DBEdit3;
    TDBMemo* DBMemo1;
    QPushButton* ButtonUpdate;
    QPushButton* ButtonCancel;
    TMsgBitBtn* MsgBitBtn3;
    QPushButton* Button7;
    TDBNavigator* DBNavigator5;
    QLabel* LabelHokan;
    viewing::TImage* DBImage;
    QFrame* PanelPhoto;
    viewing::TImage* ImagePhoto;
    QGroupBox* GroupPicture;
    QCheckBox* CheckStretch2;
    QCheckBox* CheckHiritsu2;
    QPushButton* Button12;

private:
    // The current record's picture decoded for box (invalid: full size).
    std::optional<viewing::Picture> recordPicture(QSize box, QString* error);
    std::optional<qint32> currentSerial();
    void writeEdits();
    void guarded(const std::function<void()>& f);
    // Once the browser's record is no longer pending: its file goes when
    // the record was written under serial, and stays when it was discarded.
    void settleFileToDelete(std::optional<qint32> serial);

    PhotoHost& m_host;
    Catalogue& m_catalogue;
    DatabaseState& m_state;
    bool m_suspended = false;
    // The serial the current record had when it was shown: an edited 連番
    // takes its image row along.
    std::optional<qint32> m_shownSerial;
    struct FileToDelete {
        QString table;
        qint32 serial = 0;
        QString path;
    };
    std::optional<FileToDelete> m_fileToDelete;
};

} // namespace picturedb
