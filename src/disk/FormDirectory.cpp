#include "disk/FormDirectory.h"

namespace disk {

TFormDirectory::TFormDirectory(QWidget* parent)
    : app::TForm("FormDirectory", QStringLiteral("画像ファイル表示"), QStringLiteral("fmDirect"), QSize(471, 341), parent)
{
    restoreValues();
}

} // namespace disk
