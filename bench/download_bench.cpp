// The update's HTTP client against the curl program: one file from a loopback server (Python's
// http.server), downloaded through HttpTransfer with its progress notifications, and by curl,
// taking turns, best of three. Also the peak memory of this process, which must not grow with
// the file's size.
//
//   bench_download [megabytes=200]

#include "update/HttpTransfer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>
#include <algorithm>
#include <cstdio>

using namespace vk;

namespace {

class EventPump final : public MessagePump {
public:
    void processPendingMessages() override { QCoreApplication::processEvents(); }
};

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double throughHttpTransfer(const QString& url, const QString& target, qint64 expected, int& notifications) {
    EventPump pump;
    HttpTransfer http(pump);
    notifications = 0;
    http.OnDocData = [&] { ++notifications; };
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::exit(2);
    }
    QElapsedTimer t;
    t.start();
    http.Get(url, file);
    file.close();
    const double seconds = t.nsecsElapsed() / 1e9;
    if (QFile(target).size() != expected) {
        std::fprintf(stderr, "HttpTransfer got %lld bytes\n", static_cast<long long>(QFile(target).size()));
        std::exit(1);
    }
    return expected / seconds / (1024.0 * 1024.0);
}

double throughCurl(const QString& url, const QString& target, qint64 expected) {
    QElapsedTimer t;
    t.start();
    const int rc =
        QProcess::execute(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), target, url});
    const double seconds = t.nsecsElapsed() / 1e9;
    if (rc != 0 || QFile(target).size() != expected) {
        std::fprintf(stderr, "curl failed\n");
        std::exit(1);
    }
    return expected / seconds / (1024.0 * 1024.0);
}

// Waits until the server takes connections on port: Python may take a long while to start on a
// loaded machine, and a download before it listens would fail. Gives up when the server has
// ended or after 30 seconds, saying why.
bool waitUntilListening(QProcess& server, quint16 port) {
    const QDeadlineTimer deadline(30'000);
    while (!deadline.hasExpired()) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(
                static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 1, 1000)))) {
            socket.disconnectFromHost();
            return true;
        }
        // waitForFinished takes in the news of the server's end, which nothing else here would
        if (server.waitForFinished(0) || server.state() == QProcess::NotRunning) {
            std::fprintf(stderr,
                         "the HTTP server (python3 -m http.server) ended before it took connections: %s\n",
                         server.readAllStandardError().constData());
            return false;
        }
        QThread::msleep(50);
    }
    std::fprintf(stderr,
                 "the HTTP server (python3 -m http.server) took no connection on port %u within 30 s\n",
                 static_cast<unsigned>(port));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? std::atoll(argv[1]) : 200;
    QTemporaryDir dir;
    const qint64 size = megabytes * 1024 * 1024;
    {
        QFile f(dir.filePath(QStringLiteral("VeloraKarvexClient")));
        if (!f.open(QIODevice::WriteOnly)) {
            return 2;
        }
        QByteArray block(1 << 20, 'v');
        for (qint64 i = 0; i < megabytes; ++i) {
            block[0] = static_cast<char>(i);
            f.write(block);
        }
    }
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    QProcess server;
    server.setWorkingDirectory(dir.path());
    server.start(QStringLiteral("python3"),
                 {QStringLiteral("-m"), QStringLiteral("http.server"), QString::number(port),
                  QStringLiteral("--bind"), QStringLiteral("127.0.0.1")});
    if (!server.waitForStarted()) {
        std::fprintf(stderr, "python3 cannot be started: %s\n", qPrintable(server.errorString()));
        return 2;
    }
    if (!waitUntilListening(server, port)) {
        server.kill();
        server.waitForFinished();
        return 2;
    }
    const QString url = QStringLiteral("http://127.0.0.1:%1/VeloraKarvexClient").arg(port);

    // a small download first: the memory it takes is the baseline
    int notifications = 0;
    const QString target = dir.filePath(QStringLiteral("opgehaald"));
    {
        QFile small(dir.filePath(QStringLiteral("klein")));
        small.open(QIODevice::WriteOnly);
        small.write(QByteArray(8 << 20, 'k'));
    }
    throughHttpTransfer(QStringLiteral("http://127.0.0.1:%1/klein").arg(port), target, 8 << 20,
                        notifications);
    const long baseline = peakKiB();

    double bestLink = 0;
    double bestCurl = 0;
    for (int round = 0; round < 3; ++round) {
        bestLink = std::max(bestLink, throughHttpTransfer(url, target, size, notifications));
        bestCurl = std::max(bestCurl, throughCurl(url, target, size));
    }
    server.kill();
    server.waitForFinished();
    std::printf("Download of %lld MB from a loopback server, best of 3\n", static_cast<long long>(megabytes));
    std::printf("  HttpTransfer: %.0f MB/s (%d progress notifications)\n", bestLink, notifications);
    std::printf("  curl:         %.0f MB/s\n", bestCurl);
    std::printf("  ratio %.2f (target 0.80)\n", bestLink / bestCurl);
    std::printf("  peak memory after an 8 MB download %ld KiB, after the %lld MB downloads %ld KiB\n",
                baseline, static_cast<long long>(megabytes), peakKiB());
    return 0;
}
