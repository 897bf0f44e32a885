#pragma once

// What becomes of a downloaded picture: the size and ratio tests, then the
// picture database or the file list; the single fetch shown in the view
// window; and a stored picture written out to a file.

#include <QElapsedTimer>
#include <QObject>
#include <memory>

class QFileDialog;

namespace web {
class SavedPictures;
}

namespace app {

class TFormMain;

class PictureSaving : public QObject {
    Q_OBJECT
public:
    explicit PictureSaving(TFormMain& form);
    ~PictureSaving() override;

    // A picture received on download slot n: kept (true) or not. Raises
    // web::AcceptError when it cannot be judged.
    bool AcceptAndSaveImage(int n);
    // The save directory is listed again at the next download compared
    // with it (each run starts so).
    void forgetSavedPictures();
    // "DB名称(&B)" of the lists, of the settings dialog, and Enter in the name box.
    void ButtonDBNameClick();
    // The single fetch's picture is shown once it can be loaded.
    void TimerGazouTimer();
    // "ファイル書出(&W)": the current record's picture bytes into a file.
    void Button12Click();

    // How long the single fetch's picture may take to become readable.
    void setDisplayPatienceMs(int ms) { m_patienceMs = ms; }

    QFileDialog* SaveDialog;

private:
    // Where a kept picture has exactly the bytes of the file: its path in
    // the save directory, or "DB名 #連番"; empty when none does.
    QString keptCopyOf(const QString& path, qint64 size, const QByteArray& sha256);

    TFormMain& m_form;
    std::unique_ptr<web::SavedPictures> m_saved;
    QElapsedTimer m_waiting;
    int m_patienceMs = 10000;
};

} // namespace app
