#include "shell/WidgetPorts.h"

#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

namespace vk {

void PlainTextLog::appendLine(const QString& line) {
    edit_.appendPlainText(line);
}

void PlainTextLog::replaceText(const QString& text) {
    edit_.setPlainText(text);
}

void PlainTextPacket::setText(const QString& text) {
    edit_.setPlainText(text);
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

std::optional<QString> DialogFolderPicker::pickFolder(QWidget* parent, const QString& current) {
    const QString chosen = QFileDialog::getExistingDirectory(parent, QStringLiteral("Map kiezen"), current);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(chosen);
}

}  // namespace vk
