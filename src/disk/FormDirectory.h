#pragma once

#include "base/TForm.h"
#include "viewing/PictureKind.h"
#include "viewing/FormView.h"

#include <QPointer>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;

namespace viewing {
class TImage;
}

namespace disk {

class DirectoryPanel;

// The picture file browser ("画像ファイル表示"): a directory list and a file
// list with a preview of the selected file, from which the file is handed on
// for registration or deleted. The single picture window it is given follows
// its preview (without being shown by it).
class TFormDirectory : public base::TForm {
    Q_OBJECT
public:
    explicit TFormDirectory(QWidget* parent = nullptr);

    void setViewWindow(viewing::TFormView* view);
    viewing::TFormView* viewWindow() const { return m_view; }
    DirectoryPanel* panel() const { return m_panel; }
    // The ticked picture types: with any new one ticked, the list and the
    // preview take every ticked kind besides the browser's own.
    void setPictureTypes(const viewing::PictureTypes& types);
    QString directory() const;
    bool setDirectory(const QString& dir);
    // The full path of the file selected in the file list, or empty.
    QString selectedFile() const;

    // Loads the file at path into image when its extension is one the browser
    // shows, sets the caption and keeps the view window in step. False when
    // nothing was shown; a load failure is reported through loadFailed.
    bool ShowPicture(const QString& path, viewing::TImage* image);
    // Deletes the selected file without asking, re-reads the list and shows the
    // file that now stands at the same row, if any.
    void DeleteSelectedFile();
    // Deletes a file, as DeleteSelectedFile does when it is the selected one.
    void deleteFile(const QString& path);

    void FileListClick();
    void CheckStretchClick();
    void Button1Click();
    void ClickDelete();
    void Delete2Click();
    void R1Click();
    void N1Click();
    void MenuFileDeleteClick();
    void Close1Click();

    QMenuBar* MainMenu1;
    QAction* Close1;
    QMenu* File1;
    QAction* Delete1;
    QAction* R1;
    QMenu* Setting1;
    QAction* MenuFileDelete;
    QMenu* PopupMenu1; // on the file list
    QAction* Delete2;
    QMenu* PopupMenu2; // on the directory list
    QAction* N1;

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    viewing::TImage* Image1;
    QCheckBox* CheckStretch;
    QGroupBox* GroupBox1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPushButton* Button1;

signals:
    // A file could not be loaded; the application's error report shows it.
    void loadFailed(const QString& message);
    // "登録(&N)": the selected file is to become a new record; the receiver
    // deletes it after "登録後、ファイルを削除" once the record is written.
    void registerRequested(const QString& path);

protected:
    void readValues(base::SettingsStore& s) override;
    void writeValues(base::SettingsStore& s) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool showPicture(const QString& path, viewing::TImage* image, bool reportFailure);

    DirectoryPanel* m_panel;
    QPointer<viewing::TFormView> m_view;
    viewing::PictureTypes m_types;
    QString m_imageMask; // the mask of the filter "Image Files"
    // Set while DeleteSelectedFile picks its row again, which shows the file itself.
    bool m_reselecting = false;
};

} // namespace disk
