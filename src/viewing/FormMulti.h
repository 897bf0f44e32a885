#pragma once

#include "app/TForm.h"

namespace viewing {

// The multi-picture window.
class TFormMulti : public app::TForm {
    Q_OBJECT
public:
    explicit TFormMulti(QWidget* parent = nullptr);
};

} // namespace viewing
