#include "app/PictureSaving.h"

#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/Windows.h"
#include "controls/TTimer.h"
#include "picturedb/PictureDatabase.h"
#include "picturedb/RecordPage.h"
#include "store/DataMd3.h"
#include "store/DataMod.h"
#include "store/Fingerprints.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "viewing/FitPicture.h"
#include "viewing/PictureKind.h"
#include "viewing/TImage.h"
#include "viewing/ViewWindow.h"
#include "web/Acceptance.h"
#include "web/ExplorationTables.h"
#include "web/SavedPictures.h"

#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

namespace app {

PictureSaving::PictureSaving(TFormMain& form)
    : QObject(&form)
    , m_form(form)
{
    // Not the platform's own dialog: the same on every desktop, and one a
    // test can drive.
    SaveDialog = new QFileDialog(&form);
    SaveDialog->setObjectName(QStringLiteral("SaveDialog"));
    SaveDialog->setOption(QFileDialog::DontUseNativeDialog);
    SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog->setNameFilter(QStringLiteral("JPEG (*.jpg)"));
    SaveDialog->setDefaultSuffix(QStringLiteral("jpg"));
    connect(form.TimerGazou, &QTimer::timeout, this, &PictureSaving::TimerGazouTimer);
    connect(&form.crawler(), &web::Crawler::singlePictureArrived, this, [this] {
        m_waiting.start();
        m_form.TimerGazou->setIntervalMs(200);
    });
}

PictureSaving::~PictureSaving() = default;

void PictureSaving::forgetSavedPictures()
{
    m_saved.reset();
}

QString PictureSaving::keptCopyOf(const QString& path, qint64 size, const QByteArray& sha256)
{
    const QString directory = QFileInfo(path).path();
    if (!m_saved || m_saved->directory() != directory)
        m_saved = std::make_unique<web::SavedPictures>(m_form.dm3().store(), directory);
    if (const QString kept = m_saved->find(path, size, sha256); !kept.isEmpty())
        return kept;
    if (const std::optional<qint32> serial = m_form.photo().recordHolding(size, sha256))
        return QStringLiteral("%1 #%2").arg(m_form.photo().state().CurrentDatabase).arg(*serial);
    return {};
}

bool PictureSaving::AcceptAndSaveImage(int n)
{
    const web::DownloadSlot& slot = m_form.crawler().slot(n);
    TFormSetting* d = m_form.windows()->FormSetting;
    web::AcceptanceSettings a;
    a.checkSize = d->CheckSize->isChecked();
    a.minKb = d->EditMinSize->text();
    a.maxKb = d->EditMaxSize->text();
    a.checkRatio = d->CheckHiritsu->isChecked();
    a.ratioPercent = d->EditHiritsu->text();
    qint64 size = 0;
    switch (web::judgePicture(slot.targetPath, a, &size)) {
    case web::Verdict::SizeRefused:
        m_form.LogError(QStringLiteral("File Size ") + slot.targetPath);
        return false;
    case web::Verdict::RatioRefused:
        m_form.LogError(QStringLiteral("比率チェック ") + slot.targetPath);
        return false;
    case web::Verdict::Accepted:
        break;
    }
    QByteArray sha;
    if (d->noDuplicates()) {
        sha = store::sha256OfFile(slot.targetPath);
        if (const QString kept = keptCopyOf(slot.targetPath, size, sha); !kept.isEmpty()) {
            // Handled, but not kept: the picture limit counts only what was kept.
            QFile::remove(slot.targetPath);
            m_form.LogError(QStringLiteral("重複 ") + slot.url + QStringLiteral(" = ") + kept);
            m_form.run.picturesReceived = qMax(0, m_form.run.picturesReceived - 1);
            return false;
        }
    }
    if (d->CheckDBSave->isChecked()) {
        // Only the database: with files kept too, the file stays in the save
        // directory and no file-list row is added.
        const bool registered = m_form.photo().RegisterDownloaded(slot.host, slot.url, QDate::currentDate(), size,
                                                                   slot.targetPath, d->CheckFileSave->isChecked());
        if (registered)
            m_form.tables().WriteImageLinkRecord(slot.host, slot.url, 4, web::WriteOp::Update);
        if (m_form.CheckSakujo->isChecked())
            m_form.tables().DeleteImageLinkByURL(slot.url);
    } else {
        m_form.fileListTab()->scan().AddFileListRow(QString(), slot.targetPath);
    }
    // A file kept in the save directory: later downloads are compared with it too.
    if (m_saved && !sha.isEmpty() && QFileInfo::exists(slot.targetPath))
        m_saved->add(slot.targetPath, size, sha);
    if (!sha.isEmpty())
        m_form.photo().fillMissingHashes();
    m_form.ShowCounts();
    if (m_form.CheckAutoDisp->isChecked())
        m_form.fileListTab()->PreviewListFile();
    return true;
}

void PictureSaving::ButtonDBNameClick()
{
    m_form.photo().ButtonDBNameClick();
}

void PictureSaving::TimerGazouTimer()
{
    m_form.TimerGazou->setIntervalMs(0);
    web::Crawler& crawler = m_form.crawler();
    const QString path = crawler.slot(0).targetPath;
    FileListTab& list = *m_form.fileListTab();
    const auto preview = viewing::loadPicture(path, viewing::kFileListPreviewBox);
    if (!preview) {
        // A file still being written becomes readable soon; one that does
        // not within the patience is not a picture we can show.
        if (m_waiting.isValid() && m_waiting.elapsed() < m_patienceMs) {
            m_form.TimerGazou->setIntervalMs(200);
            return;
        }
        m_form.reportError(QStringLiteral("画像を表示できません : ") + QDir::toNativeSeparators(path));
        crawler.EndSingleFetch();
        return;
    }
    list.Image->setPicture(*preview);
    list.FitPicture();
    viewing::Picture whole = *preview;
    if (whole.image.size() != whole.fullSize) {
        if (auto full = viewing::loadPicture(path))
            whole = std::move(*full);
    }
    viewing::ShowInViewWindow(m_form.multipleViewMode ? viewing::ViewMode::Multiple : viewing::ViewMode::Single,
                              m_form.sharedViewWindow(), &m_form, whole, list.currentFileName());
    m_form.setStb(0, QStringLiteral("画像表示完了"));
    crawler.EndSingleFetch();
}

void PictureSaving::Button12Click()
{
    store::Table& records = *m_form.dm().TaPhoto;
    picturedb::PictureDatabase& photo = m_form.photo();
    // The bytes of a picture held in the image table; not the marker of a
    // bitmap, nor anything of an index-mode record.
    QByteArray bytes;
    QString recordKind;
    try {
        if (records.isOpen() && !records.isEmpty() && !photo.state().IndexMode) {
            const qint32 serial = records.fieldByName(QStringLiteral("連番")).asInteger();
            recordKind = records.fieldByName(QStringLiteral("画像種別")).asString();
            if (photo.catalogue().LocateImage(serial))
                bytes = m_form.dm().TaImage->fieldByName(QStringLiteral("画像")).asBytes();
        }
    } catch (const store::StoreError& e) {
        m_form.reportError(e.message());
        return;
    }
    // The file takes the extension of what it will hold: the bytes' own kind,
    // else the record's, else JPEG as ever.
    viewing::PictureKind kind = viewing::kindOfSignature(bytes);
    if (kind == viewing::PictureKind::None)
        kind = viewing::kindOfName(recordKind);
    if (kind == viewing::PictureKind::None)
        kind = viewing::PictureKind::Jpeg;
    const QString extension = viewing::kindExtension(kind);
    SaveDialog->setNameFilter(QStringLiteral("%1 (*%2)").arg(viewing::kindName(kind), extension));
    SaveDialog->setDefaultSuffix(extension.mid(1));
    SaveDialog->setDirectory(m_form.saveDialogDirectory);
    SaveDialog->selectFile(QString());
    if (SaveDialog->exec() != QDialog::Accepted || SaveDialog->selectedFiles().isEmpty())
        return;
    m_form.saveDialogDirectory = SaveDialog->directory().absolutePath();
    const QString path = SaveDialog->selectedFiles().constFirst();
    if (!store::holdsPictureBytes(bytes)) {
        m_form.message(QStringLiteral("書き出す画像がありません"));
        return;
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !f.flush()) {
        m_form.reportError(QStringLiteral("ファイル %1 に書けません: %2").arg(QDir::toNativeSeparators(path), f.errorString()));
        return;
    }
    m_form.setStb(0, QStringLiteral("画像保存完了"));
}

} // namespace app
