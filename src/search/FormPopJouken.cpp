#include "search/FormPopJouken.h"

namespace search {

TFormPopJouken::TFormPopJouken(QWidget* parent)
    : base::TForm("FormPopJouken", QStringLiteral("検索項目選択"), QStringLiteral("PopJouke"), QSize(212, 260), parent)
{
    restoreValues();
}

} // namespace search
