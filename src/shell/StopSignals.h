#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace vk {

// SIGINT, SIGTERM and SIGHUP end the run in order. The handlers are installed as the first step of
// main, so that a request during the start-up ends the run in order rather than by the signal's
// default action. A handler only notes the request and writes a byte into a pipe;
// the byte stays there until the run's event loop reads it as an ordinary event, and a run checks
// StopSignals::requested() before it enters its loop.
//
// A request that the run cannot act on within kStopGraceSeconds of the request or of its last sign
// of progress (a database call that does not return, an orderly end that hangs) ends the process at
// once: one line on standard error and
// exit code kStopTimeoutExitCode, without the orderly end (the settings file is not written; the
// document in flight is recovered from the journal at the next start).
inline constexpr unsigned kStopGraceSeconds = 10;
inline constexpr int kStopTimeoutExitCode = 5;

// The line on standard error when the grace period runs out.
extern const char kStopTimeoutMessage[];

// Installs the handlers (and the grace period's alarm handler). Safe to call more than once; throws
// Error when the pipe cannot be made.
void installStopSignalHandlers();

// The run's view of the requests: stopRequested() once the event loop reads a request.
class StopSignals final : public QObject {
    Q_OBJECT
public:
    // Installs the handlers if the program has not done so yet.
    explicit StopSignals(QObject* parent = nullptr);

    // A stop signal has arrived in this process (at any moment since the handlers were installed).
    static bool requested();
    // The run is moving on (a cycle lets the window's messages run once per document): a request
    // that waits for the end of a long cycle gets its grace period anew, so that only a call that
    // does not return for kStopGraceSeconds ends the process.
    static void noteProgress();

Q_SIGNALS:
    void stopRequested();

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace vk
