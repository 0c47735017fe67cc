#pragma once

#include "update/HttpTransfer.h"
#include "update/UpdateEnvironment.h"
#include "update/UpdateFormats.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vk {

class TQormAppUpdateDownloadBox;

// "Nieuwe versie is beschikbaar": the read-me of the new version, with download and installation,
// the web page, and OK. One for each check.
class TQormAppUpdateNotifyBox final : public QDialog {
    Q_OBJECT
    // lets the window handle its messages while a request waits (made before the clients)
    class Pump final : public MessagePump {
    public:
        void processPendingMessages() override;
    } pump_;

public:
    explicit TQormAppUpdateNotifyBox(UpdateEnvironment& environment);
    ~TQormAppUpdateNotifyBox() override;

    QPlainTextEdit* ReadmeMemo;
    QPushButton* DownloadButton;
    QPushButton* OpenWebPageButton;
    QPushButton* OKButton;
    QLabel* Image1;
    HttpTransfer HttpCli1;

    UpdateManifest manifest;
    FileSizeUnit fileSizeUnit = FileSizeUnit::Auto;
    HashType hashType = HashType::None;

    QString FormatFileSize(qint64 bytes) const;
    static QString FileNameFromURL(const QString& url);
    // The size the server announces for url; 0 when none. Shows what it does in the download
    // window's status.
    qint32 GetRemoteFileSize(TQormAppUpdateDownloadBox& box, const QString& url);

    void OpenWebPageButtonClick();
    void DownloadButtonClick();

    // The download window of the running download, for tests that watch it.
    TQormAppUpdateDownloadBox* downloadBox() const { return download_.get(); }

private:
    void download();
    // The download goes to the updater, with a note for it; the link then ends.
    void handOver(const QString& target);

    UpdateEnvironment& env_;
    std::unique_ptr<TQormAppUpdateDownloadBox> download_;
};

}  // namespace vk
