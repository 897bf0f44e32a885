#pragma once

#include "app/TForm.h"

namespace viewing {

// The settings of the multi-picture window.
class TFormSetteiMulti : public app::TForm {
    Q_OBJECT
public:
    explicit TFormSetteiMulti(QWidget* parent = nullptr);
};

} // namespace viewing
