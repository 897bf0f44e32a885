#pragma once

#include "app/TForm.h"

namespace app {

// The version dialog: fixed, centred on the screen.
class TFormVersion : public TForm {
    Q_OBJECT
public:
    explicit TFormVersion(QWidget* parent = nullptr);
    int exec() override;
};

} // namespace app
