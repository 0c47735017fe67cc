#include "shell/UpdateConfirmation.h"

#include "update/UpdateMarker.h"

namespace vk {

namespace {
// An updater watches for well under a minute and a --recover waits ten seconds: an hour of tries
// outlasts both by far.
constexpr int kMostTries = 360;
}  // namespace

UpdateConfirmation::UpdateConfirmation(QString programFile, std::function<void(const QString&)> logLine)
    : programFile_(std::move(programFile)), logLine_(std::move(logLine)) {
    timer_.setSingleShot(true);
    timer_.setInterval(kHoldMs);
    connect(&timer_, &QTimer::timeout, this, [this] { tryNow(); });
    timer_.start();
}

void UpdateConfirmation::tryNow() {
    if (programFile_.isEmpty()) {
        return;  // its program file was replaced while it ran: a newer one confirms its own update
    }
    try {
        switch (confirmUpdate(programFile_)) {
            case ConfirmOutcome::NothingToConfirm:
            case ConfirmOutcome::PreviousRuns:
                return;
            case ConfirmOutcome::Confirmed:
                logLine_(QStringLiteral(
                    "De update naar deze versie is bevestigd: ze draait en houdt haar map vast"));
                return;
            case ConfirmOutcome::Busy:
                break;
        }
    } catch (const Error& error) {
        logLine_(
            QStringLiteral("De update naar deze versie kan niet bevestigd worden: %1").arg(error.message()));
        return;
    }
    if (++tries_ < kMostTries) {
        timer_.start();
    }
}

}  // namespace vk
