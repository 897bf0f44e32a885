#pragma once

#include "app/TForm.h"

namespace search {

// The search progress pop-up.
class TFormPopKensaku : public app::TForm {
    Q_OBJECT
public:
    explicit TFormPopKensaku(QWidget* parent = nullptr);
};

} // namespace search
