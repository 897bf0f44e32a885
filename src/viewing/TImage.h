#pragma once

// A picture control: shows one picture, either scaled to the control's size
// (stretch on) or at the picture's own size from the top left corner. The
// picture may have been decoded smaller than it is (a preview); it is then
// drawn at its full size all the same, and its true size stays known.

#include "viewing/PictureLoader.h"

#include <QWidget>

namespace viewing {

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    void setPicture(const Picture& picture);
    void clear();
    const Picture& picture() const { return m_picture; }
    bool hasPicture() const { return !m_picture.isNull(); }
    // The picture's true width and height; 0 x 0 when there is none.
    QSize pictureSize() const;

    bool stretch() const { return m_stretch; }
    void setStretch(bool on);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    Picture m_picture;
    bool m_stretch = false;
};

} // namespace viewing
