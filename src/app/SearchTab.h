#pragma once

// The page "検索" wired to the main window and the open picture database:
// what the search page needs of them, the result grid's columns with their
// stored widths, and the commands of the result's pop-up menu.

#include "search/SearchHost.h"

#include <QObject>

class TTimer;

namespace base {
class SettingsStore;
}

namespace store {
class DataMod;
}

namespace picturedb {
class PictureDatabase;
}

namespace search {
class SearchPage;
}

namespace app {

class TFormMain;

class SearchTab : public QObject, public search::SearchHost {
    Q_OBJECT
public:
    SearchTab(TFormMain& form, picturedb::PictureDatabase& photo, store::DataMod& dm, QWidget* page, TTimer* timer);

    search::SearchPage& page() { return *m_page; }

    // The result grid's columns 1 to 3 and the order items 1 to 4 show the
    // open database's user items; slots on a renamed item follow it.
    void bindFields(const QString& database, const QStringList& labels);
    // The result's "削除": the selected result's record, then the same search
    // again, so that no row of a deleted record stays in the grid.
    void Delete3Click();

    // The result grid's column widths.
    void readValues(base::SettingsStore& s);
    void writeValues(base::SettingsStore& s);

    // SearchHost
    void setStatus(int panel, const QString& text) override;
    void message(const QString& text) override;
    void reportError(const QString& text) override;
    search::TFormPopJouken* fieldChooser() override;
    search::TFormPopKensaku* searchProgress() override;
    QString databaseName() override;
    QStringList fieldLabels() override;
    bool indexMode() override;
    bool locateRecordAndImage(qint32 serial) override;
    void showOnNavigate() override;
    bool previewStretch() override;
    bool previewKeepRatio() override;
    void fetchSingleImage(const QString& address) override;

private:
    TFormMain& m_form;
    picturedb::PictureDatabase& m_photo;
    store::DataMod& m_dm;
    search::SearchPage* m_page;
    // What the grid and the slots were last bound to: a rename keeps the database.
    QString m_boundDatabase;
    QStringList m_boundLabels;
};

} // namespace app
