#include "shell/QtMessageRouting.h"

#include "platform/Clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace vk {

namespace {

// The message texts of Qt's SQL module and its drivers start with their class names.
constexpr const char* kSqlPrefixes[] = {"QSql",     "QODBC",  "QPSQL", "QSQLite", "QSQLITE", "QMYSQL",
                                        "QMARIADB", "QIBASE", "QOCI",  "QDB2",    "QTDS"};
constexpr qsizetype kKeptLimit = 1000;

bool isSqlMessage(const char* category, const QString& text) {
    if (category != nullptr && std::strncmp(category, "qt.sql", 6) == 0) {
        return true;
    }
    // a QDebug stream puts a text in quotes
    const QStringView body = text.startsWith(u'"') ? QStringView(text).mid(1) : QStringView(text);
    for (const char* prefix : kSqlPrefixes) {
        if (body.startsWith(QLatin1StringView(prefix))) {
            return true;
        }
    }
    return false;
}

enum class Destination { Keep, Log, StandardError };

struct RoutingState {
    std::mutex mutex;
    QStringList pending;          // under mutex
    bool deliveryPosted = false;  // under mutex

    // the main thread's own
    bool installed = false;
    QtMessageHandler previous = nullptr;
    std::thread::id mainThread;
    Destination destination = Destination::Keep;
    LogView* log = nullptr;
    bool delivering = false;
};

// Never destroyed: a message of a late thread or a queued delivery may still come after main.
RoutingState& state() {
    static RoutingState* const s = new RoutingState;
    return *s;
}

thread_local bool inHandler = false;

void printLine(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

QStringList takePending() {
    RoutingState& s = state();
    const std::lock_guard lock(s.mutex);
    s.deliveryPosted = false;
    QStringList lines;
    lines.swap(s.pending);
    return lines;
}

// On the main thread: everything kept goes where it belongs now.
void deliverPending() {
    RoutingState& s = state();
    if (s.delivering || s.destination == Destination::Keep) {
        return;
    }
    struct Delivering {
        bool& flag;
        explicit Delivering(bool& f) : flag(f) { flag = true; }
        ~Delivering() { flag = false; }
    } delivering(s.delivering);
    for (QStringList lines = takePending(); !lines.isEmpty(); lines = takePending()) {
        for (const QString& line : lines) {
            if (s.destination == Destination::Log && s.log != nullptr) {
                s.log->appendLine(line);
            } else {
                printLine(line);
            }
        }
    }
}

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    RoutingState& s = state();
    const QtMessageRoute route = routeOfQtMessage(type, context.category, text);
    if (route == QtMessageRoute::Drop) {
        return;
    }
    if (route == QtMessageRoute::Fatal) {
        if (s.previous != nullptr) {
            s.previous(type, context, text);
        } else {
            printLine(text);
        }
        return;  // Qt ends the program
    }
    const QString line = logTimestamp(QDateTime::currentDateTime()) + QStringLiteral(" - Qt: ") + text;
    const bool mainThread = std::this_thread::get_id() == s.mainThread;
    if (inHandler || (mainThread && s.delivering)) {
        printLine(line);
        return;
    }
    inHandler = true;
    struct Leave {
        ~Leave() { inHandler = false; }
    } leave;
    bool kept = false;
    bool post = false;
    {
        const std::lock_guard lock(s.mutex);
        if (s.pending.size() < kKeptLimit) {
            s.pending.append(line);
            kept = true;
            if (!mainThread && !s.deliveryPosted) {
                s.deliveryPosted = post = true;
            }
        }
    }
    if (!kept) {
        printLine(line);  // nobody has taken the kept ones for a long time
    } else if (mainThread) {
        deliverPending();
    } else if (post) {
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app, [] { deliverPending(); }, Qt::QueuedConnection);
        }
    }
}

}  // namespace

QtMessageRoute routeOfQtMessage(QtMsgType type, const char* category, const QString& text) {
    switch (type) {
        case QtDebugMsg:
        case QtInfoMsg:
            return QtMessageRoute::Drop;
        case QtFatalMsg:
            return QtMessageRoute::Fatal;
        case QtWarningMsg:
        case QtCriticalMsg:
            break;
    }
    return isSqlMessage(category, text) ? QtMessageRoute::Drop : QtMessageRoute::Log;
}

QtMessageRouting::QtMessageRouting() {
    RoutingState& s = state();
    s.mainThread = std::this_thread::get_id();
    s.destination = Destination::Keep;
    s.log = nullptr;
    s.installed = true;
    s.previous = qInstallMessageHandler(handleMessage);
}

QtMessageRouting::~QtMessageRouting() {
    RoutingState& s = state();
    s.destination = Destination::StandardError;
    s.log = nullptr;
    deliverPending();
    qInstallMessageHandler(s.previous);
    s.installed = false;
}

QtMessageRouting::LogAttachment::LogAttachment(LogView& log) {
    RoutingState& s = state();
    if (!s.installed) {
        return;
    }
    s.log = &log;
    s.destination = Destination::Log;
    deliverPending();
}

QtMessageRouting::LogAttachment::~LogAttachment() {
    RoutingState& s = state();
    if (!s.installed) {
        return;
    }
    deliverPending();
    s.log = nullptr;
    s.destination = Destination::StandardError;
}

}  // namespace vk
