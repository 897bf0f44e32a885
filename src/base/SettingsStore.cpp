#include "base/SettingsStore.h"

#include <QWidget>

namespace base {

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Tavro"), QStringLiteral("Quillet")))
{
}

SettingsStore::~SettingsStore()
{
    m_settings->sync();
}

void SettingsStore::sync()
{
    m_settings->sync();
}

QString SettingsStore::group(Section section)
{
    return section == Window ? QStringLiteral("Window") : QStringLiteral("Setting");
}

QString SettingsStore::findKey(Section section, const QString& name)
{
    m_settings->beginGroup(group(section));
    const QStringList keys = m_settings->childKeys();
    m_settings->endGroup();
    for (const QString& key : keys) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return key;
    }
    return {};
}

bool SettingsStore::parseInteger(const QString& text, qint32* value)
{
    bool ok = false;
    qint64 v = 0;
    if (text.size() > 2 && (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X")))) {
        v = text.mid(2).toLongLong(&ok, 16);
        // A hexadecimal text may spell the whole 32-bit pattern.
        if (ok && v >= 0 && v <= 0xFFFFFFFFLL)
            v = qint32(quint32(v));
        else
            ok = false;
    } else {
        v = text.toLongLong(&ok, 10);
    }
    if (!ok || v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
        return false;
    *value = qint32(v);
    return true;
}

qint32 SettingsStore::readInteger(Section section, const QString& name, qint32 defaultValue)
{
    const QString key = findKey(section, name);
    if (key.isEmpty())
        return defaultValue;
    const QVariant stored = m_settings->value(group(section) + QLatin1Char('/') + key);
    if (!stored.canConvert<QString>())
        return defaultValue;
    qint32 v = 0;
    return parseInteger(stored.toString(), &v) ? v : defaultValue;
}

QString SettingsStore::readString(Section section, const QString& name, const QString& defaultValue)
{
    const QString key = findKey(section, name);
    if (key.isEmpty())
        return defaultValue;
    const QVariant stored = m_settings->value(group(section) + QLatin1Char('/') + key);
    // A list or other non-text kind written by someone else is not ours to read.
    if (stored.typeId() == QMetaType::QStringList || !stored.canConvert<QString>())
        return defaultValue;
    return stored.toString();
}

bool SettingsStore::readBool(Section section, const QString& name, bool defaultValue)
{
    const QString key = findKey(section, name);
    if (key.isEmpty())
        return defaultValue;
    qint32 v = 0;
    const QVariant stored = m_settings->value(group(section) + QLatin1Char('/') + key);
    if (!stored.canConvert<QString>() || !parseInteger(stored.toString(), &v))
        return defaultValue;
    return v == 1;
}

void SettingsStore::writeString(Section section, const QString& name, const QString& value)
{
    // One value per name whatever its case: drop a differently cased twin.
    const QString existing = findKey(section, name);
    if (!existing.isEmpty() && existing != name)
        m_settings->remove(group(section) + QLatin1Char('/') + existing);
    m_settings->setValue(group(section) + QLatin1Char('/') + name, value);
}

void SettingsStore::writeInteger(Section section, const QString& name, qint32 value)
{
    writeString(section, name, QString::number(value));
}

void SettingsStore::writeBool(Section section, const QString& name, bool value)
{
    writeInteger(section, name, value ? 1 : 7);
}

void SettingsStore::readBounds(QWidget* window, const QString& prefix)
{
    const QRect r = window->geometry();
    const int left = readInteger(Window, prefix + QLatin1String(".Left"), window->x());
    const int top = readInteger(Window, prefix + QLatin1String(".Top"), window->y());
    const int width = readInteger(Window, prefix + QLatin1String(".Width"), r.width());
    const int height = readInteger(Window, prefix + QLatin1String(".Height"), r.height());
    window->move(left, top);
    window->resize(width, height);
}

void SettingsStore::readPosition(QWidget* window, const QString& prefix)
{
    const int left = readInteger(Window, prefix + QLatin1String(".Left"), window->x());
    const int top = readInteger(Window, prefix + QLatin1String(".Top"), window->y());
    window->move(left, top);
}

void SettingsStore::writeBounds(QWidget* window, const QString& prefix)
{
    writeInteger(Window, prefix + QLatin1String(".Left"), window->x());
    writeInteger(Window, prefix + QLatin1String(".Top"), window->y());
    writeInteger(Window, prefix + QLatin1String(".Width"), window->width());
    writeInteger(Window, prefix + QLatin1String(".Height"), window->height());
}

} // namespace base
