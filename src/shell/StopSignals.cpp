#include "shell/StopSignals.h"

#include "platform/Errors.h"
#include "platform/NotifySocket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace vk {

const char kStopTimeoutMessage[] =
    "Stopverzoek niet binnen 10 seconden uitgevoerd: de koppeling wacht op de database of op een "
    "bestand; het programma stopt nu (code 5) zonder de instellingen te bewaren. Het document in "
    "behandeling wordt bij de volgende start hersteld.\n";
static_assert(kStopGraceSeconds == 10 && kStopTimeoutExitCode == 5, "the line names the period and the code");

namespace {

int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t stopSignalArrived = 0;
// A socket to the service manager, connected in advance, when the link runs as a service: the
// stop that cannot wait any longer still tells it that the link is stopping.
int serviceSocket = -1;

// Only async-signal-safe calls below: write, send, alarm, _exit.
void onGraceOver(int) {
    [[maybe_unused]] const auto written =
        ::write(STDERR_FILENO, kStopTimeoutMessage, sizeof kStopTimeoutMessage - 1);
    if (serviceSocket >= 0) {
        static const char stopping[] = "STOPPING=1";
        [[maybe_unused]] const auto sent = ::send(serviceSocket, stopping, sizeof stopping - 1, MSG_NOSIGNAL);
    }
    ::_exit(kStopTimeoutExitCode);
}

void onStopSignal(int) {
    const int savedErrno = errno;
    if (stopSignalArrived == 0) {
        stopSignalArrived = 1;
        ::alarm(kStopGraceSeconds);
    }
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void setHandler(int signal, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    if (::sigaction(signal, &action, nullptr) != 0) {
        throw Error(QStringLiteral("Signaalafhandeling niet in te stellen: %1").arg(systemErrorText(errno)));
    }
}

}  // namespace

void installStopSignalHandlers() {
    if (signalPipe[0] >= 0) {
        return;
    }
    // Not inherited by programs the link starts; a full pipe never blocks a handler.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw Error(QStringLiteral("Signaalafhandeling niet in te stellen: %1").arg(systemErrorText(errno)));
    }
    serviceSocket = connectedNotifySocket();
    setHandler(SIGALRM, onGraceOver, 0);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        setHandler(signal, onStopSignal, SA_RESTART);
    }
}

bool StopSignals::requested() {
    return stopSignalArrived != 0;
}

void StopSignals::noteProgress() {
    if (stopSignalArrived != 0) {
        ::alarm(kStopGraceSeconds);
    }
}

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    installStopSignalHandlers();
    notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[64];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        Q_EMIT stopRequested();
    });
}

}  // namespace vk
