#include "update/QormAppUpdateNotify.h"

#include "platform/Errors.h"
#include "platform/Paths.h"
#include "update/QormAppUpdateDownload.h"
#include "update/UpdateArt.h"
#include "update/UpdateNote.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>

namespace vk {

QString updaterProgram(const QString& programFile) {
    // beside the program file, also when the run's data folder is another one (--folder)
    const QString folder = QDir::toNativeSeparators(QFileInfo(programFile).absolutePath());
#ifdef Q_OS_WIN
    return joinPath(folder, QStringLiteral("VeloraUpdater.exe"));
#else
    return joinPath(folder, QStringLiteral("VeloraUpdater"));
#endif
}

void TQormAppUpdateNotifyBox::Pump::processPendingMessages() {
    QCoreApplication::processEvents();
}

TQormAppUpdateNotifyBox::TQormAppUpdateNotifyBox(UpdateEnvironment& environment)
    : HttpCli1(pump_), env_(environment) {
    HttpCli1.terminationRequested = env_.terminationRequested;
    setWindowTitle(QStringLiteral("Nieuwe versie is beschikbaar"));
    setFixedSize(690, 313);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    QFont design(QStringLiteral("Arial"));
    design.setPixelSize(13);
    setFont(design);

    Image1 = decorativeStrip(this, 216);
    ReadmeMemo = new QPlainTextEdit(this);
    ReadmeMemo->setGeometry(8, 8, 461, 257);
    ReadmeMemo->setReadOnly(true);
    ReadmeMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    ReadmeMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette cream = ReadmeMemo->palette();
    cream.setColor(QPalette::Base, QColor(0xff, 0xfb, 0xf0));
    ReadmeMemo->setPalette(cream);
    DownloadButton = new QPushButton(QStringLiteral("Download en installeer"), this);
    DownloadButton->setGeometry(7, 278, 229, 25);
    OpenWebPageButton = new QPushButton(QStringLiteral("Open webpagina"), this);
    OpenWebPageButton->setGeometry(249, 278, 131, 25);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(395, 278, 74, 25);
    OKButton->setDefault(true);  // Enter; Esc closes a dialog as well
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    const auto guarded = [this](void (TQormAppUpdateNotifyBox::*handler)()) {
        return [this, handler] {
            try {
                (this->*handler)();
            } catch (const std::exception& error) {
                env_.errors.handleException(error);
            }
        };
    };
    connect(DownloadButton, &QPushButton::clicked, this,
            guarded(&TQormAppUpdateNotifyBox::DownloadButtonClick));
    connect(OpenWebPageButton, &QPushButton::clicked, this,
            guarded(&TQormAppUpdateNotifyBox::OpenWebPageButtonClick));
}

TQormAppUpdateNotifyBox::~TQormAppUpdateNotifyBox() = default;

QString TQormAppUpdateNotifyBox::FormatFileSize(qint64 bytes) const {
    return vk::FormatFileSize(bytes, fileSizeUnit);
}

QString TQormAppUpdateNotifyBox::FileNameFromURL(const QString& url) {
    return vk::FileNameFromURL(url);
}

qint32 TQormAppUpdateNotifyBox::GetRemoteFileSize(TQormAppUpdateDownloadBox& box, const QString& url) {
    box.StatusLabel->setText(QStringLiteral("Zoek naar bestandsinformatie"));
    try {
        box.HttpCli1.Head(url);
    } catch (const std::exception&) {
        return 0;
    }
    return announcedSize(box.HttpCli1.RcvdHeader);
}

void TQormAppUpdateNotifyBox::OpenWebPageButtonClick() {
    if (env_.openUrl) {
        env_.openUrl(manifest.UpdatePageURL);
    }
}

void TQormAppUpdateNotifyBox::bringToFront() {
    QWidget* front =
        download_ != nullptr && download_->isVisible() ? static_cast<QWidget*>(download_.get()) : this;
    if (front->isVisible()) {
        front->raise();
        front->activateWindow();
    }
}

void TQormAppUpdateNotifyBox::reject() {
    // an application that ends closes its windows first, and ends only when they have closed
    if (!downloadBegun_ || env_.ending()) {
        QDialog::reject();
    }
}

void TQormAppUpdateNotifyBox::DownloadButtonClick() {
    // The running download's transfer waits further down the stack: a second one would pull its
    // window away from under it.
    if (downloadBegun_) {
        bringToFront();
        return;
    }
    downloadBegun_ = true;
    // They stay off: after the download the window closes.
    for (QPushButton* button : {DownloadButton, OpenWebPageButton, OKButton}) {
        button->setEnabled(false);
    }
    download_ = std::make_unique<TQormAppUpdateDownloadBox>(
        env_, pump_, [this](qint64 n) { return FormatFileSize(n); }, this);
    download_->setFont(font());
    // The notification window closes once this handler has returned, whatever happens below.
    const auto closeAfterwards = qScopeGuard([this] {
        download_.reset();
        QMetaObject::invokeMethod(this, &QDialog::accept, Qt::QueuedConnection);
    });
    download();
}

void TQormAppUpdateNotifyBox::download() {
    TQormAppUpdateDownloadBox& box = *download_;
    bool success = true;
    const QString downloads = env_.programFolder + QStringLiteral("TempDownloads");
    // the local name comes from the URL's path alone: nothing is written outside TempDownloads
    const std::optional<QString> name = downloadFileName(manifest.DownloadFileURL);
    if (!name) {
        throw FileError(QStringLiteral("Het adres \"%1\" noemt geen bruikbare bestandsnaam voor de download")
                            .arg(manifest.DownloadFileURL));
    }
    const QString target = QDir::toNativeSeparators(downloads + u'/' + *name);
    box.HttpCli1.Proxy = HttpCli1.Proxy;
    box.HttpCli1.ProxyPort = HttpCli1.ProxyPort;
    box.HttpCli1.CaFile = HttpCli1.CaFile;
    // A fresh file of our own: whatever stands under the name (an earlier download, or a link that
    // would lead the program somewhere outside TempDownloads) goes first, and the new file is
    // created only where nothing is. Unbuffered, so that a write that fails (a full disk) fails
    // while the transfer runs, where it stops it, not unseen in a flush afterwards.
    QFile file(target);
    const bool folderThere = QFileInfo(downloads).isDir();
    if (folderThere) {
        QFile::remove(target);
    }
    if (!folderThere || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        throw FileError(
            QStringLiteral("Cannot create file \"%1\". %2")
                .arg(target, folderThere ? file.errorString() : QStringLiteral("De map bestaat niet")));
    }
    box.FileLabel->setText(*name);
    box.ProgressBar1->setValue(0);
    const qint32 maximum = GetRemoteFileSize(box, manifest.DownloadFileURL);
    box.ProgressBar1->setMaximum(std::max(0, maximum));
    box.TransferLabel->setText(FormatFileSize(0) + QStringLiteral(" of ") + FormatFileSize(maximum) +
                               QStringLiteral(" (0%)"));
    box.CancelButton->setEnabled(true);
    box.StatusLabel->setText(box.HttpCli1.Proxy.isEmpty()
                                 ? QStringLiteral("Download bestand")
                                 : QStringLiteral("Download bestand via proxy server (%1:%2)")
                                       .arg(box.HttpCli1.Proxy, box.HttpCli1.ProxyPort));
    if (maximum <= 0) {
        return;  // no usable size: the empty file stays, nothing is shown
    }
    box.Timer1.start();
    box.StartTime = box.now();
    box.showOverNotification();

    // Whatever ends the transfer, the steps after it run; an error of another kind (a body that
    // cannot be written among them) then goes on to the general error handler.
    std::exception_ptr otherError;
    try {
        box.HttpCli1.Get(manifest.DownloadFileURL, file);
        // Only a 2xx answer is the program: an error page (401, 407) must not replace it.
        if (box.HttpCli1.StatusCode < 200 || box.HttpCli1.StatusCode > 299) {
            throw HttpError(box.HttpCli1.StatusCode, box.HttpCli1.ReasonPhrase);
        }
        box.TransferLabel->setText(box.transferText(file.size()));
        box.ProgressBar1->setValue(static_cast<int>(std::min<qint64>(file.size(), maximum)));
    } catch (const HttpError& failed) {
        box.StatusLabel->setText(QStringLiteral("Mislukt: %1 %2").arg(failed.status()).arg(failed.reason()));
        success = false;
    } catch (...) {
        otherError = std::current_exception();
        success = false;
    }
    if (box.CancelButton->isEnabled()) {
        box.CancelButton->setEnabled(false);
    } else {
        success = false;  // cancelled
    }
    box.Timer1.stop();
    box.ProgressBar1->setValue(box.ProgressBar1->maximum());
    file.close();
    if (success && hashType != HashType::None) {
        const QString expected = hashType == HashType::CRC32 ? manifest.CRC32Hash
                                 : hashType == HashType::MD5 ? manifest.MD5Hash
                                                             : manifest.SHA1Hash;
        if (fileDigest(target, hashType) != expected) {
            success = false;
            env_.boxes.show({QStringLiteral("Vindo Velora\u00ae fout"),
                             QStringLiteral("De download is beschadigd."), MessageBoxRequest::Icon::Error,
                             MessageBoxRequest::Buttons::Ok});
        }
    }
    if (success) {
        handOver(target);
    } else {
        QFile::remove(target);
    }
    if (otherError) {
        std::rethrow_exception(otherError);
    }
}

void TQormAppUpdateNotifyBox::handOver(const QString& target) {
    // Ending the link without an updater that takes over would leave it down until someone
    // notices: without one, or without the note it needs to start the link again, the link stays.
    const QString updater = updaterProgram(env_.programFile);
    if (!QFileInfo(updater).isExecutable()) {
        QFile::remove(target);
        throw FileError(
            QStringLiteral("Het updateprogramma %1 ontbreekt; de update is niet ge\u00efnstalleerd en de "
                           "koppeling blijft draaien")
                .arg(updater));
    }
    try {
        writeUpdateNote(updateNotePath(QFileInfo(target).absolutePath()),
                        {env_.programFile, env_.programArguments, QDir::currentPath()});
    } catch (const FileError&) {
        QFile::remove(target);
        throw;
    }
    try {
        env_.boxes.show({QStringLiteral("Vindo Velora\u00ae informatie"),
                         QStringLiteral("Vindo Velora\u00ae LiveUpdate gaat nu starten"),
                         MessageBoxRequest::Icon::Information, MessageBoxRequest::Buttons::Ok});
        if (env_.requestTermination) {
            env_.requestTermination();
        }
        if (env_.startProgram) {
            env_.startProgram(updater, u'\'' + target + u'\'');
        }
    } catch (...) {
        // the program ends all the same; an updater that does not start is not reported
    }
}

}  // namespace vk
