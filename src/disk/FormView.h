#pragma once

#include "app/TForm.h"

namespace disk {

// The single picture window.
class TFormView : public app::TForm {
    Q_OBJECT
public:
    explicit TFormView(QWidget* parent = nullptr);
};

} // namespace disk
