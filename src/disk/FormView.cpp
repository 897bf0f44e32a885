#include "disk/FormView.h"

namespace disk {

TFormView::TFormView(QWidget* parent)
    : app::TForm("FormView", QStringLiteral("View Form"), QStringLiteral("fmView"), QSize(365, 281), parent)
{
    restoreValues();
}

} // namespace disk
