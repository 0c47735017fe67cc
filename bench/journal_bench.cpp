// How long one import cycle over a backlog takes to settle: every document is journalled before
// its file is deleted, and the cycle's answers are made durable together at its end, after which
// their records are marked done. The settling (from the last answer to the end of the cycle) must
// not grow faster than the number of documents, so that a stop request, which takes effect when
// the cycle has finished, waits no longer than a few seconds after the last document.
//
//   bench_journal [documents=10000] [more documents=100000]

#include "planning/TemporaryKey.h"
#include "platform/Clock.h"
#include "platform/WindowPorts.h"
#include "settings/Settings.h"
#include "w2w/DocumentJournal.h"
#include "w2w/ImportEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using Steady = std::chrono::steady_clock;

struct NullLog final : vk::LogView {
    void appendLine(const QString&) override {}
    void replaceText(const QString&) override {}
};
struct NullPacket final : vk::PacketView {
    void setText(const QString&) override {}
};
struct PrintedErrors final : vk::GeneralErrorHandler {
    void handleException(const std::exception& e) override { std::fprintf(stderr, "error: %s\n", e.what()); }
};
struct NullPump final : vk::MessagePump {
    void processPendingMessages() override {}
};

// A new order is answered at once: the journal and the answers are all the cycle does.
struct Acknowledging final : vk::w2w::DocumentHandlers {
    void handleNewOrder(vk::w2w::CurrentDocument& e) override {
        e.WriteAcknowledgement(QStringLiteral("BOB"), e.currentEntryName());
    }
    void handleAmendment(vk::w2w::CurrentDocument&) override {}
};

QByteArray document(int i) {
    return "<?xml version=\"1.0\"?>\n<w2w version=\"1.0\">\n<s2c>\n<kind>ADD</kind>\n<id>" +
           QByteArray::number(i) +
           "</id>\n<ssec>201101071146</ssec>\n<npassenger>1</npassenger>\n<splace>Stationsplein</splace>\n"
           "<szip>1012AB</szip>\n<dplace>Ziekenhuislaan</dplace>\n<costs>1250</costs>\n"
           "<passenger>Mevr. de Vries</passenger>\n</s2c>\n</w2w>\n";
}

void cycle(int documents) {
    QTemporaryDir root;
    const QString inbound = root.path() + QStringLiteral("/S2C");
    const QString outbound = root.path() + QStringLiteral("/C2S");
    QDir().mkpath(inbound + QStringLiteral("/Backups"));
    QDir().mkpath(outbound);
    for (int i = 0; i < documents; ++i) {
        QFile f(inbound + QStringLiteral("/%1.s2c").arg(i));
        if (!f.open(QIODevice::WriteOnly) || f.write(document(i)) < 0) {
            std::exit(2);
        }
    }
    vk::MemorySettings settings;
    settings.setText(vk::Setting::w2wInkomende, inbound);
    settings.setText(vk::Setting::w2wUitgaande, outbound);
    NullLog log;
    NullPacket packet;
    PrintedErrors errors;
    NullPump pump;
    vk::SystemClock clock;
    vk::TemporaryKeys keys(clock);
    Acknowledging handlers;
    const QString journalPath = root.path() + u'/' + vk::w2w::DocumentJournal::kFileName.toString();
    vk::w2w::DocumentJournal journal(journalPath, keys);
    vk::w2w::ImportEngine engine({settings, packet, log, errors, pump, clock}, handlers, &journal);
    Steady::time_point lastAnswer;
    qint64 journalPeak = 0;
    int answers = 0;
    engine.faultPoint = [&](vk::w2w::CyclePoint point) {
        if (point == vk::w2w::CyclePoint::AfterAcknowledgement) {
            lastAnswer = Steady::now();
            if (++answers % 1000 == 0) {
                journalPeak = std::max(journalPeak, QFileInfo(journalPath).size());
            }
        }
    };
    const auto start = Steady::now();
    engine.CheckXMLfiles();
    const auto end = Steady::now();
    const auto seconds = [](Steady::duration d) { return std::chrono::duration<double>(d).count(); };
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "%7d documents: %6.1f s of documents, settled %5.2f s after the last answer; journal at most "
        "%.1f MB, %lld bytes after; peak memory %ld MiB%s\n",
        documents, seconds(lastAnswer - start), seconds(end - lastAnswer), journalPeak / 1e6,
        static_cast<long long>(QFileInfo(journalPath).size()), usage.ru_maxrss / 1024,
        answers == documents ? "" : " (NOT ALL ANSWERED)");
    if (answers != documents || !journal.pending().empty()) {
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    for (int i = 1; i < 3; ++i) {
        cycle(argc > i ? std::atoi(argv[i]) : (i == 1 ? 10000 : 100000));
    }
    return 0;
}
