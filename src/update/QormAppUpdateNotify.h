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
    // One download for each window: once it has begun, a second call only brings its window to the
    // front, and nothing of this window can be reached until it closes.
    void DownloadButtonClick();

    // The download window of the running download, for tests that watch it.
    TQormAppUpdateDownloadBox* downloadBox() const { return download_.get(); }
    // The window the user deals with now comes to the front: the download window while a download
    // runs, else this one when it is on the screen.
    void bringToFront();
    // Esc and the close box: not once a download has begun (the window closes after it), unless
    // the application ends.
    void reject() override;

private:
    void download();
    // The download goes to the updater, with a note for it; the link then ends.
    void handOver(const QString& target);

    UpdateEnvironment& env_;
    std::unique_ptr<TQormAppUpdateDownloadBox> download_;
    bool downloadBegun_ = false;
};

}  // namespace vk
