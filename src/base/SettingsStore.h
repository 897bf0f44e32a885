#pragma once

// The per-user settings store: QSettings under Tavro/Quillet (on Windows the
// registry key HKEY_CURRENT_USER\SoftWare\Tavro\Quillet), sections "Window" and
// "Setting", every value a text. Names are compared without regard to case;
// integers are decimal texts (a "0x" text longer than two characters is read
// as hexadecimal); flags are 1 (on) and 7 (off). A value that is missing or
// not readable as its kind gives the caller's default.
//
// A window opens the store, does all its reads or all its writes, and lets it
// go again; nothing is cached between windows.

#include <QRect>
#include <QSettings>
#include <QString>
#include <memory>

class QWidget;

namespace base {

class SettingsStore {
public:
    enum Section { Window, Setting };

    SettingsStore();
    ~SettingsStore();

    qint32 readInteger(Section section, const QString& name, qint32 defaultValue);
    QString readString(Section section, const QString& name, const QString& defaultValue);
    bool readBool(Section section, const QString& name, bool defaultValue);

    void writeInteger(Section section, const QString& name, qint32 value);
    void writeString(Section section, const QString& name, const QString& value);
    void writeBool(Section section, const QString& name, bool value);

    // "<prefix>.Left", ".Top", ".Width", ".Height" in the section "Window",
    // with the widget's current bounds as the defaults.
    void readBounds(QWidget* window, const QString& prefix);
    void readPosition(QWidget* window, const QString& prefix);
    void writeBounds(QWidget* window, const QString& prefix);

    // Parses a stored integer text; false when it is not a number.
    static bool parseInteger(const QString& text, qint32* value);

    void sync();

private:
    // The stored key that matches the name without regard to case, or empty.
    QString findKey(Section section, const QString& name);
    static QString group(Section section);

    std::unique_ptr<QSettings> m_settings;
};

} // namespace base
