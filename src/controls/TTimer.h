#pragma once

#include <QTimer>

// A timer that runs while its interval is non-zero: setting the interval
// starts it, setting 0 stops it. Every handler of the program sets its own
// interval to 0 first and sets it again only when it wants another tick.
class TTimer : public QTimer {
public:
    using QTimer::QTimer;

    void setIntervalMs(int ms)
    {
        if (ms <= 0) {
            stop();
            return;
        }
        setInterval(ms);
        start();
    }
    // 0 while stopped.
    int intervalMs() const { return isActive() ? interval() : 0; }
};
