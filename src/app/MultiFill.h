#pragma once

// "ﾃｰﾌﾞﾙ" on the search: the first sixty results of the search in the
// multi-picture window, from the image table, or in an index-mode database
// from their files and Web addresses.

#include <QObject>

class QNetworkAccessManager;

namespace app {

class TFormMain;

class MultiFill : public QObject {
    Q_OBJECT
public:
    explicit MultiFill(TFormMain& form);

    void FillMultiFromSearch();

private:
    // An index-mode cell's picture at a Web address, shown when it arrives.
    void fetchCell(int cell, const QString& address);

    TFormMain& m_form;
    QNetworkAccessManager* m_fetcher = nullptr;
};

} // namespace app
