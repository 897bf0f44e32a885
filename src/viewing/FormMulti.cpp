#include "viewing/FormMulti.h"

namespace viewing {

TFormMulti::TFormMulti(QWidget* parent)
    : base::TForm("FormMulti", QStringLiteral("マルチテーブル表示"), QStringLiteral("fmMulti"), QSize(679, 512), parent)
{
    restoreValues();
}

} // namespace viewing
