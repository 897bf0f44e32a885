#pragma once

#include <QLabel>

// A one-line label that keeps its whole text but shows only what fits its
// width, ending in "…", with the whole text as its tooltip while cut.
class TElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TElidedLabel(QWidget* parent = nullptr);

    // Use instead of setText, so that the tooltip follows the text.
    void setCaption(const QString& text);
    // The text as it is drawn at the label's width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateToolTip();
};
