#pragma once

#include "platform/WindowPorts.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QFileDialog;
class QPlainTextEdit;
class QWidget;

namespace vk {

// Brings a view's changes to its widget at most once per refresh interval: a change after a quiet
// spell at once, the changes that follow it together when the interval has passed. A cycle over
// thousands of documents then repaints the views a few times a second instead of once a document.
class RefreshThrottle {
public:
    static constexpr int kRefreshMs = 100;

    explicit RefreshThrottle(std::function<void()> apply);
    // Something changed: applied now, or at the end of the running interval.
    void changed();
    // Applies what is pending now.
    void flush();

private:
    std::function<void()> apply_;
    QTimer timer_;
    QElapsedTimer sinceApplied_;
    bool pending_ = false;
};

// "Logboek" as the working code sees it: lines appended at the end, or the whole text replaced.
class PlainTextLog final : public LogView {
public:
    explicit PlainTextLog(QPlainTextEdit& edit);
    void appendLine(const QString& line) override;
    // At once; lines not yet shown are replaced with the rest.
    void replaceText(const QString& text) override;
    void flush() { throttle_.flush(); }

private:
    QPlainTextEdit& edit_;
    QStringList pending_;
    RefreshThrottle throttle_;
};

// "LP": shows the packet being handled.
class PlainTextPacket final : public PacketView {
public:
    explicit PlainTextPacket(QPlainTextEdit& edit);
    void setText(const QString& text) override;
    void flush() { throttle_.flush(); }

private:
    QPlainTextEdit& edit_;
    std::optional<QString> pending_;
    RefreshThrottle throttle_;
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

// The platform shell's "open" on a web page: the page in the user's default browser. Returns
// whether a browser could be given it. What Qt says about it meanwhile goes aside (standard error
// and the day's log file, see QtMessageRouting): the window tells a failure in a line of its own.
bool openInDefaultBrowser(const QString& url);

class DialogFolderPicker final : public FolderPicker {
public:
    std::optional<QString> pickFolder(QWidget* parent, const QString& current) override;
    // The dialog pickFolder shows, opened on the folder `current`: the platform's own where it has
    // one, Qt's (in Qt's Dutch texts) elsewhere.
    static std::unique_ptr<QFileDialog> dialog(QWidget* parent, const QString& current);
};

}  // namespace vk
