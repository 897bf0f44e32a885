#pragma once

// The "ファイルリスト" tab of the main window: the file list grid with its
// display order, marks and deletion, the preview box, the hard-disk run
// that fills the list, and the search for near duplicates among its rows.

#include "disk/DiskScan.h"
#include "viewing/Fingerprinter.h"

#include <QFutureWatcher>
#include <QObject>
#include <QSize>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class TDBEdit;
class TDBGrid;
class TDBNavigator;
class TMsgBitBtn;
class TRadioGroup;

namespace base {
class SettingsStore;
}

namespace viewing {
class TImage;
}

namespace app {

class TFormMain;

class FileListTab : public QObject, public disk::ScanHost {
    Q_OBJECT
public:
    explicit FileListTab(TFormMain& form);
    ~FileListTab() override;

    // The hard-disk run: reads the settings dialog and scans the directory box.
    void RunDiskScan();
    disk::DiskScan& scan() { return *m_scan; }

    // Handlers
    void DBGridListCellClick(const QString& field);
    void PreviewListFile();
    void RadioHyoujiClick();
    void MarkAllFiles();       // 全選択(&Z)
    void DeleteMarkedFiles();  // after the confirmation of either 削除
    // "リスト消去", also the menu's "ファイルリスト消去" and the list-box panel's "消去(&R)".
    void ButtonDBListDeleteClick();
    void CheckStretchClick();
    void CheckHiritsuClick();
    // Fits the preview box to the picture and shows its size in the labels.
    void FitPicture();
    // 類似(&S): fingerprints every row, then marks all but the largest
    // picture of each group of near ones.
    void ButtonSimilarClick();
    // EditSimilar as a number of bits; another text counts as the default.
    int similarDistance() const;
    static constexpr int kSimilarDefault = 10;

    void readValues(base::SettingsStore& s);
    void writeValues(base::SettingsStore& s);

    // Fingerprints the rows of a scan (with CheckNoDuplicate on) and of 類似.
    viewing::Fingerprinter& fingerprinter() { return *m_fingerprinter; }

    // The current row's full path and file name; empty when the list is empty.
    QString currentPath() const;
    QString currentFileName() const;
    // The file the preview shows; empty before the first preview.
    QString previewPath() const { return m_previewPath; }

    TDBGrid* DBGridList;
    TRadioGroup* RadioHyouji;
    QPushButton* ButtonDBListDelete;
    QPushButton* Button2;
    TMsgBitBtn* MsgBitBtn2;
    QPushButton* ButtonDBName;
    TDBEdit* DBEditDBName; // the catalogue's current DB名称 beside ButtonDBName
    QPushButton* Button51;
    QCheckBox* CheckFileDelete;
    QFrame* PanelImage;
    viewing::TImage* Image;
    QCheckBox* CheckStretch;
    QCheckBox* CheckHiritsu;
    QLabel* LabelWidth;
    QLabel* LabelHeight;
    QMenu* PopupList;
    // The collapsed list-box variant.
    QListWidget* ListImage;
    QPushButton* ButtonListAll;
    TMsgBitBtn* MsgBitBtn1;
    QPushButton* ButtonListClear;
    QPushButton* ButtonSimilar;
    QLineEdit* EditSimilar;

    // ScanHost
    bool stopRequested() override;
    void setStatus(int panel, const QString& text) override;
    void yield() override;
    void progress(const disk::ScanProgress& p) override;
    void logError(const QString& line) override;
    void applyDisplayOrder() override { RadioHyoujiClick(); }
    void showFileList() override;
    void fileSeen(const QString& fullPath, qint64 size, const QDateTime& modified) override;

private:
    enum class Purpose { Scan, Similar };
    // Starts fingerprinting, once a run still going on has stopped.
    void fingerprint(std::vector<viewing::FileStamp> files, Purpose purpose);
    void fingerprintingProgress(qsizetype done, qsizetype total);
    void fingerprintingFinished(bool stopped);
    // The groups are found on a worker thread: at large distances among
    // many rows that takes long, and 中止 ends it.
    using SimilarGroups = std::vector<std::vector<qsizetype>>;
    void startGrouping();
    void groupingFinished();
    void markSimilar(const SimilarGroups& groups);
    bool checkNoDuplicate() const;

    void buildGridPanel();
    void buildListBoxPanel();
    TMsgBitBtn* deleteButton(const char* name, const QString& caption, QWidget* parent);

    TFormMain& m_form;
    std::unique_ptr<disk::DiskScan> m_scan;
    QString m_previewPath;
    std::unique_ptr<viewing::Fingerprinter> m_fingerprinter;
    Purpose m_purpose = Purpose::Scan;
    struct Pending {
        std::vector<viewing::FileStamp> files;
        Purpose purpose;
    };
    std::optional<Pending> m_pending;
    // The rows being grouped, each with a hash, in row order.
    struct SimilarRow {
        viewing::FileStamp file;
        QSize pixels;
    };
    std::vector<SimilarRow> m_similar;
    QFutureWatcher<SimilarGroups> m_grouping;
    std::atomic<bool> m_groupingStop{false};
    // The files of the scan going on, kept while CheckNoDuplicate is on.
    std::vector<viewing::FileStamp> m_seen;
    bool m_collecting = false;
};

} // namespace app
