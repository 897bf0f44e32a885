#include "TempSettings.h"

#include <QSettings>
#include <QStandardPaths>

TempSettings::TempSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
}

TempSettings::~TempSettings() = default;

QString TempSettings::filePath() const
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavro"), QStringLiteral("Quillet"));
    return s.fileName();
}
