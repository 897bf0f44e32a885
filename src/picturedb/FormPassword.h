#pragma once

#include "app/TForm.h"

namespace picturedb {

// The password window.
class TFormPassword : public app::TForm {
    Q_OBJECT
public:
    explicit TFormPassword(QWidget* parent = nullptr);
};

} // namespace picturedb
