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
// Notices about the surroundings: the categories (each with those below it), and the beginnings of
// the texts that Qt words them with where it gives them no category of their own.
constexpr const char* kSurroundingsCategories[] = {
    "qt.qpa", "qt.accessibility", "qt.glx", "qt.opengl", "qt.vulkan", "qt.highdpi", "qt.text.font"};
constexpr const char* kSurroundingsPrefixes[] = {"QStandardPaths:", "QXcb", "This plugin does not support",
                                                 "Qt: Session management error",
                                                 "Unable to detect a web browser"};
constexpr qsizetype kKeptLimit = 1000;

// a QDebug stream puts a text in quotes
QStringView bodyOf(const QString& text) {
    return text.startsWith(u'"') ? QStringView(text).mid(1) : QStringView(text);
}

bool startsWithAnyOf(QStringView body, const auto& prefixes) {
    for (const char* prefix : prefixes) {
        if (body.startsWith(QLatin1StringView(prefix))) {
            return true;
        }
    }
    return false;
}

bool isSqlMessage(const char* category, const QString& text) {
    if (category != nullptr && std::strncmp(category, "qt.sql", 6) == 0) {
        return true;
    }
    return startsWithAnyOf(bodyOf(text), kSqlPrefixes);
}

bool inCategory(const char* category, const char* family) {
    const size_t n = std::strlen(family);
    return std::strncmp(category, family, n) == 0 && (category[n] == '\0' || category[n] == '.');
}

bool isSurroundingsNotice(const char* category, const QString& text) {
    if (category != nullptr && std::strcmp(category, "default") != 0) {
        for (const char* family : kSurroundingsCategories) {
            if (inCategory(category, family)) {
                return true;
            }
        }
        return false;
    }
    return startsWithAnyOf(bodyOf(text), kSurroundingsPrefixes);
}

enum class Destination { Keep, Log, StandardError };

// A routed message waiting for the main thread: a line of the log, or one for the log's file alone
// (already printed on standard error).
struct PendingLine {
    QString line;
    bool aside = false;
};

struct RoutingState {
    std::mutex mutex;
    QList<PendingLine> pending;   // under mutex
    bool deliveryPosted = false;  // under mutex

    // the main thread's own
    bool installed = false;
    QtMessageHandler previous = nullptr;
    std::thread::id mainThread;
    Destination destination = Destination::Keep;
    LogView* log = nullptr;
    bool delivering = false;
    int asideScopes = 0;  // Aside objects alive
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

QList<PendingLine> takePending() {
    RoutingState& s = state();
    const std::lock_guard lock(s.mutex);
    s.deliveryPosted = false;
    QList<PendingLine> lines;
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
    for (QList<PendingLine> lines = takePending(); !lines.isEmpty(); lines = takePending()) {
        for (const PendingLine& pending : lines) {
            const bool toLog = s.destination == Destination::Log && s.log != nullptr;
            if (pending.aside) {
                if (toLog) {
                    s.log->keepOnly(pending.line);
                }
            } else if (toLog) {
                s.log->appendLine(pending.line);
            } else {
                printLine(pending.line);
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
    const bool aside = route == QtMessageRoute::Aside || (mainThread && s.asideScopes > 0);
    if (aside) {
        printLine(line);  // at once; the log's file gets it with the next delivery
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
            s.pending.append({line, aside});
            kept = true;
            if (!mainThread && !s.deliveryPosted) {
                s.deliveryPosted = post = true;
            }
        }
    }
    if (!kept) {
        if (!aside) {
            printLine(line);  // nobody has taken the kept ones for a long time
        }
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
    if (isSqlMessage(category, text)) {
        return QtMessageRoute::Drop;
    }
    return isSurroundingsNotice(category, text) ? QtMessageRoute::Aside : QtMessageRoute::Log;
}

QtMessageRouting::QtMessageRouting() {
    RoutingState& s = state();
    s.mainThread = std::this_thread::get_id();
    s.destination = Destination::Keep;
    s.log = nullptr;
    s.asideScopes = 0;
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

QtMessageRouting::Aside::Aside() : counted_(state().installed) {
    if (counted_) {
        ++state().asideScopes;
    }
}

QtMessageRouting::Aside::~Aside() {
    if (counted_ && state().asideScopes > 0) {
        --state().asideScopes;
    }
}

}  // namespace vk
