#include "picturedb/FormPassword.h"

namespace picturedb {

TFormPassword::TFormPassword(QWidget* parent)
    : base::TForm("FormPassword", QStringLiteral("パスワード入力"), QStringLiteral("fmPassword"), QSize(260, 130), parent)
{
    restoreValues();
}

} // namespace picturedb
