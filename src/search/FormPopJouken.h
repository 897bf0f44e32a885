#pragma once

#include "base/TForm.h"

namespace search {

// The search field chooser.
class TFormPopJouken : public base::TForm {
    Q_OBJECT
public:
    explicit TFormPopJouken(QWidget* parent = nullptr);
};

} // namespace search
