#pragma once

#include "base/TForm.h"

namespace viewing {

// The settings of the multi-picture window.
class TFormSetteiMulti : public base::TForm {
    Q_OBJECT
public:
    explicit TFormSetteiMulti(QWidget* parent = nullptr);
};

} // namespace viewing
