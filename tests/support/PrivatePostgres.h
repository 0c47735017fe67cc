#pragma once

#include "settings/Settings.h"
#include "support/Databases.h"

#include <QString>
#include <QTemporaryDir>

namespace vk::test {

// A PostgreSQL server of one test's own on loopback, started by scripts/pg.sh in a folder of its
// own, so that the test can stop, start, freeze and thaw it for real without touching the server
// that the other tests share. It fails the test loudly when it cannot be started.
class PrivatePostgres {
public:
    PrivatePostgres();
    ~PrivatePostgres();
    PrivatePostgres(const PrivatePostgres&) = delete;
    PrivatePostgres& operator=(const PrivatePostgres&) = delete;

    const PostgresServer& server() const { return server_; }
    // The login settings of the link for this server's database "vktest", with the link's tables.
    void fillLoginSettings(Settings& settings) const;

    // pg_ctl stop: "fast" tells the sessions, "immediate" cuts them off as a crash would.
    void stop(const char* mode = "fast");
    // Starts it again on the same port; returns once it accepts connections.
    void start();
    // Stops every process of the server with SIGSTOP, as a machine that hangs; thaw lets them go on.
    void freeze();
    void thaw();
    bool frozen() const { return frozen_; }
    // Ends every session of the link's database from a session of its own, as an administrator can.
    void terminateSessions();
    // A statement through a connection of the test's own (opened and closed for it).
    void exec(const QString& sql) const;
    // The first column of the first row of a query, through a connection of the test's own.
    QVariant value(const QString& sql) const;

private:
    void script(const QString& action, const QStringList& extra = {}) const;

    QTemporaryDir dir_;
    PostgresServer server_;
    bool running_ = false;
    bool frozen_ = false;
};

}  // namespace vk::test
