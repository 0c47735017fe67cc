#pragma once

#include <QDateTime>

namespace vk {

// Local wall-clock time. Log timestamps and the temporary keys of new rows are taken from it,
// so the tests put a clock of their own in its place.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

// The local date and time as the log lines start: "dd-mm-yyyy hh:mm:ss".
QString logTimestamp(const QDateTime& time);

class SystemClock final : public Clock {
public:
    QDateTime now() const override;
};

// A clock that stands still until it is set or moved on.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start) : now_(std::move(start)) {}
    QDateTime now() const override { return now_; }
    void set(QDateTime t) { now_ = std::move(t); }
    void advanceMs(qint64 ms) { now_ = now_.addMSecs(ms); }

private:
    QDateTime now_;
};

}  // namespace vk
