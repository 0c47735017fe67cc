#pragma once

#include "platform/Errors.h"
#include "platform/WindowPorts.h"

#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>

namespace vk {

// A request that ended with a status of 400 or more (but 401 and 407), or did not reach the
// server at all (status 404 and a reason naming the failure).
class HttpError : public Error {
public:
    HttpError(int status, const QString& reason)
        : Error(QString::number(status) + u' ' + reason), status_(status), reason_(reason) {}
    int status() const { return status_; }
    const QString& reason() const { return reason_; }

private:
    int status_;
    QString reason_;
};

// The received body could not be stored (a full disk, a device that fails): the server answered,
// so this is no HttpError and no status to show; it goes to the general error handler, and the
// caller deletes what was stored so far.
class TransferWriteError : public FileError {
    using FileError::FileError;
};

// HttpCli1: the update's HTTP client. HTTP/1.0 requests with the usual headers of the link,
// redirections followed (five at most), an optional proxy, plain HTTP and HTTPS (certificates
// checked against the system's store). GET and HEAD are synchronous: while they wait, they let
// the window handle its messages, so that timers, clicks and the cancel button stay alive.
class HttpTransfer {
public:
    explicit HttpTransfer(MessagePump& pump);
    ~HttpTransfer();
    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;

    QString Proxy;  // host; empty for a direct connection
    QString ProxyPort = QStringLiteral("80");
    QString CaFile;  // trusted certificates instead of the system's (tests)

    // Raise an HttpError as described above, or a TransferWriteError when the destination refuses
    // the body.
    void Get(const QString& url, QIODevice& destination);
    void Head(const QString& url);
    // Ends the request in progress: it fails with 404 "Connection aborted on request".
    void Abort() { abortRequested_ = true; }
    void Close() {}

    // One header line of a response as it arrives: a status line starts a new response (only the
    // last one's headers count) and gives the reason phrase; the others are kept as received.
    void takeHeaderLine(const QByteArray& line);

    int StatusCode = 0;
    QString ReasonPhrase;
    QStringList RcvdHeader;  // the header lines of the final response, as received
    qint64 RcvdCount = 0;
    std::function<void()> OnDocData;  // after each block of body data
    // Asked while waiting: a request of the application to end aborts the transfer.
    std::function<bool()> terminationRequested;

    static constexpr QStringView kUserAgent = u"Mozilla/4.0 (compatible; ICS)";
    static constexpr QStringView kAccept = u"image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    static constexpr QStringView kAbortedReason = u"Connection aborted on request";

private:
    void perform(const QString& url, QIODevice* destination);

    MessagePump& pump_;
    bool abortRequested_ = false;
    QIODevice* destination_ = nullptr;
    QString writeFailure_;  // why the destination refused the body; empty while it takes it

    friend struct CurlCallbacks;
};

}  // namespace vk
