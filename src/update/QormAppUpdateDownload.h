#pragma once

#include "update/HttpTransfer.h"
#include "update/UpdateEnvironment.h"

#include <QDialog>
#include <QTime>
#include <QTimer>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace vk {

// "Download nieuwe versie": progress, speed and times of one download, with "AFBREKEN".
class TQormAppUpdateDownloadBox final : public QDialog {
    Q_OBJECT
public:
    // parent: the notification window, which the download window covers
    TQormAppUpdateDownloadBox(UpdateEnvironment& environment, MessagePump& pump,
                              std::function<QString(qint64)> formatFileSize, QWidget* parent);

    QLabel* FileLabel;
    QLabel* SpeedLabel;
    QLabel* StatusLabel;
    QLabel* ElapsedTimeLabel;
    QLabel* RemainingTimeLabel;
    QLabel* TransferLabel;
    QProgressBar* ProgressBar1;
    QPushButton* CancelButton;
    QLabel* Image1;
    HttpTransfer HttpCli1;
    QTimer Timer1;
    QTime StartTime;

    void HttpCli1DocData();
    void Timer1Timer();
    void CancelButtonClick();
    // Shows the window where the notification window stands: the same frame in the same place, so
    // that it covers that window exactly.
    void showOverNotification();
    // Esc and the close box: what AFBREKEN does, its question first. The window stays until the
    // download has ended, unless the application ends.
    void reject() override;
    // "<received> of <total> (<percent>%)"
    QString transferText(qint64 received) const;

    // The current time of day; tests set it.
    std::function<QTime()> now = [] { return QTime::currentTime(); };

private:
    UpdateEnvironment& env_;
    std::function<QString(qint64)> formatFileSize_;
};

// "hh:nn:ss" of a number of seconds, hours wrapping at 24.
QString clockText(qint64 seconds);

}  // namespace vk
