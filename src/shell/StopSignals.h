#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace vk {

// SIGINT, SIGTERM and SIGHUP end the run in order. The signal handler only writes a byte into a
// pipe; the event loop reads it as an ordinary event, so a request that arrives while a cycle
// pumps messages takes effect once the cycle has returned to the loop.
class StopSignals final : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);

Q_SIGNALS:
    void stopRequested();

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace vk
