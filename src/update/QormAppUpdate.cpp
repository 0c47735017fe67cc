#include "update/QormAppUpdate.h"

#include "platform/Errors.h"
#include "platform/InboundFile.h"
#include "update/QormAppUpdateNotify.h"

#include <QCoreApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryFile>

namespace vk {

QString TQormAppUpdate::AppSectionName;

QString defaultUpdateFileURL() {
    const QString fromEnvironment = qEnvironmentVariable("VK_UPDATE_URL");
    return fromEnvironment.isEmpty() ? QStringLiteral(VK_UPDATE_URL_DEFAULT) : fromEnvironment;
}

QString defaultUpdatePageURL() {
    const QString fromEnvironment = qEnvironmentVariable("VK_UPDATE_PAGE");
    return fromEnvironment.isEmpty() ? QStringLiteral(VK_UPDATE_PAGE_DEFAULT) : fromEnvironment;
}

TQormAppUpdate::TQormAppUpdate(UpdateEnvironment& environment) : env_(environment) {
    Font = QFont(QStringLiteral("Segoe UI"));
    Font.setPixelSize(12);
    FontReadme = QFont(QStringLiteral("Arial"));
    FontReadme.setPixelSize(12);
    AppSectionName = appSectionName(QCoreApplication::applicationFilePath(), QCoreApplication::arguments());
    showModal = [](TQormAppUpdateNotifyBox& box) { box.exec(); };
}

TQormAppUpdate::~TQormAppUpdate() {
    AppSectionName.clear();
}

void TQormAppUpdate::fetch(TQormAppUpdateNotifyBox& box, const QString& url,
                           const std::function<void(const QByteArray&)>& use) {
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/AUXXXXXX.tmp"));  // removed when it goes
    if (!file.open()) {
        throw FileError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(file.fileTemplate(), file.errorString()));
    }
    try {
        box.HttpCli1.Get(url, file);
    } catch (const HttpError& failed) {
        box.ReadmeMemo->clear();
        box.ReadmeMemo->appendPlainText(
            QStringLiteral("Mislukt: %1 %2").arg(failed.status()).arg(failed.reason()));
        return;
    }
    // what the transfer left in the write buffer can still fail to reach the disk
    if (!file.flush()) {
        throw TransferWriteError(QStringLiteral("Het bestand %1 kan niet geschreven worden: %2")
                                     .arg(file.fileName(), file.errorString()));
    }
    file.seek(0);
    use(file.readAll());
}

void TQormAppUpdate::showRunningCheck() {
    if (running_ != nullptr) {
        running_->bringToFront();
    }
}

bool TQormAppUpdate::CheckForUpdate(bool Quiet) {
    // A check's requests and its windows let the main window's buttons and the tray menu run: a
    // second check would start inside the first one.
    if (isChecking()) {
        showRunningCheck();
        return false;
    }
    TQormAppUpdateNotifyBox box(env_);
    running_ = &box;
    const auto ended = qScopeGuard([this] { running_ = nullptr; });
    box.setFont(Font);
    box.ReadmeMemo->setFont(FontReadme);
    box.HttpCli1.Proxy = ProxyAddress;
    box.HttpCli1.ProxyPort = ProxyPort;
    box.HttpCli1.CaFile = CaFile;
    box.fileSizeUnit = fileSizeUnit;
    box.hashType = hashType;
    UpdateManifest& m = box.manifest;

    if (!UpdateFileURL.isEmpty()) {
        fetch(box, UpdateFileURL, [&](const QByteArray& bytes) {
            const auto value = [&](const char* key) {
                return readIniValue(bytes, AppSectionName, QString::fromLatin1(key));
            };
            m = {value("DownloadFileURL"), value("ReadmeFileURL"), value("UpdatePageURL"), value("Version"),
                 value("CRC32Hash"),       value("MD5Hash"),       value("SHA1Hash")};
        });
        if (m.UpdatePageURL.isEmpty()) {
            m.UpdatePageURL = UpdatePageURL;
        }
    }
    if (!m.ReadmeFileURL.isEmpty()) {
        fetch(box, m.ReadmeFileURL, [&](const QByteArray& bytes) {
            // text by its byte-order mark, else in the ANSI code page; the memo stays as it was when
            // the text cannot be decoded
            try {
                box.ReadmeMemo->setPlainText(decodeTextFile(bytes, m.ReadmeFileURL));
            } catch (const std::exception&) {
            }
        });
    }
    box.DownloadButton->setEnabled(!m.DownloadFileURL.isEmpty());

    if (isOlderVersion(Version, m.Version)) {
        showModal(box);
        return true;
    }
    if (!Quiet) {
        if (!m.Version.isEmpty() || m.UpdatePageURL.isEmpty()) {
            env_.boxes.show({QStringLiteral("Vindo Velora\u00ae informatie"),
                             QStringLiteral("Er is geen nieuwe versie beschikbaar."),
                             MessageBoxRequest::Icon::Information, MessageBoxRequest::Buttons::Ok});
        } else if (env_.boxes.show(
                       {QStringLiteral("Vindo Velora\u00ae bevestiging"),
                        QStringLiteral(
                            "Er is geen nieuwe versie beschikbaar.\rWenst u de website te openen?"),
                        MessageBoxRequest::Icon::Question, MessageBoxRequest::Buttons::YesNo}) ==
                       MessageBoxAnswer::Yes &&
                   env_.openUrl) {
            env_.openUrl(m.UpdatePageURL);
        }
    }
    return false;
}

}  // namespace vk
