#pragma once

#include "base/TForm.h"

#include <QSize>

class QCheckBox;
class QFrame;
class QPushButton;
class QScrollArea;
class TTimer;

namespace viewing {

class TImage;
struct Picture;

// The single picture window ("View Form"). The picture fills the window above
// a bottom panel; with "伸縮" on it is scaled to the window, otherwise it is
// drawn at its own size from the top left and can be scrolled through.
//
// Its picture, caption and size are set by ShowInViewWindow and by the file
// browser; closing hides the window (or deletes it, for the extra windows of
// the multiple mode) and stores its bounds under "fmView".
class TFormView : public base::TForm {
    Q_OBJECT
public:
    explicit TFormView(QWidget* parent = nullptr);

    // The size a view window takes when it is created, recorded by
    // ShowInViewWindow; it wins over the stored width and height. An invalid
    // size clears the record.
    static void setNewWindowSize(QSize size);
    static QSize newWindowSize();

    void setPicture(const Picture& picture);
    // The extent that can be scrolled through while "伸縮" is off.
    void setScrollRange(QSize range);
    QSize scrollRange() const { return m_range; }
    QScrollArea* scrollArea() const { return m_scroll; }

    void CheckStretchClick();
    void BitBtn1Click();

    QFrame* Panel1;
    TImage* Image1;
    QFrame* PanelTail;
    QCheckBox* CheckStretch;
    QPushButton* BitBtn1;
    QCheckBox* CheckVisible;
    TTimer* TimerClose;

protected:
    void readValues(base::SettingsStore& s) override;

private:
    void applyStretch();

    QScrollArea* m_scroll;
    QSize m_range;
};

} // namespace viewing
