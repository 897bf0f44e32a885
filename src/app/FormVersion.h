#pragma once

#include "base/TForm.h"

namespace app {

// The version dialog: fixed, centred on the screen.
class TFormVersion : public base::TForm {
    Q_OBJECT
public:
    explicit TFormVersion(QWidget* parent = nullptr);
    int exec() override;
};

} // namespace app
