#pragma once

#include "base/TForm.h"

class QListWidget;
class QPushButton;

namespace search {

// The search field chooser: OK with "閉じる(&X)", a double click or Enter in
// the list; cancel with "ｷｬﾝｾﾙ", Escape or the window's close.
class TFormPopJouken : public base::TForm {
    Q_OBJECT
public:
    explicit TFormPopJouken(QWidget* parent = nullptr);

    QListWidget* ListBox;
    QPushButton* Button1;
    QPushButton* BitBtn1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace search
