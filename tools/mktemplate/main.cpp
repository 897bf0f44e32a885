// quillon-mktemplate <output file>: makes the template store that holds the
// fixed tables; the set-up copies it into an empty Photo directory.

#include "store/FixedTables.h"
#include "store/Store.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: quillon-mktemplate <output file>\n");
        return 2;
    }
    const QString output = QFileInfo(args.at(1)).absoluteFilePath();

    // Build in a fresh directory, then copy, so that a half-made store never
    // stands at the output path.
    QTemporaryDir work;
    if (!work.isValid()) {
        std::fprintf(stderr, "quillon-mktemplate: no temporary directory\n");
        return 1;
    }
    try {
        store::Store::createFile(work.filePath(store::Store::fileName()));
        {
            store::Store s(work.path());
            store::createFixedTables(s);
        } // closing the last connection folds the journal into the file
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "quillon-mktemplate: %s\n", qPrintable(e.message()));
        return 1;
    }

    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(output + suffix);
    if (!QFile::copy(work.filePath(store::Store::fileName()), output)) {
        std::fprintf(stderr, "quillon-mktemplate: cannot write %s\n", qPrintable(output));
        return 1;
    }
    QFile::setPermissions(output, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return 0;
}
