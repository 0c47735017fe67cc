#include "update/HttpTransfer.h"

#include <QFileDevice>
#include <QUrl>

#include <curl/curl.h>

#include <cstring>
#include <memory>
#include <mutex>

namespace vk {

struct CurlCallbacks {
    static size_t body(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<HttpTransfer*>(user);
        const size_t bytes = size * count;
        if (self->destination_ != nullptr &&
            self->destination_->write(data, static_cast<qint64>(bytes)) != static_cast<qint64>(bytes)) {
            const auto* file = qobject_cast<const QFileDevice*>(self->destination_);
            self->writeFailure_ =
                QStringLiteral("Het bestand %1 kan niet geschreven worden: %2")
                    .arg(file != nullptr ? file->fileName() : QStringLiteral("voor de ontvangen gegevens"),
                         self->destination_->errorString());
            return 0;  // ends the transfer
        }
        self->RcvdCount += static_cast<qint64>(bytes);
        if (self->OnDocData) {
            self->OnDocData();
        }
        return bytes;
    }

    static size_t header(char* data, size_t size, size_t count, void* user) {
        const size_t bytes = size * count;
        static_cast<HttpTransfer*>(user)->takeHeaderLine(QByteArray(data, static_cast<qsizetype>(bytes)));
        return bytes;
    }
};

namespace {

void initialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

}  // namespace

void HttpTransfer::takeHeaderLine(const QByteArray& bytes) {
    QString line = QString::fromLatin1(bytes);
    while (line.endsWith(u'\n') || line.endsWith(u'\r')) {
        line.chop(1);
    }
    if (line.startsWith(u"HTTP/")) {
        RcvdHeader.clear();
        const qsizetype first = line.indexOf(u' ');
        const qsizetype second = first < 0 ? -1 : line.indexOf(u' ', first + 1);
        ReasonPhrase = second < 0 ? QString() : line.mid(second + 1);
    } else if (!line.isEmpty()) {
        RcvdHeader << line;
    }
}

HttpTransfer::HttpTransfer(MessagePump& pump) : pump_(pump) {
    initialiseCurl();
}

HttpTransfer::~HttpTransfer() = default;

void HttpTransfer::Get(const QString& url, QIODevice& destination) {
    perform(url, &destination);
}

void HttpTransfer::Head(const QString& url) {
    perform(url, nullptr);
}

void HttpTransfer::perform(const QString& url, QIODevice* destination) {
    StatusCode = 0;
    ReasonPhrase.clear();
    RcvdHeader.clear();
    RcvdCount = 0;
    abortRequested_ = false;
    writeFailure_.clear();
    destination_ = destination;

    const QString scheme = QUrl(url).scheme().toLower();
    if (Proxy.isEmpty() && scheme != u"http" && scheme != u"https") {
        StatusCode = 501;
        ReasonPhrase = QStringLiteral("Protocol \"%1\" not implemented").arg(scheme);
        throw HttpError(StatusCode, ReasonPhrase);
    }

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    std::unique_ptr<curl_slist, ListDeleter> headers;
    for (const QString& h :
         {QStringLiteral("Accept: ") + kAccept.toString(), QStringLiteral("Pragma: no-cache")}) {
        headers.reset(curl_slist_append(headers.release(), h.toLatin1().constData()));
    }
    const QByteArray urlBytes = url.toUtf8();
    const QByteArray agent = kUserAgent.toString().toLatin1();
    const QByteArray proxy = Proxy.isEmpty() ? QByteArray() : (Proxy + u':' + ProxyPort).toUtf8();
    const QByteArray caFile = CaFile.toLocal8Bit();
    CURL* c = easy.get();
    curl_easy_setopt(c, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(c, CURLOPT_USERAGENT, agent.constData());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Only the window's proxy counts: an empty one is a direct connection whatever http_proxy,
    // HTTPS_PROXY or ALL_PROXY say, and no_proxy does not lead around the one that is set.
    curl_easy_setopt(c, CURLOPT_PROXY, proxy.constData());
    curl_easy_setopt(c, CURLOPT_NOPROXY, "");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    if (!caFile.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_CAINFO, caFile.constData());
    }
    if (destination == nullptr) {
        curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
    }
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &CurlCallbacks::body);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &CurlCallbacks::header);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, this);
    curl_multi_add_handle(multi.get(), c);

    // The wait lets the window handle its messages between short looks at the sockets.
    int running = 1;
    CURLcode result = CURLE_OK;
    while (running > 0) {
        curl_multi_perform(multi.get(), &running);
        if (running == 0) {
            break;
        }
        pump_.processPendingMessages();
        if (abortRequested_ || (terminationRequested && terminationRequested())) {
            curl_multi_remove_handle(multi.get(), c);
            StatusCode = 404;
            ReasonPhrase = kAbortedReason.toString();
            destination_ = nullptr;
            throw HttpError(StatusCode, ReasonPhrase);
        }
        curl_multi_poll(multi.get(), nullptr, 0, 50, nullptr);
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
        if (message->msg == CURLMSG_DONE) {
            result = message->data.result;
        }
    }
    curl_multi_remove_handle(multi.get(), c);
    destination_ = nullptr;

    if (!writeFailure_.isEmpty()) {
        throw TransferWriteError(writeFailure_);
    }
    if (result != CURLE_OK) {
        StatusCode = 404;
        if (result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_COULDNT_RESOLVE_PROXY) {
            ReasonPhrase = QStringLiteral("can't resolve hostname to IP address");
        } else if (result == CURLE_COULDNT_CONNECT) {
            long osError = 0;
            curl_easy_getinfo(c, CURLINFO_OS_ERRNO, &osError);
            ReasonPhrase = QStringLiteral("can't connect: %1 (#%2)")
                               .arg(systemErrorText(static_cast<int>(osError)))
                               .arg(osError);
        } else {
            ReasonPhrase = QString::fromUtf8(curl_easy_strerror(result));
        }
        throw HttpError(StatusCode, ReasonPhrase);
    }
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    StatusCode = static_cast<int>(status);
    if (StatusCode >= 400 && StatusCode != 401 && StatusCode != 407) {
        throw HttpError(StatusCode, ReasonPhrase);
    }
}

}  // namespace vk
