#pragma once

#include <QString>

#include <exception>
#include <string>

namespace vk {

// Every error the link raises on purpose carries its message text; the handlers that catch it
// write that text into the log as it stands.
class Error : public std::exception {
public:
    explicit Error(QString message);
    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    std::string utf8_;
};

// A text that cannot be turned into the value asked for (dates, times).
class ConvertError : public Error {
    using Error::Error;
};

// A file that cannot be opened, read, created or written.
class FileError : public Error {
    using Error::Error;
};

// The planning database refused a connect or a statement; the message is the driver's.
class DatabaseError : public Error {
    using Error::Error;
};

// Stops an action without any message: the general error handler lets it pass in silence.
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

// The operating system's text for an error number (errno).
QString systemErrorText(int error);

// The message of any exception, as the log shows it.
QString errorMessage(const std::exception& error);

}  // namespace vk
