#pragma once

#include "base/TForm.h"

class QPushButton;

namespace disk {

class DirectoryPanel;

// The directory chooser: shown modally, it answers OK ("閉じる(&C)") or
// cancel ("ｷｬﾝｾﾙ"); on OK the caller reads the directory list's current
// directory.
class TFormSelectDir : public base::TForm {
    Q_OBJECT
public:
    explicit TFormSelectDir(QWidget* parent = nullptr);

    QString directory() const;
    bool setDirectory(const QString& dir);
    DirectoryPanel* panel() const { return m_panel; }

    QPushButton* Button1;
    QPushButton* Button2;

protected:
    void readValues(base::SettingsStore& s) override;
    void writeValues(base::SettingsStore& s) override;

private:
    DirectoryPanel* m_panel;
};

} // namespace disk
