#include "shell/ConsolePorts.h"

#include "platform/Errors.h"
#include "shell/LinkApplication.h"
#include "shell/StopSignals.h"

#include <QCoreApplication>

namespace vk {

// One log line is one line of output: line breaks inside a message (a driver's, say) become spaces.
void ConsoleLog::appendLine(const QString& line) {
    QString flat = line;
    flat.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(u'\n', u' ').replace(u'\r', u' ');
    const QByteArray bytes = flat.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void ConsoleLog::replaceText(const QString& text) {
    appendLine(text);
}

void LogReplacingErrorHandler::handleException(const std::exception& error) {
    log_.replaceText(errorMessage(error));
}

void EventLoopPump::processPendingMessages() {
    StopSignals::noteProgress();
    QCoreApplication::processEvents();
}

bool EventLoopPump::stopRequested() const {
    return StopSignals::requested() || LinkApplication::quitRequested();
}

}  // namespace vk
