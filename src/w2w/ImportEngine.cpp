#include "w2w/ImportEngine.h"

#include "planning/PlanningDatabase.h"
#include "platform/AnsiCodePage.h"
#include "platform/Errors.h"
#include "platform/FileMove.h"
#include "platform/FileNames.h"
#include "platform/FileReplace.h"
#include "platform/InboundFile.h"
#include "platform/Paths.h"
#include "w2w/Acknowledgement.h"
#include "w2w/W2WFormat.h"

#include <QCryptographicHash>
#include <QDirIterator>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <utility>

#include <unistd.h>

namespace vk::w2w {

namespace {

constexpr QStringView kInboundSuffix = u".s2c";
constexpr QStringView kBackupsFolder = u"BACKUPS";
// made when missing, under the name the exchange folders are made with
constexpr QStringView kBackupsFolderMade = u"Backups";
// where a file goes that is refused for a cause that stays with it
constexpr QStringView kRefusedFolder = u"Geweigerd";

// The inbound file went to another reader between its loading and its delete.
class TakenElsewhere : public Error {
    using Error::Error;
};

// A document left for a later cycle, without a further line.
struct Unfinished {};

// An entry whose outcome is settled and said: nothing more to count or to write.
struct Settled {};

// What keeps a file from being taken for now; each is said once for each file.
enum class WaitCause { Reading, Backup, Journal, Delete };

// A file that cannot be taken yet, for a cause that passes: it stays, unanswered, and is taken
// once the cause is gone.
struct Postponed {
    WaitCause cause;
    QString message;
};

class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& flag_;
};

}  // namespace

ImportEngine::ImportEngine(ImportPorts ports, DocumentHandlers& handlers, DocumentJournal* journal)
    : ports_(ports),
      handlers_(handlers),
      journal_(journal),
      looks_([this] { return ports_.clock.now().toMSecsSinceEpoch(); }) {
    if (journal_ != nullptr) {
        // one of its own for each program folder, so that links on one inbound folder tell their
        // taken files apart
        claimSuffix_ =
            QStringLiteral(".vk-") +
            QString::fromLatin1(
                QCryptographicHash::hash(journal_->path().toUtf8(), QCryptographicHash::Md5).toHex().left(8));
    }
}

QString ImportEngine::claimedPathFor(const QString& name) const {
    return joinPath(inbound_, u'.' + name + claimSuffix_);
}

bool ImportEngine::isClaimOfThisLink(const QString& name) const {
    return !claimSuffix_.isEmpty() && name.startsWith(u'.') && name.endsWith(claimSuffix_);
}

void ImportEngine::releaseClaim(const QString& claimedPath) {
    if (!claimedPath.isEmpty()) {
        ::unlink(encodeFileName(claimedPath).constData());  // one left behind goes at the next run's start
        claims_.remove(QFileInfo(claimedPath).fileName());
    }
}

QString ImportEngine::timestamp() const {
    return logTimestamp(ports_.clock.now());
}

QString ImportEngine::tagValue(QStringView tag) const {
    return GetTagValue(tag, packetText_);
}

void ImportEngine::logError(const QString& message) {
    logLine(timestamp() + QStringLiteral(" - W2W XML: ") + message);
}

// A file name that is not valid UTF-8 is shown readably.
void ImportEngine::logLine(const QString& line) {
    ports_.log.appendLine(readableFileName(line));
}

const QString& ImportEngine::documentKey() const {
    static const QString none;
    return record_ ? record_->key : none;
}

void ImportEngine::reachedPoint(CyclePoint point) {
    if (faultPoint) {
        faultPoint(point);
    }
}

void ImportEngine::WriteAcknowledgement(const QString& kind, const QString& entryName) {
    // A file that could not be loaded is refused without an order number: the packet text then
    // still belongs to an earlier document, whose number must not be refused in its place.
    const QString id = packetIsCurrent_ ? tagValue(u"<id>") : QString();
    // An empty setting names no folder (not the root of the file system).
    if (outbound_.isEmpty()) {
        throw FileError(QStringLiteral("Er is geen map voor uitgaande bestanden ingesteld; het antwoord op "
                                       "\"%1\" kan niet geschreven worden")
                            .arg(entryName));
    }
    if (record_ && kind == kRefused && !record_->refused) {
        // once refused, always refused: a later look must not handle the document again
        journal_->markRefused(*record_);
    }
    // The record notes the answer's temporary file just before it is renamed into place, so that a
    // run stopped around the rename neither loses the answer nor writes it twice.
    std::function<void(const QString&)> noteAnswer;
    if (record_) {
        noteAnswer = [&](const QString& temporaryPath) {
            reachedPoint(CyclePoint::AnswerWritten);
            journal_->noteAnswer(
                *record_, AnswerNote{temporaryPath, acknowledgementPath(outbound_, entryName), bootId, kind});
            reachedPoint(CyclePoint::AnswerNoted);
        };
    }
    writeAcknowledgementFile(ackLines_, outbound_, entryName, kind, id, noteAnswer);
    reachedPoint(CyclePoint::AfterAcknowledgement);
    // The record goes once the answer is on disk: at the end of the cycle, for all answers at once.
    if (record_) {
        answered_.push_back({record_->id, record_->claimedPath});
        record_.reset();
    }
}

// The answers of this cycle are made durable together; then their records go. Should that fail,
// the records stay, and a later cycle writes the same answers again.
void ImportEngine::settleAnswered() {
    if (answered_.empty()) {
        return;
    }
    if (flushFileSystemOf(outbound_)) {
        for (const Answered& answered : answered_) {
            journal_->markDone(answered.id);
        }
        journal_->tidy();
        for (const Answered& answered : answered_) {
            releaseClaim(answered.claimedPath);
        }
    }
    answered_.clear();
}

void ImportEngine::dropRecord() {
    if (record_) {
        journal_->remove(*record_);
        releaseClaim(record_->claimedPath);
        record_.reset();
    }
}

bool ImportEngine::CheckXMLfiles() {
    if (running_) {
        return true;
    }
    const RunningFlag flag(running_);
    ackLines_ = QStringList();
    backupFolder_.reset();
    try {
        runCycle();
    } catch (const CycleInterrupted&) {
        answered_.clear();  // a stopped run settles nothing
        throw;
    } catch (const std::exception& error) {
        ports_.errors.handleException(error);
    } catch (...) {
        ports_.errors.handleException(Error(QStringLiteral("Onbekende fout tijdens de W2W-cyclus")));
    }
    settleAnswered();
    ackLines_ = QStringList();
    entryName_.clear();
    record_.reset();
    return true;
}

void ImportEngine::runCycle() {
    inbound_ = ports_.settings.text(Setting::w2wInkomende);
    outbound_ = ports_.settings.text(Setting::w2wUitgaande);
    // An empty setting names no folder (not the root of the file system).
    if (inbound_.isEmpty()) {
        return;
    }
    // Without the outbound folder no document could be answered: none is taken, and the folder is
    // not made here (it may be a share that is not mounted). Said once until it is back.
    if (!outbound_.isEmpty() && !QFileInfo(outbound_).isDir()) {
        if (!outboundMissingSaid_) {
            outboundMissingSaid_ = true;
            logError(
                QStringLiteral("De map voor uitgaande bestanden \"%1\" is er niet; de koppeling neemt geen "
                               "documenten aan tot die er weer is")
                    .arg(outbound_));
        }
        return;
    }
    outboundMissingSaid_ = false;
    handlers_.cycleStarts();
    recoverUnfinished();
    // The listing is read as the folder yields it, unsorted, with hidden and system entries and
    // folders too; it ends when the iterator goes out of scope, also when an error leaves.
    // Every name is listed, also one that is not valid UTF-8.
    FolderListing entries(inbound_);
    QSet<QString> listed;
    const bool firstCycle = std::exchange(firstCycle_, false);
    while (const std::optional<QString> next = entries.next()) {
        const QString& name = *next;
        if (firstCycle && isClaimOfThisLink(name) && !claims_.contains(name)) {
            // taken by an earlier run whose record was done before the file went
            ::unlink(encodeFileName(joinPath(inbound_, name)).constData());
            continue;
        }
        if (!name.endsWith(kInboundSuffix, Qt::CaseInsensitive)) {
            continue;
        }
        listed.insert(name);
        entryName_ = name;
        packetIsCurrent_ = false;
        record_.reset();
        handleGuarded(name, [&] { processEntry(name); });
    }
    forgetAllBut(listed);
}

// What was said of files, or remembered of them, goes with the files: over months of running, the
// link keeps no more than the folder holds.
void ImportEngine::forgetAllBut(const QSet<QString>& listed) {
    for (auto it = postponedReported_.begin(); it != postponedReported_.end();) {
        it = listed.contains(it.key()) ? std::next(it) : postponedReported_.erase(it);
    }
    for (auto it = leftAlone_.begin(); it != leftAlone_.end();) {
        it = listed.contains(it.key()) ? std::next(it) : leftAlone_.erase(it);
    }
}

// A document whose outcome a stopped run left open: its record says what was taken. A saved row
// with its key and order number means the save happened, and only the answer is missing; no such
// row means that nothing was saved, and the document is handled again from its recorded text.
void ImportEngine::recoverUnfinished() {
    if (journal_ == nullptr) {
        return;
    }
    for (JournalRecord& record : journal_->pending()) {
        entryName_ = record.entryName;
        packetText_ = record.packetText;
        packetIsCurrent_ = true;
        record_ = record;
        const QString path = joinPath(inbound_, record.entryName);
        if (!record.claimedPath.isEmpty()) {
            if (!fileExists(record.claimedPath) && !record.refused && !record.answer) {
                // The file was never moved to this link's name: it is still in the folder, and the
                // listing takes it as any other, or another link on the folder took it first.
                const bool inTheFolder = stillInTheFolder(path, record.packetText);
                dropRecord();
                if (!inTheFolder) {
                    logError(
                        QStringLiteral("Het bestand \"%1\" is door een ander programma opgehaald voordat "
                                       "deze koppeling het kon nemen; het krijgt van deze koppeling geen "
                                       "antwoord")
                            .arg(path));
                }
                continue;
            }
            claims_.insert(QFileInfo(record.claimedPath).fileName());
        } else if (!record.refused && stillInTheFolder(path, record.packetText)) {
            // (a record of an earlier version, which deleted the file) A run that stopped before
            // the delete left the file in the folder: the listing takes it as any other, and the
            // record goes. A different document under the same name is not this one: its record
            // is recovered.
            dropRecord();
            continue;
        }
        // A file refused unread whose move out of the folder did not happen yet: the listing
        // refuses it again, once.
        if (record.refused && !record.answer && record.packetText.isEmpty() && lookAt(path)) {
            dropRecord();
            continue;
        }
        handleGuarded(record.entryName, [&] {
            if (record.answer) {
                finishNotedAnswer(record);
                return;
            }
            if (record.refused) {
                WriteAcknowledgement(kRefused.toString(), record.entryName);
                return;
            }
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
                    logError(QStringLiteral("Het onafgemaakte document \"%1\" wacht op de database: %2")
                                 .arg(path, errorMessage(error)));
                }
                record_.reset();
                throw Unfinished();
            }
            if (saved) {
                // a saved document is answered "BOB", however long the answer has to wait for space
                try {
                    WriteAcknowledgement(kAcknowledged.toString(), record.entryName);
                } catch (const FileError& error) {
                    waitForAnswerSpace(record, error);
                }
                logLine(timestamp() + QStringLiteral(" Verbinding W2W ") + record.kind +
                        QStringLiteral(" XML: ") + path +
                        QStringLiteral(" (hersteld: al bewaard, bevestiging alsnog geschreven)"));
                return;
            }
            ports_.packet.setText(packetText_);
            handleDocument(path);
        });
    }
    record_.reset();
    // What recovery answered is settled before new documents come: an amendment among them would
    // give the recovered row another key, by which its record could no longer be told.
    settleAnswered();
}

// The record says that the answer's temporary file was about to be renamed into place. In the same
// boot, what the stopped run wrote is still there: a temporary file left means the rename did not
// happen, and it happens now; none left means the answer is in place (the partner may have taken
// it already), and nothing is written. After a restart of the machine what was written may be lost
// with the page cache: the answer is written again (a repeat is possible, a loss is not).
void ImportEngine::finishNotedAnswer(const JournalRecord& record) {
    const AnswerNote& note = *record.answer;
    if (bootId.isEmpty() || note.bootId != bootId) {
        try {
            WriteAcknowledgement(note.kind, record.entryName);
        } catch (const FileError& error) {
            waitForAnswerSpace(record, error);
        }
        return;
    }
    if (fileExists(note.temporaryPath) && ::rename(encodeFileName(note.temporaryPath).constData(),
                                                   encodeFileName(note.finalPath).constData()) != 0) {
        waitForAnswerSpace(
            record,
            FileError(
                QStringLiteral("Cannot create file \"%1\". %2").arg(note.finalPath, systemErrorText(errno))));
    }
    ackLines_ = w2w::acknowledgementLines(note.kind, tagValue(u"<id>"));
    answered_.push_back({record.id, record.claimedPath});
    record_.reset();
}

// An answer that cannot be written yet (the outbound folder full or gone) is not replaced by
// another: the record stays, and a later cycle writes it. One line for each record.
void ImportEngine::waitForAnswerSpace(const JournalRecord& record, const std::exception& error) {
    if (!unwritableReported_.contains(record.id)) {
        unwritableReported_.insert(record.id);
        logError(QStringLiteral("Het antwoord op \"%1\" kan nog niet geschreven worden; het volgt zodra dat "
                                "kan: %2")
                     .arg(joinPath(inbound_, record.entryName), errorMessage(error)));
    }
    record_.reset();
    throw Unfinished();
}

bool ImportEngine::stillInTheFolder(const QString& path, const QString& packetText) const {
    try {
        return fileExists(path) && loadTextFile(path) == packetText;
    } catch (const std::exception&) {
        return false;
    }
}

template <class Body>
void ImportEngine::handleGuarded(const QString& name, Body body) {
    try {
        body();
        ++counts_.handled;
    } catch (const CycleInterrupted&) {
        throw;
    } catch (const Unfinished&) {
    } catch (const Settled&) {
    } catch (const Postponed& postponed) {
        QSet<int>& said = postponedReported_[name];
        if (!said.contains(static_cast<int>(postponed.cause))) {
            said.insert(static_cast<int>(postponed.cause));
            logError(postponed.message +
                     QStringLiteral("; het bestand blijft staan en wordt verwerkt zodra dat kan"));
        }
    } catch (const FileNotYetStable&) {
        // it may still be written: a later cycle looks again, without a line or an answer
    } catch (const TakenElsewhere& gone) {
        logError(gone.message());
    } catch (const OutcomeUnknown& unknown) {
        // the record stays: the next cycle tells by the row whether the save happened
        logError(unknown.message());
        record_.reset();
    } catch (const std::exception& error) {
        logError(errorMessage(error));
        refuse(name);
    } catch (...) {
        logError(QStringLiteral("Onbekende fout"));
        refuse(name);
    }
}

void ImportEngine::refuse(const QString& name) {
    ++counts_.refused;
    try {
        WriteAcknowledgement(kRefused.toString(), name);
    } catch (const FileError& error) {
        if (!record_) {
            throw;  // an error here ends the cycle
        }
        // The refusal could not be noted or written: the record stays, and the document gets its
        // one answer at a later cycle.
        logError(errorMessage(error));
        record_.reset();
    }
}

void ImportEngine::processEntry(const QString& name) {
    const QString path = joinPath(inbound_, name);
    if (const auto alone = leftAlone_.constFind(name); alone != leftAlone_.cend()) {
        if (lookAt(path) == *alone) {
            throw Settled();  // refused once and not movable: left alone until it changes
        }
        leftAlone_.erase(alone);
    }

    try {
        packetText_ = loadTextFile(path, &looks_);
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
    packetIsCurrent_ = true;
    ports_.packet.setText(packetText_);

    if (ports_.settings.checked(Setting::Backups)) {
        try {
            writeFileReplacing(joinPath(backupFolder(), name), ansi::encode(packetText_),
                               journal_ != nullptr ? Durability::Atomic : Durability::Flushed);
        } catch (const FileError& error) {
            throw Postponed{WaitCause::Backup, error.message()};
        }
    }

    // The record keeps the document safe from the delete of its file to its outcome. A document
    // that cannot be recorded is not taken: it stays, as one that cannot be loaded.
    if (journal_ != nullptr) {
        try {
            record_ = journal_->add(name, packetText_, tagValue(u"<kind>"), readInteger(tagValue(u"<id>")),
                                    claimedPathFor(name));
        } catch (const FileError& error) {
            throw Postponed{WaitCause::Journal, error.message()};
        }
        reachedPoint(CyclePoint::AfterRecord);
    }

    // Only a document whose file has left the inbound folder is handled: one that another reader
    // took first belongs to that reader, and one that cannot be deleted would be taken again at
    // every cycle (it stays, unanswered, until it can be deleted).
    bool removed = false;
    try {
        if (record_) {
            removed = claimInboundFile(path, record_->claimedPath);
            if (removed) {
                claims_.insert(QFileInfo(record_->claimedPath).fileName());
            }
        } else {
            removed = removeInboundFile(path);
        }
    } catch (const FileError& error) {
        dropRecord();
        throw Postponed{WaitCause::Delete, error.message()};
    } catch (...) {
        dropRecord();
        throw;
    }
    if (!removed) {
        dropRecord();
        throw TakenElsewhere(QStringLiteral("Het bestand \"%1\" was al weg voordat de koppeling het kon "
                                            "verwijderen (een ander programma heeft het opgehaald); het is "
                                            "niet verwerkt en krijgt geen antwoord")
                                 .arg(path));
    }
    postponedReported_.remove(name);
    reachedPoint(CyclePoint::AfterDelete);

    ports_.pump.processPendingMessages();
    handleDocument(path);
}

// A file refused for a cause that stays with it (a symbolic link, a size over the limit, bytes
// that are no text) is answered "WOB" once and moved into the folder "Geweigerd", so that no cycle
// takes it up again. The move takes the file: of two links on one folder, only the one that moved
// it answers. The record, marked refused before the move, lets the next run write the refusal when
// this one stops after the move.
void ImportEngine::refuseForGood(const QString& name, const QString& path, const FileError& error) {
    if (journal_ != nullptr) {
        try {
            record_ = journal_->add(name, QString(), QString(), 0);
            journal_->markRefused(*record_);
        } catch (const FileError& journalError) {
            dropRecord();
            throw Postponed{WaitCause::Journal, journalError.message()};
        }
        reachedPoint(CyclePoint::AfterRecord);
    }
    std::optional<QString> movedTo;
    QString moveFailure;
    try {
        movedTo = moveIntoFolder(path, joinPath(inbound_, kRefusedFolder.toString()));
        if (!movedTo) {
            dropRecord();
            throw TakenElsewhere(QStringLiteral("Het bestand \"%1\" was al weg voordat de koppeling het kon "
                                                "verplaatsen (een ander programma heeft het opgehaald); het "
                                                "krijgt geen antwoord")
                                     .arg(path));
        }
    } catch (const FileError& cannotMove) {
        moveFailure = cannotMove.message();
    }
    reachedPoint(CyclePoint::AfterDelete);  // the file has left the folder (or is left alone)
    logError(error.message());
    if (movedTo) {
        logError(
            QStringLiteral("Het geweigerde bestand \"%1\" is verplaatst naar \"%2\"").arg(path, *movedTo));
    } else {
        // remembered as it is now: a changed file is looked at anew
        if (const std::optional<EntryLook> look = lookAt(path)) {
            leftAlone_.insert(name, *look);
        }
        logError(
            QStringLiteral("%1; het geweigerde bestand blijft staan en wordt niet opnieuw behandeld zolang "
                           "het niet verandert")
                .arg(moveFailure));
    }
    ++counts_.refused;
    try {
        WriteAcknowledgement(kRefused.toString(), name);
    } catch (const FileError& answerError) {
        if (!record_) {
            throw;  // an error here ends the cycle
        }
        waitForAnswerSpace(*record_, answerError);
    }
    throw Settled();
}

// From the delete on: the kind's handling, its answer, the log line.
void ImportEngine::handleDocument(const QString& path) {
    const QString kind = tagValue(u"<kind>");
    try {
        runKindHandler(kind);
    } catch (const ConnectionLost& lost) {
        // Nothing of the document was committed: it is handled once more, from its text, on a new
        // connection (an amendment reads its row again). Only when no new connection can be made,
        // or it is lost again, is the document refused.
        logError(QStringLiteral("De verbinding met de planningdatabase was verbroken (%1); \"%2\" wordt "
                                "opnieuw verwerkt op een nieuwe verbinding")
                     .arg(lost.message(), path));
        runKindHandler(kind);
    }

    logLine(timestamp() + QStringLiteral(" Verbinding ") + QStringLiteral("W2W ") + kind +
            QStringLiteral(" XML: ") + path);
    // A kind without an answer is final once logged. A record that is still there otherwise
    // belongs to a saved document whose answer could not be written: a later cycle writes it.
    if (kind != u"ADD" && kind != u"UPD") {
        dropRecord();
    }
    record_.reset();
}

void ImportEngine::runKindHandler(const QString& kind) {
    if (kind == u"ADD") {
        handlers_.handleNewOrder(*this);
    }
    if (kind == u"UPD") {
        // An amendment gives its row a new key. The records of documents answered before it are
        // settled first, so that none of them is ever looked for by a key the row no longer has.
        settleAnswered();
        handlers_.handleAmendment(*this);
    }
}

// The "BACKUPS" folder below the inbound folder, found without regard to letter case. Looked up
// once a cycle; when there is none (an inbound folder made anew without it), it is made, one level,
// under the name the exchange folders are made with.
QString ImportEngine::backupFolder() {
    if (!backupFolder_) {
        QString found = joinPath(inbound_, kBackupsFolder.toString());
        if (!QFileInfo(found).isDir()) {
            found.clear();
            QDirIterator dirs(inbound_, QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            while (dirs.hasNext()) {
                const QFileInfo dir = dirs.nextFileInfo();
                if (dir.fileName().compare(kBackupsFolder, Qt::CaseInsensitive) == 0) {
                    found = joinPath(inbound_, dir.fileName());
                    break;
                }
            }
        }
        if (found.isEmpty()) {
            found = joinPath(inbound_, kBackupsFolderMade.toString());
            if (makeFolderIfMissing(found)) {
                logError(QStringLiteral("De map \"%1\" voor de kopieën ontbrak en is gemaakt").arg(found));
            }
        }
        backupFolder_ = found;
    }
    return *backupFolder_;
}

}  // namespace vk::w2w
