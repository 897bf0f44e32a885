#pragma once

#include "base/TForm.h"

namespace search {

// "検索実行中": shown while a search runs; the user cannot close it.
class TFormPopKensaku : public base::TForm {
    Q_OBJECT
public:
    explicit TFormPopKensaku(QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};

} // namespace search
