#include "disk/FileListTable.h"

#include "store/Store.h"
#include "store/Table.h"

#include <QFile>
#include <QFileInfo>

namespace disk {

namespace {

const QString kMarkField = QStringLiteral("印");
const QString kPathField = QStringLiteral("フルパス名");

void openIfClosed(store::Table& t)
{
    if (!t.isOpen())
        t.open();
}

} // namespace

QString fileListMark()
{
    return QStringLiteral("〆");
}

void markAllFiles(store::Table& walker)
{
    openIfClosed(walker);
    store::Batch batch(walker.store());
    for (walker.first(); !walker.eof(); walker.next()) {
        walker.edit();
        walker.fieldByName(kMarkField).setAsString(fileListMark());
        walker.post();
    }
    batch.commit();
}

DeleteResult deleteMarkedFiles(store::Table& walker)
{
    DeleteResult result;
    openIfClosed(walker);
    walker.refresh();
    store::Batch batch(walker.store());
    walker.first();
    while (!walker.eof()) {
        if (walker.fieldByName(kMarkField).asString() != fileListMark()) {
            walker.next();
            continue;
        }
        const QString path = walker.fieldByName(kPathField).asString();
        QFile file(path);
        if (!file.remove() && QFileInfo::exists(path)) {
            result.undeletable << path;
            walker.next();
            continue;
        }
        // The cursor then stands on the following row, or on the new last
        // row when this was the last one: the walk is over then.
        const bool wasLast = walker.recNo() == walker.recordCount() - 1;
        walker.remove();
        ++result.deleted;
        if (wasLast)
            break;
    }
    batch.commit();
    return result;
}

} // namespace disk
