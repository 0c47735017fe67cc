#include "shell/WidgetPorts.h"

#include "shell/QtMessageRouting.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

namespace vk {

RefreshThrottle::RefreshThrottle(std::function<void()> apply) : apply_(std::move(apply)) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { flush(); });
}

void RefreshThrottle::changed() {
    pending_ = true;
    if (timer_.isActive()) {
        return;
    }
    if (!sinceApplied_.isValid() || sinceApplied_.elapsed() >= kRefreshMs) {
        flush();
    } else {
        timer_.start(static_cast<int>(kRefreshMs - sinceApplied_.elapsed()));
    }
}

void RefreshThrottle::flush() {
    timer_.stop();
    if (!pending_) {
        return;
    }
    pending_ = false;
    sinceApplied_.start();
    apply_();
}

PlainTextLog::PlainTextLog(QPlainTextEdit& edit)
    : edit_(edit), throttle_([this] {
          // one paragraph a line; appended together they are laid out and scrolled to once
          edit_.appendPlainText(pending_.join(u'\n'));
          pending_.clear();
      }) {}

void PlainTextLog::appendLine(const QString& line) {
    pending_.append(line);
    throttle_.changed();
}

void PlainTextLog::replaceText(const QString& text) {
    pending_.clear();
    throttle_.flush();
    edit_.setPlainText(text);
}

PlainTextPacket::PlainTextPacket(QPlainTextEdit& edit)
    : edit_(edit), throttle_([this] {
          edit_.setPlainText(*pending_);
          pending_.reset();
      }) {}

void PlainTextPacket::setText(const QString& text) {
    pending_ = text;
    throttle_.changed();
}

bool EnterNeedsControl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) {
        return false;
    }
    if (key->modifiers().testFlag(Qt::ControlModifier)) {
        if (auto* edit = qobject_cast<QPlainTextEdit*>(watched); edit != nullptr && !edit->isReadOnly()) {
            edit->textCursor().insertBlock();
            edit->ensureCursorVisible();
        }
    }
    return true;
}

MessageBoxAnswer WidgetMessageBoxes::show(const MessageBoxRequest& request) {
    using Icon = MessageBoxRequest::Icon;
    const QMessageBox::Icon icon = request.icon == Icon::Information ? QMessageBox::Information
                                   : request.icon == Icon::Question  ? QMessageBox::Question
                                   : request.icon == Icon::Warning   ? QMessageBox::Warning
                                                                     : QMessageBox::Critical;
    QMessageBox box(icon, request.title, request.text);
    QPushButton* yes = nullptr;
    if (request.buttons == MessageBoxRequest::Buttons::YesNo) {
        yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(box.addButton(QStringLiteral("&Nee"), QMessageBox::NoRole));
    } else {
        box.setDefaultButton(box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole));
    }
    box.exec();
    if (yes == nullptr) {
        return MessageBoxAnswer::Ok;
    }
    return box.clickedButton() == yes ? MessageBoxAnswer::Yes : MessageBoxAnswer::No;
}

bool openInDefaultBrowser(const QString& url) {
    const QtMessageRouting::Aside qtAside;
    return QDesktopServices::openUrl(QUrl(url));
}

std::unique_ptr<QFileDialog> DialogFolderPicker::dialog(QWidget* parent, const QString& current) {
    auto picker = std::make_unique<QFileDialog>(parent, QStringLiteral("Map kiezen"), current);
    picker->setFileMode(QFileDialog::Directory);
    picker->setOption(QFileDialog::ShowDirsOnly);
    return picker;
}

std::optional<QString> DialogFolderPicker::pickFolder(QWidget* parent, const QString& current) {
    const std::unique_ptr<QFileDialog> picker = dialog(parent, current);
    if (picker->exec() != QDialog::Accepted || picker->selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(picker->selectedFiles().constFirst());
}

}  // namespace vk
