#pragma once

// What the search page needs of the main window and of the open picture
// database, which it cannot reach itself.

#include <QString>
#include <QStringList>

class QWidget;

namespace search {

class TFormPopJouken;
class TFormPopKensaku;

class SearchHost {
public:
    virtual ~SearchHost() = default;

    virtual void setStatus(int panel, const QString& text) = 0;
    virtual void message(const QString& text) = 0;
    virtual void reportError(const QString& text) = 0;
    virtual TFormPopJouken* fieldChooser() = 0;
    virtual TFormPopKensaku* searchProgress() = 0;

    // The open database: its name (empty when none is open), its user
    // items, its storage mode.
    virtual QString databaseName() = 0;
    virtual QStringList fieldLabels() = 0;
    virtual bool indexMode() = 0;
    // The record page and the image table stand on the serial's record;
    // false when the image table has no row of it.
    virtual bool locateRecordAndImage(qint32 serial) = 0;
    // The record page shows each record the navigator moves to.
    virtual void showOnNavigate() = 0;
    // The preview's fitting: the file list's "伸縮", and the record page's
    // "伸縮" and "比率調整" both on.
    virtual bool previewStretch() = 0;
    virtual bool previewKeepRatio() = 0;
    // A picture at a Web address, fetched and shown.
    virtual void fetchSingleImage(const QString& address) = 0;
};

} // namespace search
