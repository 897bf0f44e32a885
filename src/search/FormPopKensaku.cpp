#include "search/FormPopKensaku.h"

namespace search {

TFormPopKensaku::TFormPopKensaku(QWidget* parent)
    : base::TForm("FormPopKensaku", QStringLiteral("検索実行中"), QStringLiteral(""), QSize(226, 81), parent)
{
    // The user cannot close it: no buttons on the title bar.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    restoreValues();
}

} // namespace search
