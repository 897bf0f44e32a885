#pragma once

#include "base/TForm.h"

namespace picturedb {

// The password window.
class TFormPassword : public base::TForm {
    Q_OBJECT
public:
    explicit TFormPassword(QWidget* parent = nullptr);
};

} // namespace picturedb
