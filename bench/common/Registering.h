#pragma once

// One registration as a user starts it, for the registration benchmarks: a
// fresh copy of the template store and fresh settings, the files of a
// directory listed and marked, then "登録(&I)" of the file list into the
// import-mode database Sample: the local store's, or a server's when its
// settings are given (its database must hold the picture tables).

#include "app/Application.h"
#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "base/SettingsStore.h"
#include "store/DataMd3.h"
#include "store/DataMod.h"
#include "store/ServerConnection.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace bench {

struct Registration {
    qint64 ms = 0;
    qint64 longestStallMs = 0;
    qint64 records = -1; // -1: the run did not happen
};

// sinceClick starts when "登録(&I)" is clicked, so that a caller can also time
// until the program has ended.
inline Registration registerAll(const QString& templatePath, const QString& dir, QElapsedTimer& sinceClick,
                                const store::ServerSettings* server = nullptr)
{
    QTemporaryDir scratch;
    const QString photo = scratch.filePath(QStringLiteral("photo"));
    QDir().mkpath(photo);
    if (!QFile::copy(templatePath, photo + QLatin1Char('/') + store::Store::fileName()))
        return {};
    qputenv("QUILLON_PHOTO_DIR", photo.toLocal8Bit());
    // Settings of this run alone, also when a process makes several runs.
    const QString config = scratch.filePath(QStringLiteral("config"));
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config);
    if (server) {
        base::SettingsStore s;
        const auto write = [&](const char* name, const QString& value) {
            s.writeString(base::SettingsStore::Setting, QStringLiteral("fmSetting.") + QLatin1String(name), value);
        };
        s.writeBool(base::SettingsStore::Setting, QStringLiteral("fmSetting.CheckServer"), true);
        write("Service", server->service);
        write("ServerHost", server->host);
        write("ServerPort", server->port);
        write("ServerDB", server->database);
        write("ServerUser", server->user);
    }

    app::Application a;
    if (!a.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(a.errorMessage()));
        return {};
    }
    app::TFormMain& f = a.formMain();
    f.show();
    if (f.dm().store().isServer() != (server != nullptr)) {
        std::fprintf(stderr, "the picture databases are not where the run wants them: %s\n",
                     qPrintable(f.LabelServer->text()));
        return {};
    }
    {
        store::Table& list = *f.dm3().TaList2;
        store::openIfClosed(list);
        store::Batch batch(list.store());
        const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
        for (const QFileInfo& file : files) {
            list.insert();
            list.fieldByName(QStringLiteral("フルパス名")).setAsString(file.absoluteFilePath());
            list.fieldByName(QStringLiteral("ファイル名")).setAsString(file.fileName());
            list.fieldByName(QStringLiteral("サイズ")).setAsInteger(qint32(file.size()));
            list.fieldByName(QStringLiteral("作成日")).setAsDateTime(file.lastModified());
            list.fieldByName(QStringLiteral("印")).setAsString(store::markText());
            list.post();
        }
        batch.commit();
        f.dm3().TaList->refresh();
    }

    // The gaps between the ticks of a 5 ms timer: the longest one is the
    // longest time the event loop was held up.
    QElapsedTimer gap;
    qint64 longest = 0;
    QTimer probe;
    QElapsedTimer clock;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] { longest = std::max(longest, gap.restart()); });
    probe.start();
    gap.start();
    clock.start();
    sinceClick.start();
    f.fileListTab()->Button51->click();
    const qint64 ms = clock.elapsed();
    longest = std::max(longest, gap.elapsed());
    probe.stop();
    const qint64 records = f.dm().store().countRows(QStringLiteral("Sample"));
    std::fprintf(stderr, "%s\n", qPrintable(f.stb(0)));
    f.close();
    return {ms, longest, records};
}

} // namespace bench
