#include "picturedb/FormDBList.h"

namespace picturedb {

TFormDBList::TFormDBList(QWidget* parent)
    : base::TForm("FormDBList", QStringLiteral("データベースリスト"), QStringLiteral("fmDBList"), QSize(250, 300), parent)
{
    restoreValues();
}

} // namespace picturedb
