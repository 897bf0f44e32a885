#pragma once

// A fresh Photo directory for the lifetime of the object: the template store
// (with the fixed tables) copied into a temporary directory, and
// QUILLON_PHOTO_DIR pointed at it. The previous value comes back afterwards.

#include <QByteArray>
#include <QTemporaryDir>

class TempPhoto {
public:
    TempPhoto();
    ~TempPhoto();
    TempPhoto(const TempPhoto&) = delete;
    TempPhoto& operator=(const TempPhoto&) = delete;

    // False when the template store could not be copied (a warning says why).
    bool isValid() const { return m_valid; }
    QString dir() const { return m_dir.path(); }
    QString storePath() const;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
    bool m_hadPrevious = false;
    QByteArray m_previous;
};
