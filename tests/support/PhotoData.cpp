#include "support/PhotoData.h"

#include "store/FixedTables.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>

bool writePicture(const QString& path, QSize size, const char* format, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image.save(path, format);
}

void addFileRow(store::Table& list, const QString& path, bool marked)
{
    store::openIfClosed(list);
    const QFileInfo info(path);
    list.insert();
    list.fieldByName(QStringLiteral("フルパス名")).setAsString(path);
    list.fieldByName(QStringLiteral("ファイル名")).setAsString(info.fileName());
    list.fieldByName(QStringLiteral("サイズ")).setAsInteger(qint32(info.size()));
    list.fieldByName(QStringLiteral("作成日")).setAsDateTime(QDateTime(QDate(2026, 1, 2), QTime(3, 4)));
    list.fieldByName(QStringLiteral("印")).setAsString(marked ? store::markText() : QString());
    list.post();
}

void addAddressRow(store::Table& links, const QString& address, bool marked, const QDateTime& date)
{
    store::openIfClosed(links);
    const qint32 number = store::NextSerial(links);
    links.insert();
    links.fieldByName(QStringLiteral("No")).setAsInteger(number);
    links.fieldByName(QStringLiteral("URL")).setAsString(address);
    links.fieldByName(QStringLiteral("Date")).setAsDateTime(date);
    links.fieldByName(QStringLiteral("Mode")).setAsInteger(3);
    links.fieldByName(QStringLiteral("印")).setAsString(marked ? store::markText() : QString());
    links.post();
}

void makeDatabase(store::Store& s, const QString& name, bool indexMode, const QString& storedPassword)
{
    s.createTable(name, s.fieldDefs(QStringLiteral("_PHOTO.DB")), s.indexDefs(QStringLiteral("_PHOTO.DB")));
    s.createTable(name + QLatin1Char('_'), store::imageTableFields(), store::imageTableIndexes());
    store::Table catalogue(s, QStringLiteral("_INDEX.DB"));
    catalogue.open();
    catalogue.insert();
    catalogue.fieldByName(QStringLiteral("DB名称")).setAsString(name);
    catalogue.fieldByName(QStringLiteral("パスワード")).setAsString(storedPassword);
    catalogue.fieldByName(QStringLiteral("索引")).setAsBoolean(indexMode);
    catalogue.post();
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
