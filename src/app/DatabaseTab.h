#pragma once

// The tab "データベース": the name box over the four pages of the open
// picture database, what those pages need of the main window, and the
// picture commands while the tab is in front.

#include "picturedb/PhotoHost.h"

#include <QObject>
#include <memory>
#include <optional>

class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class TTimer;

namespace disk {
class TFormDirectory;
}

namespace store {
class DataMod;
}

namespace picturedb {
class PictureDatabase;
}

namespace app {

class TFormMain;
class SearchTab;

class DatabaseTab : public QObject, public picturedb::PhotoHost {
    Q_OBJECT
public:
    DatabaseTab(TFormMain& form, store::DataMod& dm, QWidget* tab, TTimer* searchTimer);
    ~DatabaseTab() override;

    picturedb::PictureDatabase& photo() { return *m_photo; }
    SearchTab& search() { return *m_search; }

    // "画像" and "複数": the record's picture on the record page, the selected
    // result's on the search page, titled with its user item 3, in the shared
    // or a new view window. The other pages show nothing.
    void ShowSelectedPicture(bool newWindow);
    // "ﾃｰﾌﾞﾙ" on the record page: the record's picture in a new view window,
    // titled with user items 1 and 2.
    void ShowRecordInNewWindow();
    bool recordPageInFront() const;
    // The browser's "登録(&N)" makes a record here.
    void setBrowser(disk::TFormDirectory* browser);

    QLineEdit* EditDBName;
    QPushButton* Button17;
    QTabWidget* PagePhoto;
    QWidget* TabToroku;
    QWidget* TabKensaku;
    QWidget* TabShinki;
    QWidget* TabDBSettei;

    // PhotoHost
    void setStatus(int panel, const QString& text) override;
    void LogNormal(const QString& line) override;
    void message(const QString& text) override;
    void reportError(const QString& text) override;
    QWidget* hostWindow() override;
    picturedb::TFormDBList* databaseList() override;
    picturedb::TFormPassword* passwordWindow() override;
    viewing::TFormView* sharedViewWindow() override;
    void fetchSingleImage(const QString& address) override;
    void showFileBrowser() override;
    void showRecordPage() override;
    bool yieldDuringRun() override;
    void beginLongRun(int total) override;
    void longRunProgress(int done) override;
    void endLongRun() override;
    viewing::PictureTypes pictureTypes() override;
    bool noDuplicates() override;
    store::Store& localStore() override;

private:
    void buildPages(QWidget* tab);
    void showRecordPicture(bool newWindow);
    void showResultPicture(bool newWindow);
    // Without a picture: the message that asks for one.
    void showInViewWindow(const std::optional<viewing::Picture>& picture, const QString& title, bool newWindow);

    TFormMain& m_form;
    picturedb::PictureDatabase* m_photo = nullptr;
    std::unique_ptr<SearchTab> m_search;
};

} // namespace app
