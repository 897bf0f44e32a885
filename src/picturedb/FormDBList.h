#pragma once

#include "base/TForm.h"

namespace picturedb {

// The database list window.
class TFormDBList : public base::TForm {
    Q_OBJECT
public:
    explicit TFormDBList(QWidget* parent = nullptr);
};

} // namespace picturedb
