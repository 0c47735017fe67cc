#include "platform/ServiceNotify.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

namespace vk {

ServiceNotify::ServiceNotify() : active_(!qEnvironmentVariableIsEmpty("NOTIFY_SOCKET")) {
    uint64_t usec = 0;
    // WATCHDOG_PID, when set, names the process the watchdog watches: a child that inherited the
    // environment does not take the period for its own
    if (active_ && sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        watchdogPeriod_ = std::chrono::microseconds(usec);
    }
}

// One status line, without line breaks: a break would start another field of the message.
QByteArray ServiceNotify::statusField(const QString& line) {
    QString flat = line;
    flat.replace(u'\r', u' ').replace(u'\n', u' ');
    return QByteArrayLiteral("STATUS=") + flat.toUtf8();
}

void ServiceNotify::ready(const QString& status) {
    if (!active_) {
        return;
    }
    lastStatus_ = status;
    send(QByteArrayLiteral("READY=1\n") + statusField(status));
}

void ServiceNotify::status(const QString& line) {
    if (!active_ || lastStatus_ == line) {
        return;
    }
    lastStatus_ = line;
    send(statusField(line));
}

void ServiceNotify::keepAlive() {
    if (active_) {
        send(QByteArrayLiteral("WATCHDOG=1"));
    }
}

void ServiceNotify::stopping() {
    if (active_) {
        send(QByteArrayLiteral("STOPPING=1"));
    }
}

// A message that cannot be delivered (the manager went away) is not the link's concern: it goes
// on with its documents, and a manager that misses keep-alives acts on its own.
void ServiceNotify::send(const QByteArray& message) {
    (void)sd_notify(0, message.constData());
}

}  // namespace vk
