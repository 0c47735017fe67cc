#pragma once

#include "platform/FileMove.h"
#include "platform/InboundFile.h"
#include "w2w/Answers.h"
#include "w2w/CycleOutcomes.h"
#include "w2w/CycleState.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

namespace vk::w2w {

// The take's stretch of a document's road: an inbound file loaded, kept in the backups, recorded
// and moved to this link's own name (claimed), or refused for good and moved out of the folder, or
// left alone for now.
class DocumentTake {
public:
    DocumentTake(CycleState& cycle, Answers& answers);

    // The cycle starts: the backups folder is looked up anew when needed.
    void startCycle() { backupFolder_.reset(); }
    // Takes the inbound file of that name, to the point where its handling starts. Raises the
    // cycle's outcomes when it is not taken (or refused for good).
    void take(const QString& name);
    // Whether that entry of the listing is a file that an earlier run of this link took and whose
    // record was done before the file went: it is removed.
    bool removeIfLeftover(const QString& name);
    // The file waits for a cause that passes: said once for each cause and file.
    void sayPostponed(const QString& name, const Postponed& postponed);
    // What was said of files, or remembered of them, goes with the files: over months of running,
    // the link keeps no more than the folder holds.
    void forgetAllBut(const QSet<QString>& listed);

private:
    [[noreturn]] void refuseForGood(const QString& name, const QString& path, const FileError& error);
    QString backupFolder();

    CycleState& cycle_;
    Answers& answers_;
    StabilityLooks looks_;
    std::optional<QString> backupFolder_;  // looked up once a cycle
    // by inbound file name: the causes said of a file that waits, and the look of a file refused
    // for good that could not be moved out of the folder
    QHash<QString, QSet<int>> postponedReported_;
    QHash<QString, EntryLook> leftAlone_;
};

}  // namespace vk::w2w
