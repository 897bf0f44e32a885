#pragma once

#include "base/TForm.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace picturedb {

// The password window ("パスワード入力"). EditPasswd holds the stored hash of
// the expected password; Enter in EditPassword or "閉じる(&C)" ends it with
// OK when the typed text matches it, else the status bar says
// "パスワード・エラー" and the window stays.
class TFormPassword : public base::TForm {
    Q_OBJECT
public:
    explicit TFormPassword(QWidget* parent = nullptr);

    // Clears the input and expects the password whose stored form is given.
    void expect(const QString& stored);
    void BitBtn1Click();

    QLabel* Label1;
    QLineEdit* EditPassword;
    QLineEdit* EditPasswd;
    QStatusBar* StatusBar1;
    QPushButton* BitBtn1; // 閉じる(&C)
    QPushButton* Button1; // ｷｬﾝｾﾙ
};

} // namespace picturedb
