#pragma once

#include "app/TForm.h"

namespace search {

// The search field chooser.
class TFormPopJouken : public app::TForm {
    Q_OBJECT
public:
    explicit TFormPopJouken(QWidget* parent = nullptr);
};

} // namespace search
