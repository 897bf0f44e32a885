#pragma once

// The base of the program's secondary windows: created once at start-up,
// hidden, shown on demand. Each reads its stored values when it is created and
// writes them every time it is closed; a window never closed in a run writes
// nothing in that run.

#include <QDialog>

namespace base {

class SettingsStore;

class TForm : public QDialog {
    Q_OBJECT
public:
    // prefix: the settings prefix of the window's values ("fmView"); empty
    // for a window that keeps nothing.
    TForm(const char* objectName, const QString& caption, const QString& prefix, QSize designSize,
          QWidget* parent = nullptr);

    QString settingsPrefix() const { return m_prefix; }

    // Reads the stored values; call once, at the end of the subclass's constructor.
    void restoreValues();

    void done(int result) override;

protected:
    // Default: the window's bounds under the prefix.
    virtual void readValues(SettingsStore& s);
    virtual void writeValues(SettingsStore& s);
    void closeEvent(QCloseEvent* e) override;

private:
    void storeValues();
    QString m_prefix;
    bool m_storing = false;
};

} // namespace base
