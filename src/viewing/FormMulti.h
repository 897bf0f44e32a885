#pragma once

#include "base/TForm.h"

namespace viewing {

// The multi-picture window.
class TFormMulti : public base::TForm {
    Q_OBJECT
public:
    explicit TFormMulti(QWidget* parent = nullptr);
};

} // namespace viewing
