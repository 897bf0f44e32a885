#include "app/MultiFill.h"

#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "app/Windows.h"
#include "picturedb/Catalogue.h"
#include "picturedb/DatabaseState.h"
#include "picturedb/PictureDatabase.h"
#include "picturedb/RecordPage.h"
#include "store/DataMod.h"
#include "store/Query.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "viewing/FormMulti.h"
#include "viewing/HeldPreviews.h"
#include "viewing/Thumbnails.h"
#include "web/Crawler.h"

#include <QCheckBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <memory>

namespace app {

MultiFill::MultiFill(TFormMain& form)
    : QObject(&form)
    , m_form(form)
{
}

void MultiFill::FillMultiFromSearch()
{
    store::Query& result = *m_form.dm().QuPhoto;
    Windows* windows = m_form.windows();
    if (!windows || !windows->FormMulti)
        return;
    if (!result.isOpen()) {
        m_form.message(QStringLiteral("検索結果がありません"));
        return;
    }
    const bool indexMode = m_form.photo().state().IndexMode;
    const bool stretch = m_form.fileListTab()->CheckStretch->isChecked();
    // Scaled pictures of an import-mode database come from their kept
    // thumbnails where valid; the others are decoded and leave theirs.
    std::shared_ptr<viewing::HeldPreviews> held;
    const QSize box = windows->FormMulti->cellPictureSize();
    const int sizeClass = viewing::ThumbnailCache::sizeClassFor(box);
    if (!indexMode && stretch && viewing::thumbnailsEnabled())
        held = std::make_shared<viewing::HeldPreviews>(m_form.dm().store(), m_form.dm().TaPhoto->tableName(),
                                                       m_form.dm().TaImage->tableName());
    QList<QPair<qint32, store::PictureKey>> keys;
    QList<viewing::MultiCell> cells;
    QList<QPair<int, QString>> addresses;
    picturedb::RecordPage& record = *m_form.photo().record();
    // The record page follows the walk once, at its end, not at every row.
    record.setDisplaySuspended(true);
    try {
        for (result.first(); !result.eof() && cells.size() < 60; result.next()) {
            const qint32 serial = result.value(0).toInt();
            if (!m_form.photo().catalogue().LocateRecord(serial))
                break;
            viewing::MultiCell cell;
            // Columns 5 and 6 are user items 2 and 3.
            cell.caption = result.value(5).toString() + QLatin1Char(' ') + result.value(6).toString();
            if (indexMode) {
                const QString where = result.value(6).toString();
                if (where.startsWith(QLatin1String("http")))
                    addresses.append({int(cells.size()), where});
                else
                    cell.path = where;
            } else {
                store::PictureKey key;
                if (held) {
                    try {
                        if (std::optional<store::HeldThumbnail> thumb = held->find(serial, box, &key))
                            cell.thumbnail = std::move(*thumb);
                    } catch (const store::StoreError&) {
                        // The cache's troubles never cost the fill: its pictures are decoded as without it.
                        held.reset();
                    }
                }
                if (cell.thumbnail.encoded.isEmpty() && record.LocateImage(serial)) {
                    cell.bytes = store::imageRowPicture(*m_form.dm().TaImage);
                    if (held && key.length == cell.bytes.size())
                        cell.thumbnailClass = sizeClass;
                }
                keys.append({serial, key});
            }
            cells << cell;
        }
    } catch (const store::StoreError& e) {
        record.setDisplaySuspended(false);
        m_form.reportError(e.message());
        return;
    }
    record.setDisplaySuspended(false);
    record.ShowCurrentRecord();
    QString error;
    const int filled = windows->FormMulti->Fill(cells, stretch, &error);
    if (!error.isEmpty())
        m_form.reportError(error);
    if (held) {
        for (const viewing::MadeThumbnail& made : windows->FormMulti->takeMadeThumbnails()) {
            const auto& [serial, key] = keys.at(made.cell);
            held->keep(serial, sizeClass, key, made.thumbnail, cells[made.cell].bytes);
        }
        for (int i = 0; i < filled; ++i) {
            if (!cells[i].thumbnail.encoded.isEmpty())
                held->used(keys[i].first, sizeClass);
        }
        // Written once the window has painted and the pictures without a
        // fingerprint are hashed: the grid never waits for the store.
        viewing::HeldPreviews::commitLater(held, this);
    }
    for (const auto& [cell, address] : addresses) {
        if (cell < filled)
            fetchCell(cell, address);
    }
    windows->FormMulti->show();
}

void MultiFill::fetchCell(int cell, const QString& address)
{
    if (!m_fetcher)
        m_fetcher = new QNetworkAccessManager(this);
    QNetworkRequest request{QUrl(address)};
    request.setTransferTimeout(30000);
    QNetworkReply* reply = m_fetcher->get(request);
    // Bounded like every other picture transfer.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > web::Crawler::kMaxPictureBytes)
            reply->abort();
    });
    const bool stretch = m_form.fileListTab()->CheckStretch->isChecked();
    connect(reply, &QNetworkReply::finished, this, [this, reply, cell, stretch] {
        reply->deleteLater();
        Windows* windows = m_form.windows();
        if (reply->error() == QNetworkReply::NoError && windows && windows->FormMulti)
            windows->FormMulti->setCellPicture(cell, reply->readAll(), stretch);
    });
}

} // namespace app
