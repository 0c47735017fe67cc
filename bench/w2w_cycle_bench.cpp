// Throughput of one import cycle over many small documents, against the file-system limit: a
// plain loop that does the same file work (list, read, copy, delete, acknowledge) and nothing
// else, the same way: copies flushed to disk before the original is deleted, every file written
// under a temporary name and renamed into place. A third loop with plain unflushed writes in
// place is shown too.
//
//   bench_w2w_cycle [documents] [rounds]

#include "platform/AnsiCodePage.h"
#include "platform/Clock.h"
#include "platform/WindowPorts.h"
#include "settings/Settings.h"
#include "w2w/ImportEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct NullLog final : vk::LogView {
    void appendLine(const QString& line) override { lines += line.size() > 0; }
    void replaceText(const QString&) override {}
    long lines = 0;
};
struct NullPacket final : vk::PacketView {
    void setText(const QString&) override {}
};
struct NullErrors final : vk::GeneralErrorHandler {
    void handleException(const std::exception& e) override { std::fprintf(stderr, "error: %s\n", e.what()); }
};
struct NullPump final : vk::MessagePump {
    void processPendingMessages() override {}
};

std::string document(int i) {
    return "<?xml version=\"1.0\"?>\n<w2w version=\"1.0\">\n<s2c>\n<kind>ADD</kind>\n<id>" +
           std::to_string(i) +
           "</id>\n<ssec>201101071146</ssec>\n<npassenger>1</npassenger>\n<splace>Stationsplein</splace>\n"
           "<snumber>1</snumber>\n<szip>1012AB</szip>\n<dplace>Ziekenhuislaan</dplace>\n<dnumber>20</"
           "dnumber>\n"
           "<dzip>1066CX</dzip>\n<costs>1250</costs>\n<passenger>Mevr. de "
           "Vries</passenger>\n</s2c>\n</w2w>\n";
}

void writeAll(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::perror(path.c_str());
        std::exit(1);
    }
    ::close(fd);
}

struct Folders {
    QTemporaryDir root;
    std::string inbound, backups, outbound;
    explicit Folders(int documents) {
        const std::string base = root.path().toStdString();
        inbound = base + "/S2C";
        backups = inbound + "/Backups";
        outbound = base + "/C2S";
        QDir().mkpath(QString::fromStdString(backups));
        QDir().mkpath(QString::fromStdString(outbound));
        for (int i = 0; i < documents; ++i) {
            writeAll(inbound + "/" + std::to_string(i) + ".s2c", document(i));
        }
        ::sync();
    }
};

std::string readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string bytes;
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
        bytes.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return bytes;
}

void writeReplacing(const std::string& path, const std::string& bytes, bool flush) {
    const std::string temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
        (flush && ::fdatasync(fd) != 0)) {
        std::perror(temp.c_str());
        std::exit(1);
    }
    ::close(fd);
    ::rename(temp.c_str(), path.c_str());
}

const std::string kAck =
    "<?xml version=\"1.0\"?>\r\n<w2w "
    "version=\"1.0\">\r\n<c2s>\r\n<kind>BOB</kind>\r\n<id>1</id>\r\n</c2s>\r\n"
    "</w2w>\r\n";

// The same file work without the link: the file-system limit.
long plainLoop(const Folders& f,
               const std::function<void(const std::string&, const std::string&, bool)>& write) {
    DIR* dir = ::opendir(f.inbound.c_str());
    long handled = 0;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".s2c") != 0) {
            continue;
        }
        const std::string path = f.inbound + "/" + name;
        const std::string bytes = readFile(path);
        write(f.backups + "/" + name, bytes, true);
        ::unlink(path.c_str());
        write(f.outbound + "/" + name.substr(0, name.size() - 4) + ".c2s", kAck, false);
        ++handled;
    }
    ::closedir(dir);
    return handled;
}

long linkCycle(const Folders& f) {
    vk::MemorySettings settings;
    settings.setText(vk::Setting::w2wInkomende, QString::fromStdString(f.inbound));
    settings.setText(vk::Setting::w2wUitgaande, QString::fromStdString(f.outbound));
    NullLog log;
    NullPacket packet;
    NullErrors errors;
    NullPump pump;
    vk::SystemClock clock;
    // A new order is answered at once, so that the cycle writes what the plain loop writes.
    struct Acknowledging final : vk::w2w::DocumentHandlers {
        void handleNewOrder(vk::w2w::CurrentDocument& e) override {
            e.WriteAcknowledgement(QStringLiteral("BOB"), e.currentEntryName());
        }
        void handleAmendment(vk::w2w::CurrentDocument&) override {}
    } handlers;
    vk::w2w::ImportEngine engine({settings, packet, log, errors, pump, clock}, handlers);
    engine.CheckXMLfiles();
    return log.lines;
}

double measure(int documents, const std::function<long(const Folders&)>& run) {
    const Folders folders(documents);
    const auto start = Clock::now();
    const long handled = run(folders);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (handled != documents) {
        std::fprintf(stderr, "handled %ld of %d documents\n", handled, documents);
        std::exit(1);
    }
    return documents / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int documents = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

    std::vector<double> cycle, limit, unflushed;
    for (int r = 0; r < rounds; ++r) {
        cycle.push_back(measure(documents, linkCycle));
        limit.push_back(measure(documents, [](const Folders& f) { return plainLoop(f, writeReplacing); }));
        unflushed.push_back(measure(documents, [](const Folders& f) {
            return plainLoop(f, [](const std::string& p, const std::string& b, bool) { writeAll(p, b); });
        }));
    }
    const auto best = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };
    std::printf("documents per round        : %d (best of %d rounds)\n", documents, rounds);
    std::printf("import cycle               : %9.0f files/s\n", best(cycle));
    std::printf("plain loop, same file work : %9.0f files/s\n", best(limit));
    std::printf("plain loop, unflushed      : %9.0f files/s (for information)\n", best(unflushed));
    std::printf("ratio cycle / limit        : %9.2f (target 0.80 or more)\n", best(cycle) / best(limit));
    return 0;
}
