#pragma once

#include "base/TForm.h"

namespace search {

// The search progress pop-up.
class TFormPopKensaku : public base::TForm {
    Q_OBJECT
public:
    explicit TFormPopKensaku(QWidget* parent = nullptr);
};

} // namespace search
