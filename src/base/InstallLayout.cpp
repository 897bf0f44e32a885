#include "base/InstallLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace base {

namespace {

// Both are relative to the executable's directory, set by the build from the
// install directories, so the tree can be moved to any prefix.
QString installedDir(const char* relative)
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(relative));
}

} // namespace

bool isInstalled()
{
    return QFileInfo(installedDir(QUILLON_BIN_TO_DATA)).isDir();
}

QString dataDirectory()
{
    return isInstalled() ? installedDir(QUILLON_BIN_TO_DATA) : QCoreApplication::applicationDirPath();
}

QString dataFile(const QString& name)
{
    return dataDirectory() + QLatin1Char('/') + name;
}

QString helperProgram(const QString& name)
{
    const QString installed = installedDir(QUILLON_BIN_TO_LIBEXEC) + QLatin1Char('/') + name;
    return QFileInfo::exists(installed) ? installed : QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

QString helpFile()
{
    return dataFile(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + QStringLiteral(".HLP"));
}

} // namespace base
