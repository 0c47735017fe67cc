#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace vk {

// A link started from an installation whose update is still unsettled confirms it once it has held
// its data folder for kHold: from then on no --recover puts the previous version back. While the
// updater (or a --recover) works on the installation it tries again later; the updater settles it
// itself then.
class UpdateConfirmation : public QObject {
public:
    static constexpr int kHoldMs = 10000;

    // programFile: the running program's file; logLine gets what is said, without a time stamp.
    UpdateConfirmation(QString programFile, std::function<void(const QString&)> logLine);

private:
    void tryNow();

    QString programFile_;
    std::function<void(const QString&)> logLine_;
    QTimer timer_;
    int tries_ = 0;
};

}  // namespace vk
