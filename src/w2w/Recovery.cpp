#include "w2w/Recovery.h"

#include "planning/PlanningDatabase.h"
#include "platform/Errors.h"
#include "platform/FileMove.h"
#include "platform/FileNames.h"
#include "platform/InboundFile.h"
#include "w2w/CycleOutcomes.h"
#include "w2w/W2WFormat.h"

#include <QFileInfo>

namespace vk::w2w {

bool Recovery::takeUp(const JournalRecord& record) {
    CycleState& c = cycle_;
    c.entryName = record.entryName;
    c.packetText = record.packetText;
    c.packetIsCurrent = true;
    c.record = record;
    const QString path = c.inboundPath(record.entryName);
    if (!record.claimedPath.isEmpty()) {
        if (!fileExists(record.claimedPath) && !record.refused && !record.answer) {
            // The file was never moved to this link's name: it is still in the folder, and the
            // listing takes it as any other, or another link on the folder took it first.
            const bool inTheFolder = stillInTheFolder(path, record.packetText);
            c.dropRecord();
            if (!inTheFolder) {
                c.logError(QStringLiteral("Het bestand \"%1\" is door een ander programma opgehaald voordat "
                                          "deze koppeling het kon nemen; het krijgt van deze koppeling geen "
                                          "antwoord")
                               .arg(path));
            }
            return false;
        }
        c.claims.insert(QFileInfo(record.claimedPath).fileName());
    } else if (!record.refused && stillInTheFolder(path, record.packetText)) {
        // (a record of an earlier version, which deleted the file) A run that stopped before the
        // delete left the file in the folder: the listing takes it as any other, and the record
        // goes. A different document under the same name is not this one: its record is recovered.
        c.dropRecord();
        return false;
    }
    // A file refused unread whose move out of the folder did not happen yet: the listing refuses it
    // again, once.
    if (record.refused && !record.answer && record.packetText.isEmpty() && lookAt(path)) {
        c.dropRecord();
        return false;
    }
    return true;
}

Recovery::Outcome Recovery::recover(const JournalRecord& record) {
    CycleState& c = cycle_;
    if (record.answer) {
        answers_.finishNoted(record);
        return Outcome::Answered;
    }
    if (record.refused) {
        answers_.write(kRefused.toString(), record.entryName);
        return Outcome::Answered;
    }
    const QString path = c.inboundPath(record.entryName);
    bool saved = false;
    try {
        try {
            saved = handlers_.documentSaved(record);
        } catch (const ConnectionLost&) {
            saved = handlers_.documentSaved(record);  // asked once more on a new connection
        }
    } catch (const std::exception& error) {
        // without the database nothing can be told: the record waits for the next cycle
        if (!unreachableReported_.contains(record.id)) {
            unreachableReported_.insert(record.id);
            c.logError(QStringLiteral("Het onafgemaakte document \"%1\" wacht op de database: %2")
                           .arg(path, errorMessage(error)));
        }
        c.record.reset();
        throw Unfinished();
    }
    if (!saved) {
        return Outcome::HandleAfresh;
    }
    // a saved document is answered "BOB", however long the answer has to wait for space
    try {
        answers_.write(kAcknowledged.toString(), record.entryName);
    } catch (const FileError& error) {
        answers_.waitForSpace(record, error);
    }
    c.logLine(c.timestamp() + QStringLiteral(" Verbinding W2W ") + record.kind + QStringLiteral(" XML: ") +
              path + QStringLiteral(" (hersteld: al bewaard, bevestiging alsnog geschreven)"));
    return Outcome::Answered;
}

bool Recovery::stillInTheFolder(const QString& path, const QString& packetText) const {
    try {
        return fileExists(path) && loadTextFile(path) == packetText;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace vk::w2w
