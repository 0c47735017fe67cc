#pragma once

#include "platform/Errors.h"

#include <QApplication>

#include <exception>
#include <functional>

namespace vk {

// The application of the windowed run. An error that escapes the handling of any event reaches
// the handler set here (the main window's general error handler) instead of ending the program;
// the silent-abort kind is dropped.
class LinkApplication final : public QApplication {
public:
    LinkApplication(int& argc, char** argv);

    using ExceptionHandler = std::function<void(const std::exception&)>;
    static void setExceptionHandler(ExceptionHandler handler);
    // Routes an error as an escaped one would go; for the paths that are not events.
    static void handleEscapedError(const std::exception& error);

    bool notify(QObject* receiver, QEvent* event) override;

    // The end of the program was asked for (the window closed, a stop signal, an update's
    // hand-over): the main loop ends once control is back in it, and waits in progress give up.
    static void requestQuit();
    static bool quitRequested();
};

// Runs a handler, and passes any error it lets out to the exception handler above.
template <class Handler>
void runGuarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        LinkApplication::handleEscapedError(error);
    } catch (...) {
        LinkApplication::handleEscapedError(Error(QStringLiteral("Onbekende fout")));
    }
}

}  // namespace vk
