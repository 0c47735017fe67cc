#pragma once

#include "update/UpdateEnvironment.h"
#include "update/UpdateFormats.h"

#include <QFont>
#include <QString>

#include <functional>

namespace vk {

class TQormAppUpdateNotifyBox;

// QormAppUpdate1: the update check. It fetches the manifest, compares the version on offer with
// the running one, and shows the notification window or says that there is no new version.
class TQormAppUpdate {
public:
    explicit TQormAppUpdate(UpdateEnvironment& environment);
    ~TQormAppUpdate();

    FileSizeUnit fileSizeUnit = FileSizeUnit::Auto;
    QFont Font;
    QFont FontReadme;
    HashType hashType = HashType::None;
    QString ProxyAddress;
    QString ProxyPort = QStringLiteral("80");
    QString UpdateFileURL;
    QString UpdatePageURL;
    QString Version;
    QString CaFile;  // trusted certificates for HTTPS instead of the system's (tests)

    // The manifest section of this program, shared by all instances.
    static QString AppSectionName;

    // True when a newer version was offered (after its window has closed). Quiet leaves out only
    // the messages that there is no new version. One check at a time: while one runs, another
    // call brings its window to the front (showRunningCheck) and returns false.
    bool CheckForUpdate(bool Quiet);
    // Whether a check runs: its requests wait, its window is open, or its download runs.
    bool isChecking() const { return running_ != nullptr; }
    // The running check's window comes to the front, or its download's; nothing while its requests
    // wait and no window is open yet.
    void showRunningCheck();

    // How the notification window is shown; tests drive it here instead of a person.
    std::function<void(TQormAppUpdateNotifyBox&)> showModal;

private:
    // Fetches url into a fresh temporary file of the user's temporary folder (prefix "AU") and
    // hands its contents to use; the file is deleted whatever happens. A failed request puts its
    // "Mislukt: " line into the read-me instead.
    void fetch(TQormAppUpdateNotifyBox& box, const QString& url,
               const std::function<void(const QByteArray&)>& use);

    UpdateEnvironment& env_;
    TQormAppUpdateNotifyBox* running_ = nullptr;  // the running check's window
};

// The address of the manifest and of the product's web page: the build's defaults, unless the
// environment variables VK_UPDATE_URL and VK_UPDATE_PAGE name others.
QString defaultUpdateFileURL();
QString defaultUpdatePageURL();

}  // namespace vk
