#include "shell/LinkApplication.h"

#include "platform/Errors.h"

#include <cstdio>

namespace vk {

namespace {
LinkApplication::ExceptionHandler& exceptionHandler() {
    static LinkApplication::ExceptionHandler handler;
    return handler;
}
}  // namespace

LinkApplication::LinkApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void LinkApplication::setExceptionHandler(ExceptionHandler handler) {
    exceptionHandler() = std::move(handler);
}

void LinkApplication::handleEscapedError(const std::exception& error) {
    if (dynamic_cast<const SilentAbort*>(&error) != nullptr) {
        return;
    }
    if (exceptionHandler()) {
        exceptionHandler()(error);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(errorMessage(error)));
    }
}

namespace {
bool quitWasRequested = false;
}  // namespace

void LinkApplication::requestQuit() {
    quitWasRequested = true;
    QCoreApplication::quit();
}

bool LinkApplication::quitRequested() {
    return quitWasRequested;
}

bool LinkApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    runGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

}  // namespace vk
