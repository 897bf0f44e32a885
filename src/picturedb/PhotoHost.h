#pragma once

// What the picture-database pages need of the main window that holds them.

#include "viewing/PictureKind.h"

#include <QString>

class QWidget;

namespace store {
class Store;
}

namespace viewing {
class TFormView;
struct Picture;
} // namespace viewing

namespace picturedb {

class TFormDBList;
class TFormPassword;

class PhotoHost {
public:
    virtual ~PhotoHost() = default;

    virtual void setStatus(int panel, const QString& text) = 0;
    virtual void LogNormal(const QString& line) = 0;
    // A modal message box with the text.
    virtual void message(const QString& text) = 0;
    // The general error report: a store's or the file system's message.
    virtual void reportError(const QString& text) = 0;
    // The window that dialogs and new view windows belong to.
    virtual QWidget* hostWindow() = 0;
    virtual TFormDBList* databaseList() = 0;
    virtual TFormPassword* passwordWindow() = 0;
    // The shared view window and the view-window mode.
    virtual viewing::TFormView* sharedViewWindow() = 0;
    // Fetches the picture at a Web address and shows it (the single fetch).
    virtual void fetchSingleImage(const QString& address) = 0;
    // Shows the picture file browser.
    virtual void showFileBrowser() = 0;
    // Brings the page "登録/変更/削除" to the front.
    virtual void showRecordPage() = 0;
    // Lets the event loop paint and run timers during a long run, without
    // taking user input other than "中止"; false when the run should stop
    // ("中止" was pressed, or the window closes).
    virtual bool yieldDuringRun() = 0;
    // A registration run: begun with the number of rows it will handle, told
    // the rows handled so far after each, and ended on every way out. Only
    // between begin and end does "中止" stop it.
    virtual void beginLongRun(int total) = 0;
    virtual void longRunProgress(int done) = 0;
    virtual void endLongRun() = 0;
    // The picture types ticked in the settings dialog, as they are now.
    virtual viewing::PictureTypes pictureTypes() = 0;
    // Whether a picture whose bytes the database holds is registered again
    // ("同じ画像は保存・登録しない" off) or skipped.
    virtual bool noDuplicates() = 0;
    // The store on this machine, which keeps the fingerprints of files even
    // while the picture databases are on a server.
    virtual store::Store& localStore() = 0;
};

} // namespace picturedb
