#pragma once

#include "app/TForm.h"

namespace disk {

// The picture file browser.
class TFormDirectory : public app::TForm {
    Q_OBJECT
public:
    explicit TFormDirectory(QWidget* parent = nullptr);
};

} // namespace disk
