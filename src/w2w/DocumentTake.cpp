#include "w2w/DocumentTake.h"

#include "platform/AnsiCodePage.h"
#include "platform/Errors.h"
#include "platform/FileNames.h"
#include "platform/FileReplace.h"
#include "platform/Paths.h"
#include "w2w/W2WFormat.h"

#include <QDirIterator>
#include <QFileInfo>

#include <unistd.h>

namespace vk::w2w {

namespace {

constexpr QStringView kBackupsFolder = u"BACKUPS";
// made when missing, under the name the exchange folders are made with
constexpr QStringView kBackupsFolderMade = u"Backups";
// where a file goes that is refused for a cause that stays with it
constexpr QStringView kRefusedFolder = u"Geweigerd";

}  // namespace

DocumentTake::DocumentTake(CycleState& cycle, Answers& answers)
    : cycle_(cycle),
      answers_(answers),
      looks_([this] { return cycle_.ports.clock.now().toMSecsSinceEpoch(); }) {}

bool DocumentTake::removeIfLeftover(const QString& name) {
    if (!cycle_.claimedNames.isClaim(name) || cycle_.claims.contains(name)) {
        return false;
    }
    ::unlink(encodeFileName(cycle_.inboundPath(name)).constData());
    return true;
}

void DocumentTake::take(const QString& name) {
    CycleState& c = cycle_;
    const QString path = c.inboundPath(name);
    if (const auto alone = leftAlone_.constFind(name); alone != leftAlone_.cend()) {
        if (lookAt(path) == *alone) {
            throw Settled();  // refused once and not movable: left alone until it changes
        }
        leftAlone_.erase(alone);
    }

    try {
        c.packetText = loadTextFile(path, &looks_);
    } catch (const FileGone&) {
        throw TakenElsewhere(QStringLiteral("Het bestand \"%1\" was al weg toen de koppeling het wilde lezen "
                                            "(een ander programma heeft het opgehaald); het is niet verwerkt "
                                            "en krijgt geen antwoord")
                                 .arg(path));
    } catch (const FileRefusedForGood& error) {
        refuseForGood(name, path, error);
    } catch (const FileError& error) {
        throw Postponed{WaitCause::Reading, error.message()};
    }
    c.packetIsCurrent = true;
    c.ports.packet.setText(c.packetText);

    if (c.ports.settings.checked(Setting::Backups)) {
        try {
            writeFileReplacing(joinPath(backupFolder(), name), ansi::encode(c.packetText),
                               c.journal != nullptr ? Durability::Atomic : Durability::Flushed);
        } catch (const FileError& error) {
            throw Postponed{WaitCause::Backup, error.message()};
        }
    }

    // The record keeps the document safe from the delete of its file to its outcome. A document
    // that cannot be recorded is not taken: it stays, as one that cannot be loaded.
    if (c.journal != nullptr) {
        try {
            c.record = c.journal->add(name, c.packetText, GetTagValue(u"<kind>", c.packetText),
                                      readInteger(GetTagValue(u"<id>", c.packetText)),
                                      c.claimedNames.pathFor(c.inbound, name));
        } catch (const FileError& error) {
            throw Postponed{WaitCause::Journal, error.message()};
        }
        c.reachedPoint(CyclePoint::AfterRecord);
    }

    // Only a document whose file has left the inbound folder is handled: one that another reader
    // took first belongs to that reader, and one that cannot be deleted would be taken again at
    // every cycle (it stays, unanswered, until it can be deleted).
    bool removed = false;
    try {
        if (c.record) {
            removed = c.seams.claimInboundFile(path, c.record->claimedPath);
            if (removed) {
                c.claims.insert(QFileInfo(c.record->claimedPath).fileName());
            }
        } else {
            removed = c.seams.removeInboundFile(path);
        }
    } catch (const FileRefusedForGood& error) {
        c.dropRecord();
        refuseForGood(name, path, error);
    } catch (const FileError& error) {
        c.dropRecord();
        throw Postponed{WaitCause::Delete, error.message()};
    } catch (...) {
        c.dropRecord();
        throw;
    }
    if (!removed) {
        c.dropRecord();
        throw TakenElsewhere(QStringLiteral("Het bestand \"%1\" was al weg voordat de koppeling het kon "
                                            "verwijderen (een ander programma heeft het opgehaald); het is "
                                            "niet verwerkt en krijgt geen antwoord")
                                 .arg(path));
    }
    postponedReported_.remove(name);
    c.reachedPoint(CyclePoint::AfterDelete);
}

// A file refused for a cause that stays with it (a symbolic link, a size over the limit, bytes
// that are no text, a name the folder cannot take under this link's name) is answered "WOB" once
// and moved into the folder "Geweigerd", so that no cycle takes it up again. The move takes the
// file: of two links on one folder, only the one that moved it answers. The record, marked refused
// before the move, lets the next run write the refusal when this one stops after the move.
void DocumentTake::refuseForGood(const QString& name, const QString& path, const FileError& error) {
    CycleState& c = cycle_;
    if (c.journal != nullptr) {
        try {
            c.record = c.journal->add(name, QString(), QString(), 0);
            c.journal->markRefused(*c.record);
        } catch (const FileError& journalError) {
            c.dropRecord();
            throw Postponed{WaitCause::Journal, journalError.message()};
        }
        c.reachedPoint(CyclePoint::AfterRecord);
    }
    std::optional<QString> movedTo;
    QString moveFailure;
    try {
        movedTo = moveIntoFolder(path, joinPath(c.inbound, kRefusedFolder.toString()));
        if (!movedTo) {
            c.dropRecord();
            throw TakenElsewhere(QStringLiteral("Het bestand \"%1\" was al weg voordat de koppeling het kon "
                                                "verplaatsen (een ander programma heeft het opgehaald); het "
                                                "krijgt geen antwoord")
                                     .arg(path));
        }
    } catch (const FileError& cannotMove) {
        moveFailure = cannotMove.message();
    }
    c.reachedPoint(CyclePoint::AfterDelete);  // the file has left the folder (or is left alone)
    c.logError(error.message());
    if (movedTo) {
        c.logError(
            QStringLiteral("Het geweigerde bestand \"%1\" is verplaatst naar \"%2\"").arg(path, *movedTo));
    } else {
        // remembered as it is now: a changed file is looked at anew
        if (const std::optional<EntryLook> look = lookAt(path)) {
            leftAlone_.insert(name, *look);
        }
        c.logError(
            QStringLiteral("%1; het geweigerde bestand blijft staan en wordt niet opnieuw behandeld zolang "
                           "het niet verandert")
                .arg(moveFailure));
    }
    ++c.counts.refused;
    try {
        answers_.write(kRefused.toString(), name);
    } catch (const FileError& answerError) {
        if (!c.record) {
            throw;  // an error here ends the cycle
        }
        answers_.waitForSpace(*c.record, answerError);
    }
    throw Settled();
}

void DocumentTake::sayPostponed(const QString& name, const Postponed& postponed) {
    QSet<int>& said = postponedReported_[name];
    if (!said.contains(static_cast<int>(postponed.cause))) {
        said.insert(static_cast<int>(postponed.cause));
        cycle_.logError(postponed.message +
                        QStringLiteral("; het bestand blijft staan en wordt verwerkt zodra dat kan"));
    }
}

void DocumentTake::forgetAllBut(const QSet<QString>& listed) {
    for (auto it = postponedReported_.begin(); it != postponedReported_.end();) {
        it = listed.contains(it.key()) ? std::next(it) : postponedReported_.erase(it);
    }
    for (auto it = leftAlone_.begin(); it != leftAlone_.end();) {
        it = listed.contains(it.key()) ? std::next(it) : leftAlone_.erase(it);
    }
}

// The "BACKUPS" folder below the inbound folder, found without regard to letter case. Looked up
// once a cycle; when there is none (an inbound folder made anew without it), it is made, one level,
// under the name the exchange folders are made with.
QString DocumentTake::backupFolder() {
    if (!backupFolder_) {
        const QString& inbound = cycle_.inbound;
        QString found = joinPath(inbound, kBackupsFolder.toString());
        if (!QFileInfo(found).isDir()) {
            found.clear();
            QDirIterator dirs(inbound, QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            while (dirs.hasNext()) {
                const QFileInfo dir = dirs.nextFileInfo();
                if (dir.fileName().compare(kBackupsFolder, Qt::CaseInsensitive) == 0) {
                    found = joinPath(inbound, dir.fileName());
                    break;
                }
            }
        }
        if (found.isEmpty()) {
            found = joinPath(inbound, kBackupsFolderMade.toString());
            if (makeFolderIfMissing(found)) {
                cycle_.logError(
                    QStringLiteral("De map \"%1\" voor de kopieën ontbrak en is gemaakt").arg(found));
            }
        }
        backupFolder_ = found;
    }
    return *backupFolder_;
}

}  // namespace vk::w2w
