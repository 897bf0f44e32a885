#include "disk/FileListTable.h"

#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"

#include <QFile>
#include <QFileInfo>

namespace disk {

namespace {

const QString kMarkField = QStringLiteral("印");
const QString kPathField = QStringLiteral("フルパス名");

} // namespace

void markAllFiles(store::Table& walker)
{
    store::openIfClosed(walker);
    store::Batch batch(walker.store());
    for (walker.first(); !walker.eof(); walker.next()) {
        walker.edit();
        walker.fieldByName(kMarkField).setAsString(store::markText());
        walker.post();
    }
    batch.commit();
}

DeleteResult deleteMarkedFiles(store::Table& walker)
{
    DeleteResult result;
    store::openIfClosed(walker);
    walker.refresh();
    store::Batch batch(walker.store());
    walker.first();
    while (!walker.eof()) {
        if (walker.fieldByName(kMarkField).asString() != store::markText()) {
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
        ++result.deleted;
        if (!store::removeAndGoOn(walker))
            break;
    }
    batch.commit();
    return result;
}

} // namespace disk
