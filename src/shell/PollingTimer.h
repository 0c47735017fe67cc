#pragma once

#include "settings/Settings.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace vk {

class LogView;

// W2WTimer: at every tick one import cycle runs while Automatisch is ticked. Armed with the
// Interval setting (seconds) at every showing of the window; a tick reads the interval anew
// and takes 10 seconds for 0. A tick that falls due while a cycle pumps messages finds the
// cycle running and does nothing (the engine refuses to nest).
class PollingTimer : public QObject {
    Q_OBJECT
public:
    PollingTimer(const Settings& settings, LogView& log, std::function<void()> runCycle,
                 QObject* parent = nullptr);

    // Sets the interval from Interval (0 leaves the timer armed without ticks) and enables it.
    void arm();
    // At the end of the program.
    void stop();
    bool isArmed() const { return armed_; }
    int intervalMs() const { return timer_.interval(); }
    bool isTicking() const { return timer_.isActive(); }
    // Milliseconds until the next tick; -1 when none is due.
    int remainingMs() const { return timer_.remainingTime(); }

    // What a tick does; public so that the tests can tick without waiting.
    void W2WTimerTimer();

private:
    static int intervalFromSeconds(int seconds);

    const Settings& settings_;
    LogView& log_;
    std::function<void()> runCycle_;
    QTimer timer_;
    bool armed_ = false;
};

}  // namespace vk
