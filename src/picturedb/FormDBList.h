#pragma once

#include "app/TForm.h"

namespace picturedb {

// The database list window.
class TFormDBList : public app::TForm {
    Q_OBJECT
public:
    explicit TFormDBList(QWidget* parent = nullptr);
};

} // namespace picturedb
