#include "shell/PollingTimer.h"

#include "platform/Errors.h"
#include "platform/WindowPorts.h"

#include <limits>

namespace vk {

PollingTimer::PollingTimer(const Settings& settings, LogView& log, std::function<void()> runCycle,
                           QObject* parent)
    : QObject(parent), settings_(settings), log_(log), runCycle_(std::move(runCycle)) {
    timer_.setTimerType(Qt::CoarseTimer);
    connect(&timer_, &QTimer::timeout, this, &PollingTimer::W2WTimerTimer);
}

// A negative interval would make a busy loop; it counts as 0: no ticks at arming, 10 seconds at
// a tick. Intervals beyond the timer's 32-bit millisecond range are
// held at its end.
int PollingTimer::intervalFromSeconds(int seconds) {
    if (seconds <= 0) {
        return 0;
    }
    constexpr int maxSeconds = std::numeric_limits<int>::max() / 1000;
    return (seconds > maxSeconds ? maxSeconds : seconds) * 1000;
}

void PollingTimer::arm() {
    const int ms = intervalFromSeconds(settings_.number(Setting::Interval));
    // Arming an armed timer with the interval it has leaves its running countdown alone.
    if (armed_ && ms == timer_.interval()) {
        return;
    }
    armed_ = true;
    timer_.setInterval(ms);  // restarts a running countdown
    if (ms == 0) {
        timer_.stop();
    } else if (!timer_.isActive()) {
        timer_.start();
    }
}

void PollingTimer::stop() {
    timer_.stop();
}

void PollingTimer::W2WTimerTimer() {
    if (!settings_.checked(Setting::Automatisch)) {
        return;
    }
    try {
        int ms = intervalFromSeconds(settings_.number(Setting::Interval));
        if (ms == 0) {
            ms = 10000;
        }
        // the same interval leaves the running countdown alone; another one restarts it
        if (ms != timer_.interval()) {
            timer_.setInterval(ms);
        }
        runCycle_();
    } catch (const std::exception& error) {
        log_.appendLine(errorMessage(error));
    }
}

}  // namespace vk
