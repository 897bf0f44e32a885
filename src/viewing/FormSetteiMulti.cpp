#include "viewing/FormSetteiMulti.h"

namespace viewing {

TFormSetteiMulti::TFormSetteiMulti(QWidget* parent)
    : base::TForm("FormSetteiMulti", QStringLiteral("マルチ画面 設定"), QStringLiteral("fmSetteiMulti"), QSize(261, 269), parent)
{
    restoreValues();
}

} // namespace viewing
