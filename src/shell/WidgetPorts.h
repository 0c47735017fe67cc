#pragma once

#include "platform/WindowPorts.h"

#include <QObject>
#include <QString>

#include <optional>

class QPlainTextEdit;
class QWidget;

namespace vk {

// "Logboek" as the working code sees it: lines appended at the end, or the whole text replaced.
class PlainTextLog final : public LogView {
public:
    explicit PlainTextLog(QPlainTextEdit& edit) : edit_(edit) {}
    void appendLine(const QString& line) override;
    void replaceText(const QString& text) override;

private:
    QPlainTextEdit& edit_;
};

// "LP": shows the packet being handled.
class PlainTextPacket final : public PacketView {
public:
    explicit PlainTextPacket(QPlainTextEdit& edit) : edit_(edit) {}
    void setText(const QString& text) override;

private:
    QPlainTextEdit& edit_;
};

// In the packet view Enter alone inserts nothing; Ctrl+Enter inserts a line break.
class EnterNeedsControl final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The toolkit's message boxes, with the Dutch buttons "OK", "&Ja" and "&Nee".
class WidgetMessageBoxes final : public MessageBoxes {
public:
    MessageBoxAnswer show(const MessageBoxRequest& request) override;
};

// The platform's folder-selection dialog behind the small button of a folder field.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    // The chosen folder's full path; nothing when the user cancels.
    virtual std::optional<QString> pickFolder(QWidget* parent, const QString& current) = 0;
};

class DialogFolderPicker final : public FolderPicker {
public:
    std::optional<QString> pickFolder(QWidget* parent, const QString& current) override;
};

}  // namespace vk
