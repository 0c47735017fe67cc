#include "update/QormAppUpdateDownload.h"

#include "update/UpdateArt.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace vk {

QString clockText(qint64 seconds) {
    const qint64 s = seconds < 0 ? -seconds : seconds;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600 % 24, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

namespace {

QLabel* label(QWidget* parent, const QString& text, int x, int y, int w = -1, int h = -1) {
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    if (w > 0) {
        l->setFixedSize(w, h);
    } else {
        l->adjustSize();
        l->setMinimumWidth(300);
    }
    return l;
}

}  // namespace

TQormAppUpdateDownloadBox::TQormAppUpdateDownloadBox(UpdateEnvironment& environment, MessagePump& pump,
                                                     std::function<QString(qint64)> formatFileSize,
                                                     QWidget* parent)
    : QDialog(parent), HttpCli1(pump), env_(environment), formatFileSize_(std::move(formatFileSize)) {
    setWindowTitle(QStringLiteral("Download nieuwe versie"));
    setFixedSize(690, 313);
    // the notification window's frame, close box included: the one covers the other exactly
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    label(this, QStringLiteral("Bestand:"), 8, 16);
    FileLabel = label(this, QStringLiteral("-"), 135, 16, 296, 20);
    label(this, QStringLiteral("Snelheid:"), 8, 39);
    SpeedLabel = label(this, QStringLiteral("0 KB/sec"), 135, 39);
    label(this, QStringLiteral("Status :"), 8, 63);
    StatusLabel = label(this, QString(), 135, 63);
    // by its name, for whoever reads the window's last word from outside as it closes (its tests)
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    label(this, QStringLiteral("Verstreken tijd :"), 8, 86);
    ElapsedTimeLabel = label(this, QStringLiteral("00:00:00"), 135, 86);
    label(this, QStringLiteral("Resterende tijd :"), 8, 110);
    RemainingTimeLabel = label(this, QStringLiteral("00:00:00"), 135, 110);
    label(this, QStringLiteral("Overdracht :"), 8, 134);
    TransferLabel = label(this, QString(), 135, 134);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(7, 200, 460, 44);
    ProgressBar1->setTextVisible(false);
    CancelButton = new QPushButton(QStringLiteral("AFBREKEN"), this);
    CancelButton->setGeometry(7, 259, 460, 38);
    CancelButton->setDefault(true);
    Image1 = decorativeStrip(this, 218);
    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] {
        try {
            CancelButtonClick();
        } catch (const std::exception& error) {
            env_.errors.handleException(error);
        }
    });
    HttpCli1.OnDocData = [this] { HttpCli1DocData(); };
    HttpCli1.terminationRequested = env_.terminationRequested;
}

QString TQormAppUpdateDownloadBox::transferText(qint64 received) const {
    const qint64 maximum = ProgressBar1->maximum();
    return formatFileSize_(received) + QStringLiteral(" of ") + formatFileSize_(maximum) +
           QStringLiteral(" (") + QString::number(maximum > 0 ? received * 100 / maximum : 0) +
           QStringLiteral("%)");
}

void TQormAppUpdateDownloadBox::HttpCli1DocData() {
    const qint64 received = HttpCli1.RcvdCount;
    if (ProgressBar1->maximum() > 0) {
        TransferLabel->setText(transferText(received));
    }
    ProgressBar1->setValue(static_cast<int>(std::min<qint64>(received, ProgressBar1->maximum())));
}

void TQormAppUpdateDownloadBox::Timer1Timer() {
    // A transfer that runs past midnight has taken the time up to midnight and the time after it,
    // not the difference between the two times of day.
    const QTime current = now();
    qint64 s = StartTime.secsTo(current);
    if (s < 0) {
        s += 24 * 3600;
    }
    const qint64 received = HttpCli1.RcvdCount;
    SpeedLabel->setText(formatFileSize_(s > 0 ? received / s : 0) + QStringLiteral("/sec"));
    ElapsedTimeLabel->setText(clockText(s));
    if (received > 0) {
        RemainingTimeLabel->setText(clockText((ProgressBar1->maximum() - received) * s / received));
    }
}

void TQormAppUpdateDownloadBox::showOverNotification() {
    // Placed by the frame's corner, which the platform honours also before it knows the frame: with
    // the same client size and the same frame both windows then have one frame geometry.
    if (const QWidget* notification = parentWidget()) {
        move(notification->pos());
    }
    show();
}

void TQormAppUpdateDownloadBox::reject() {
    // The application ends: the window closes with the others, which the end waits for; the
    // transfer is aborted by the end itself.
    if (env_.ending()) {
        QDialog::reject();
        return;
    }
    // a disabled AFBREKEN (the transfer is ending already) takes no click: nothing is asked
    CancelButton->click();
}

void TQormAppUpdateDownloadBox::CancelButtonClick() {
    const MessageBoxAnswer answer = env_.boxes.show(
        {QStringLiteral("Vindo Velora\u00ae bevestiging"), QStringLiteral("Deze software update afbreken?"),
         MessageBoxRequest::Icon::Question, MessageBoxRequest::Buttons::YesNo});
    if (answer != MessageBoxAnswer::Yes) {
        return;
    }
    HttpCli1.Abort();
    HttpCli1.Close();
    CancelButton->setEnabled(false);
    Timer1.stop();
    env_.boxes.show({QStringLiteral("Vindo Velora\u00ae fout"),
                     QStringLiteral("De software update werd afgebroken."), MessageBoxRequest::Icon::Error,
                     MessageBoxRequest::Buttons::Ok});
}

}  // namespace vk
