#pragma once

#include "base/TForm.h"
#include "viewing/MultiLayout.h"

#include <QPointer>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace viewing {

class TFormMulti;

// The grid settings of the multi-picture window: cell size, width adjustment,
// rows and columns, and the caption band. "再表示(&R)" lays the window's cells
// out; the settings are remembered from one run to the next.
class TFormSetteiMulti : public base::TForm {
    Q_OBJECT
public:
    explicit TFormSetteiMulti(QWidget* parent = nullptr);

    // The window whose cells "再表示(&R)" lays out; TFormMulti::setSettingsWindow
    // links the two both ways.
    void setMultiWindow(TFormMulti* multi);
    TFormMulti* multiWindow() const;

    // The controls' current values.
    MultiSettings settings() const;

    // Lays the cells out from the controls. A text that is not a whole number
    // and more than sixty cells are reported in a message box and change
    // nothing; false then.
    bool LayoutMulti();

    // Handlers
    void Button1Click();
    void BitBtnShuuryouClick();

    QScrollBar* ScrollSize;
    QLabel* LabelSize;
    QScrollBar* ScrollHiritsu;
    QLabel* LabelHiritsu;
    QLineEdit* EditGyou;
    QLineEdit* EditRetsu;
    QCheckBox* CheckTitle;
    QScrollBar* ScrollTitle;
    QLabel* LabelTitle;
    QPushButton* BitBtnShuuryou;
    QPushButton* Button1;

protected:
    void readValues(base::SettingsStore& s) override;
    void writeValues(base::SettingsStore& s) override;

private:
    QPointer<TFormMulti> m_multi;
};

} // namespace viewing
