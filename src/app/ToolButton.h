#pragma once

#include <QToolButton>

namespace app {

// A flat tool bar button that draws its small picture above its caption
// inside the 35 pixels that the tool bars allow, where the style's own
// layout would cut the caption off.
class TToolButton : public QToolButton {
    Q_OBJECT
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace app
