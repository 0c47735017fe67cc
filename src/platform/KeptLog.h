#pragma once

#include "platform/Clock.h"
#include "platform/WindowPorts.h"

#include <QDate>
#include <QString>

namespace vk {

// The log as it outlives the run: every line that the log view gets is also appended to a file of
// the day in a folder of the data folder ("Logboek/<yyyy-mm-dd>.log", UTF-8, one line a line).
// Each line is written at once (it survives a stop of the process). A text that replaces the
// view's whole text is appended too: within a day the file only grows. Files older than kKeepDays
// days go when the log starts and at the first line of a new day. Writing the file never stops
// the link: a failure is said once in the view, and the file is tried again at the next line.
class KeptLog final : public LogView {
public:
    static constexpr int kKeepDays = 90;
    static constexpr QStringView kFolderName = u"Logboek";

    // dataFolder: with a trailing separator
    KeptLog(LogView& view, const QString& dataFolder, const Clock& clock);
    ~KeptLog() override;
    KeptLog(const KeptLog&) = delete;
    KeptLog& operator=(const KeptLog&) = delete;

    void appendLine(const QString& line) override;
    void replaceText(const QString& text) override;
    // In the day's file only; the view does not get it.
    void keepOnly(const QString& line) override;

    QString fileOf(const QDate& day) const;

private:
    void keep(const QString& text);
    void removeOldFiles(const QDate& today);

    LogView& view_;
    QString folder_;
    const Clock& clock_;
    int fd_ = -1;
    QDate day_;
    bool failureSaid_ = false;
};

}  // namespace vk
