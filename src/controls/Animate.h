#pragma once

#include "controls/AviFile.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

// Plays a looping clip of JPEG frames (an AVI file, see AviFile.h): the busy
// indication of the main window. A clip that cannot be opened leaves the
// player empty; playing an empty player does nothing.
class TAnimate : public QWidget
{
    Q_OBJECT
public:
    explicit TAnimate(QWidget* parent = nullptr);

    // Loads the clip; false when the file is missing, too large, not a clip,
    // or holds a frame that is not a JPEG of the clip's size. A failed open
    // leaves the player closed.
    bool open(const QString& aviPath);
    void close();
    void play();
    void stop();

    bool active() const { return m_timer.isActive(); }
    bool isOpen() const { return !m_clip.frames.isEmpty(); }
    int frameCount() const { return int(m_clip.frames.size()); }
    QSize frameSize() const { return m_clip.size; }
    int currentFrame() const { return m_current; }
    // The decoded current frame (null when closed).
    QImage currentImage() const { return m_image; }

    QSize sizeHint() const override { return QSize(60, 35); }

signals:
    void frameChanged(int frame);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void advance();
    void showFrame(int index);

    AviClip m_clip;
    QImage m_image;
    int m_current = 0;
    QTimer m_timer;
};
