#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

namespace vk {

// What a run started by the service manager (systemd, Type=notify) tells it about itself: that
// it is ready, the line that shows it is alive, that it still makes progress (the watchdog's
// keep-alive) and that it is ending. The messages go through libsystemd's sd_notify to the
// socket named in NOTIFY_SOCKET. Outside the service manager (no NOTIFY_SOCKET) every call does
// nothing, so that a run from a terminal or the window behaves as before.
//
// Keep-alives are sent only by the thread that does the work: a run whose work hangs must fall
// silent, so that the watchdog ends and restarts it.
class ServiceNotify {
public:
    // Reads NOTIFY_SOCKET and the watchdog's period (WATCHDOG_USEC, for this process) once.
    ServiceNotify();

    // Whether a service manager listens.
    bool active() const { return active_; }
    // The watchdog's period when the manager runs one for this process.
    std::optional<std::chrono::microseconds> watchdogPeriod() const { return watchdogPeriod_; }

    // READY=1 with the first status line, in one message.
    void ready(const QString& status);
    // STATUS=..., only when the line differs from the last one sent.
    void status(const QString& line);
    // WATCHDOG=1.
    void keepAlive();
    // STOPPING=1: the orderly end has begun.
    void stopping();

private:
    void send(const QByteArray& message);
    static QByteArray statusField(const QString& line);

    bool active_ = false;
    std::optional<std::chrono::microseconds> watchdogPeriod_;
    std::optional<QString> lastStatus_;
};

}  // namespace vk
