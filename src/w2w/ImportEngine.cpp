#include "w2w/ImportEngine.h"

#include "planning/PlanningDatabase.h"
#include "platform/Errors.h"
#include "platform/FileNames.h"
#include "platform/InboundFile.h"
#include "w2w/CycleOutcomes.h"
#include "w2w/W2WFormat.h"

#include <QFileInfo>

#include <optional>
#include <utility>

namespace vk::w2w {

namespace {

constexpr QStringView kInboundSuffix = u".s2c";

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

// The document in hand as its handler sees it.
class ImportEngine::Document final : public CurrentDocument {
public:
    Document(CycleState& cycle, Answers& answers) : cycle_(cycle), answers_(answers) {}
    const QString& packetText() const override { return cycle_.packetText; }
    const QString& currentEntryName() const override { return cycle_.entryName; }
    const Settings& settings() const override { return cycle_.ports.settings; }
    const Clock& clock() const override { return cycle_.ports.clock; }
    const QString& documentKey() const override {
        static const QString none;
        return cycle_.record ? cycle_.record->key : none;
    }
    void WriteAcknowledgement(const QString& kind, const QString& entryName) override {
        answers_.write(kind, entryName);
    }
    void logError(const QString& message) override { cycle_.logError(message); }
    void reachedPoint(CyclePoint point) override { cycle_.reachedPoint(point); }

private:
    CycleState& cycle_;
    Answers& answers_;
};

ImportEngine::ImportEngine(ImportPorts ports, DocumentHandlers& handlers, DocumentJournal* journal)
    : cycle_(ports, journal, *this),
      handlers_(handlers),
      answers_(cycle_),
      recovery_(cycle_, answers_, handlers),
      take_(cycle_, answers_) {}

bool ImportEngine::CheckXMLfiles() {
    if (running_) {
        return true;
    }
    const RunningFlag flag(running_);
    cycle_.ackLines = QStringList();
    stopRequested_ = false;
    take_.startCycle();
    try {
        runCycle();
    } catch (const CycleInterrupted&) {
        answers_.discard();
        throw;
    } catch (const std::exception& error) {
        cycle_.ports.errors.handleException(error);
    } catch (...) {
        cycle_.ports.errors.handleException(Error(QStringLiteral("Onbekende fout tijdens de W2W-cyclus")));
    }
    answers_.settle();
    cycle_.ackLines = QStringList();
    cycle_.entryName.clear();
    cycle_.record.reset();
    return true;
}

void ImportEngine::runCycle() {
    cycle_.inbound = cycle_.ports.settings.text(Setting::w2wInkomende);
    cycle_.outbound = cycle_.ports.settings.text(Setting::w2wUitgaande);
    const QString& outbound = cycle_.outbound;
    // An empty setting names no folder (not the root of the file system).
    if (cycle_.inbound.isEmpty()) {
        return;
    }
    // Without the outbound folder no document could be answered: none is taken, and the folder is
    // not made here (it may be a share that is not mounted). Said once until it is back.
    if (!outbound.isEmpty() && !QFileInfo(outbound).isDir()) {
        if (!outboundMissingSaid_) {
            outboundMissingSaid_ = true;
            cycle_.logError(
                QStringLiteral("De map voor uitgaande bestanden \"%1\" is er niet; de koppeling neemt geen "
                               "documenten aan tot die er weer is")
                    .arg(outbound));
        }
        return;
    }
    outboundMissingSaid_ = false;
    handlers_.cycleStarts();
    recoverUnfinished();
    if (!stopRequested_) {
        listInboundFolder();
    }
}

void ImportEngine::recoverUnfinished() {
    if (cycle_.journal == nullptr) {
        return;
    }
    for (const JournalRecord& record : cycle_.journal->pending()) {
        if (!recovery_.takeUp(record)) {
            continue;
        }
        handleGuarded(record.entryName, [&] {
            if (recovery_.recover(record) == Recovery::Outcome::HandleAfresh) {
                cycle_.ports.packet.setText(cycle_.packetText);
                handleDocument(cycle_.inboundPath(record.entryName));
            }
        });
        settleSliceIfDue();
        if (letTheWindowIn()) {
            break;
        }
    }
    cycle_.record.reset();
    // What recovery answered is settled before new documents come: an amendment among them would
    // give the recovered row another key, by which its record could no longer be told.
    answers_.settle();
}

// The listing is read as the folder yields it, unsorted, with hidden and system entries and folders
// too; it ends when the iterator goes out of scope, also when an error leaves. Every name is
// listed, also one that is not valid UTF-8.
void ImportEngine::listInboundFolder() {
    FolderListing entries(cycle_.inbound);
    QSet<QString> listed;
    const bool firstCycle = std::exchange(firstCycle_, false);
    int leftoversRemoved = 0;
    while (const std::optional<QString> next = entries.next()) {
        const QString& name = *next;
        // taken by an earlier run whose record was done before the file went
        if (firstCycle && take_.removeIfLeftover(name)) {
            if (++leftoversRemoved % kLeftoversBetweenPumps == 0 && letTheWindowIn()) {
                break;
            }
            continue;
        }
        if (!name.endsWith(kInboundSuffix, Qt::CaseInsensitive)) {
            continue;
        }
        listed.insert(name);
        cycle_.entryName = name;
        cycle_.packetIsCurrent = false;
        cycle_.record.reset();
        handleGuarded(name, [&] {
            take_.take(name);
            letTheWindowIn();  // the document taken is handled, whatever the answer
            handleDocument(cycle_.inboundPath(name));
        });
        settleSliceIfDue();
        if (stopRequested_) {
            break;
        }
    }
    if (!stopRequested_) {
        take_.forgetAllBut(listed);
    }
}

// The answers written so far are settled once a slice is full, the window's messages run first.
void ImportEngine::settleSliceIfDue() {
    if (answers_.sliceDue()) {
        letTheWindowIn();
        answers_.settle();
    }
}

bool ImportEngine::letTheWindowIn() {
    if (cycle_.pumpAndAskStop()) {
        stopRequested_ = true;
    }
    return stopRequested_;
}

template <class Body>
void ImportEngine::handleGuarded(const QString& name, Body body) {
    try {
        body();
        ++cycle_.counts.handled;
    } catch (const CycleInterrupted&) {
        throw;
    } catch (const Unfinished&) {
    } catch (const Settled&) {
    } catch (const Postponed& postponed) {
        take_.sayPostponed(name, postponed);
    } catch (const FileNotYetStable&) {
        // it may still be written: a later cycle looks again, without a line or an answer
    } catch (const TakenElsewhere& gone) {
        cycle_.logError(gone.message());
    } catch (const OutcomeUnknown& unknown) {
        // the record stays: the next cycle tells by the row whether the save happened
        cycle_.logError(unknown.message());
        cycle_.record.reset();
    } catch (const std::exception& error) {
        cycle_.logError(errorMessage(error));
        refuse(name);
    } catch (...) {
        cycle_.logError(QStringLiteral("Onbekende fout"));
        refuse(name);
    }
}

void ImportEngine::refuse(const QString& name) {
    ++cycle_.counts.refused;
    try {
        answers_.write(kRefused.toString(), name);
    } catch (const FileError& error) {
        if (!cycle_.record) {
            throw;  // an error here ends the cycle
        }
        // The refusal could not be noted or written: the record stays, and the document gets its
        // one answer at a later cycle.
        cycle_.logError(errorMessage(error));
        cycle_.record.reset();
    }
}

// From the delete on: the kind's handling, its answer, the log line.
void ImportEngine::handleDocument(const QString& path) {
    const QString kind = GetTagValue(u"<kind>", cycle_.packetText);
    try {
        runKindHandler(kind);
    } catch (const ConnectionLost& lost) {
        // Nothing of the document was committed: it is handled once more, from its text, on a new
        // connection (an amendment reads its row again). Only when no new connection can be made,
        // or it is lost again, is the document refused.
        cycle_.logError(
            QStringLiteral("De verbinding met de planningdatabase was verbroken (%1); \"%2\" wordt "
                           "opnieuw verwerkt op een nieuwe verbinding")
                .arg(lost.message(), path));
        runKindHandler(kind);
    }

    cycle_.logLine(cycle_.timestamp() + QStringLiteral(" Verbinding ") + QStringLiteral("W2W ") + kind +
                   QStringLiteral(" XML: ") + path);
    // A kind without an answer is final once logged. A record that is still there otherwise
    // belongs to a saved document whose answer could not be written: a later cycle writes it.
    if (kind != u"ADD" && kind != u"UPD") {
        cycle_.dropRecord();
    }
    cycle_.record.reset();
}

void ImportEngine::runKindHandler(const QString& kind) {
    Document document(cycle_, answers_);
    if (kind == u"ADD") {
        handlers_.handleNewOrder(document);
    }
    if (kind == u"UPD") {
        // An amendment gives its row a new key. The records of documents answered before it are
        // settled first, so that none of them is ever looked for by a key the row no longer has.
        answers_.settle();
        handlers_.handleAmendment(document);
    }
}

}  // namespace vk::w2w
