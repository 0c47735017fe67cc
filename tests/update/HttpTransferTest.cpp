#include "support/LoopbackHttp.h"
#include "support/TempFolder.h"
#include "update/HttpTransfer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>

namespace vk {
namespace {

class EventPump final : public MessagePump {
public:
    void processPendingMessages() override {
        ++calls;
        QCoreApplication::processEvents();
        if (onPump) {
            onPump();
        }
    }
    int calls = 0;
    std::function<void()> onPump;
};

class Http : public ::testing::Test {
protected:
    Http() {
        server.replies["/ok"] = {"HTTP/1.0 200 OK\r\nX-Versie: 2", "hallo"};
        server.replies["/redirect"] = {"HTTP/1.0 302 Found\r\nLocation: /ok", "hier niet"};
        server.replies["/auth"] = {"HTTP/1.0 401 Unauthorized", "geheim"};
        server.replies["/loop"] = {"HTTP/1.0 302 Found\r\nLocation: /loop", ""};
        server.replies["/slow"] = {"HTTP/1.0 200 OK", QByteArray(5000, 'x'), 5};
    }
    QByteArray get(const char* path) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        http.Get(server.url(path), buffer);
        return buffer.data();
    }
    test::LoopbackServer server;
    EventPump pump;
    HttpTransfer http{pump};
};

TEST_F(Http, AGetSendsTheLinksRequestAndWritesTheBody) {
    EXPECT_EQ(get("/ok"), "hallo");
    EXPECT_EQ(http.StatusCode, 200);
    EXPECT_EQ(http.ReasonPhrase, QStringLiteral("OK"));
    EXPECT_TRUE(http.RcvdHeader.contains(QStringLiteral("X-Versie: 2")));
    EXPECT_EQ(http.RcvdCount, 5);
    ASSERT_EQ(server.requests.size(), 1);
    const QByteArray request = server.requests.first();
    EXPECT_TRUE(request.startsWith("GET /ok HTTP/1.0\r\n")) << request.toStdString();
    EXPECT_TRUE(request.contains("\r\nUser-Agent: Mozilla/4.0 (compatible; ICS)\r\n"));
    EXPECT_TRUE(request.contains("\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"));
    EXPECT_TRUE(request.contains("\r\nPragma: no-cache\r\n"));
}

TEST_F(Http, ARedirectionKeepsOnlyTheLastAnswer) {
    EXPECT_EQ(get("/redirect"), "hallo");
    EXPECT_EQ(http.StatusCode, 200);
    EXPECT_TRUE(http.RcvdHeader.contains(QStringLiteral("X-Versie: 2")));
    EXPECT_FALSE(http.RcvdHeader.join(u'\n').contains(QStringLiteral("Location")));
}

struct Failure {
    const char* path;
    int status;
    const char* reason;
};

TEST_F(Http, FailuresCarryTheirStatusAndReason) {
    for (const Failure& f : {Failure{"/missing", 404, "Not Found"}, Failure{"/loop", 404, ""}}) {
        try {
            get(f.path);
            ADD_FAILURE() << f.path << " succeeded";
        } catch (const HttpError& error) {
            EXPECT_EQ(error.status(), f.status) << f.path;
            if (*f.reason != '\0') {
                EXPECT_EQ(error.reason(), QString::fromLatin1(f.reason));
                EXPECT_EQ(error.message(), QStringLiteral("404 Not Found"));
            }
        }
    }
    // 401 counts as success, with its body
    EXPECT_EQ(get("/auth"), "geheim");
    EXPECT_EQ(http.StatusCode, 401);
}

TEST_F(Http, TransportFailuresAre404WithTheirCause) {
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 port = closed.serverPort();
    closed.close();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    try {
        http.Get(QStringLiteral("http://127.0.0.1:%1/x").arg(port), buffer);
        FAIL();
    } catch (const HttpError& error) {
        EXPECT_EQ(error.status(), 404);
        EXPECT_TRUE(error.reason().startsWith(QStringLiteral("can't connect: ")))
            << error.reason().toStdString();
        EXPECT_TRUE(error.reason().endsWith(QStringLiteral("(#111)")));
    }
    try {
        http.Get(QStringLiteral("http://bestaat-niet.invalid/x"), buffer);
        FAIL();
    } catch (const HttpError& error) {
        EXPECT_EQ(error.status(), 404);
        EXPECT_EQ(error.reason(), QStringLiteral("can't resolve hostname to IP address"));
    }
    try {
        http.Get(QStringLiteral("ftp://127.0.0.1/x"), buffer);
        FAIL();
    } catch (const HttpError& error) {
        EXPECT_EQ(error.status(), 501);
    }
}

// The wait keeps the window alive: messages are handled, a notification comes with each block,
// and the cancel button's Abort ends the transfer.
TEST_F(Http, TheWaitPumpsMessagesAndAbortEndsIt) {
    int blocks = 0;
    qint64 lastCount = 0;
    http.OnDocData = [&] {
        ++blocks;
        EXPECT_GT(http.RcvdCount, lastCount);
        lastCount = http.RcvdCount;
    };
    EXPECT_EQ(get("/slow").size(), 5000);
    EXPECT_GE(blocks, 2);
    EXPECT_GT(pump.calls, 3);
    EXPECT_EQ(http.RcvdCount, 5000);

    http.OnDocData = nullptr;
    pump.onPump = [&] {
        if (http.RcvdCount > 0) {
            http.Abort();
        }
    };
    try {
        get("/slow");
        FAIL();
    } catch (const HttpError& error) {
        EXPECT_EQ(error.status(), 404);
        EXPECT_EQ(error.reason(), QStringLiteral("Connection aborted on request"));
    }
    EXPECT_LT(http.RcvdCount, 5000);
}

// A request of the application to end, while a transfer waits, ends the transfer as Abort does.
TEST_F(Http, ATerminationRequestAbortsTheWait) {
    bool ending = false;
    http.terminationRequested = [&] { return ending; };
    pump.onPump = [&] { ending = http.RcvdCount > 0; };
    try {
        get("/slow");
        FAIL();
    } catch (const HttpError& error) {
        EXPECT_EQ(error.reason(), QStringLiteral("Connection aborted on request"));
    }
}

// A body that cannot be stored is no answer of the server: the request ends with an error of its
// own, naming the file and the system's reason. /dev/full refuses every write as a full disk does.
TEST_F(Http, ABodyThatCannotBeWrittenIsAnErrorOfItsOwn) {
    QFile full(QStringLiteral("/dev/full"));
    ASSERT_TRUE(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    try {
        http.Get(server.url("/slow"), full);
        FAIL();
    } catch (const HttpError& error) {
        FAIL() << "an HTTP failure: " << error.message().toStdString();
    } catch (const TransferWriteError& error) {
        QFile again(QStringLiteral("/dev/full"));  // the system's reason, as Qt words it
        again.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        again.write("x", 1);
        EXPECT_EQ(error.message(),
                  QStringLiteral("Het bestand /dev/full kan niet geschreven worden: ") + again.errorString());
        EXPECT_FALSE(again.errorString().isEmpty());
    }
    EXPECT_EQ(http.RcvdCount, 0);
}

TEST_F(Http, AHeadAsksForTheHeadersOnly) {
    http.Head(server.url("/slow"));
    EXPECT_EQ(http.StatusCode, 200);
    EXPECT_TRUE(http.RcvdHeader.contains(QStringLiteral("Content-Length: 5000")));
    EXPECT_EQ(http.RcvdCount, 0);
    EXPECT_TRUE(server.requests.last().startsWith("HEAD /slow HTTP/1.0\r\n"));
}

// HTTPS with a certificate that the test makes itself, served by openssl on loopback.
TEST_F(Http, HttpsIsCheckedAgainstTheTrustedCertificates) {
    test::TempFolder dir;
    QProcess make;
    make.setWorkingDirectory(dir.path());
    make.start(
        QStringLiteral("openssl"),
        {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
         QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"),
         QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
         QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"), QStringLiteral("key.pem"),
         QStringLiteral("-out"), QStringLiteral("cert.pem")});
    ASSERT_TRUE(make.waitForFinished(60000));
    ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
    dir.write(QStringLiteral("Updates.txt"), "[Vindo]\r\nVersion=9.9.9.9\r\n");
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    QProcess tls;
    tls.setWorkingDirectory(dir.path());
    tls.start(
        QStringLiteral("openssl"),
        {QStringLiteral("s_server"), QStringLiteral("-accept"), QStringLiteral("127.0.0.1:%1").arg(port),
         QStringLiteral("-cert"), QStringLiteral("cert.pem"), QStringLiteral("-key"),
         QStringLiteral("key.pem"), QStringLiteral("-WWW"), QStringLiteral("-quiet")});
    ASSERT_TRUE(tls.waitForStarted());
    const QString url = QStringLiteral("https://127.0.0.1:%1/Updates.txt").arg(port);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    // the server takes a moment to listen
    bool got = false;
    http.CaFile = dir.file(QStringLiteral("cert.pem"));
    for (int attempt = 0; attempt < 50 && !got; ++attempt) {
        try {
            http.Get(url, buffer);
            got = true;
        } catch (const HttpError& error) {
            if (!error.reason().startsWith(QStringLiteral("can't connect"))) {
                ADD_FAILURE() << error.message().toStdString();
                break;
            }
            QTest::qWait(100);
        }
    }
    ASSERT_TRUE(got);
    EXPECT_TRUE(buffer.data().contains("Version=9.9.9.9"));
    // without the test's certificate the server is not trusted
    http.CaFile.clear();
    EXPECT_THROW(http.Get(url, buffer), HttpError);
    tls.kill();
    tls.waitForFinished();
}

}  // namespace
}  // namespace vk
