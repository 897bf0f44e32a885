#pragma once

// Points the per-user settings store at a fresh temporary folder for the
// lifetime of the object, so tests never touch the user's own settings.

#include <QTemporaryDir>

class TempSettings {
public:
    TempSettings();
    ~TempSettings();
    QString dir() const { return m_dir.path(); }
    // The file that holds the settings (for tests that plant raw values).
    QString filePath() const;

private:
    QTemporaryDir m_dir;
};
