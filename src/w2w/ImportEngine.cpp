#include "w2w/ImportEngine.h"

#include "platform/AnsiCodePage.h"
#include "platform/Errors.h"
#include "platform/FileReplace.h"
#include "platform/InboundFile.h"
#include "platform/Paths.h"
#include "w2w/Acknowledgement.h"
#include "w2w/W2WFormat.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace vk::w2w {

namespace {

constexpr QStringView kInboundSuffix = u".s2c";
constexpr QStringView kBackupsFolder = u"BACKUPS";

// The inbound file went to another reader between its loading and its delete.
class TakenElsewhere : public Error {
    using Error::Error;
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

ImportEngine::ImportEngine(ImportPorts ports, DocumentHandlers& handlers)
    : ports_(ports), handlers_(handlers) {}

QString ImportEngine::timestamp() const {
    return logTimestamp(ports_.clock.now());
}

QString ImportEngine::tagValue(QStringView tag) const {
    return GetTagValue(tag, packetText_);
}

void ImportEngine::logError(const QString& message) {
    ports_.log.appendLine(timestamp() + QStringLiteral(" - W2W XML: ") + message);
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
    writeAcknowledgementFile(ackLines_, outbound_, entryName, kind, id);
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
    } catch (const std::exception& error) {
        ports_.errors.handleException(error);
    } catch (...) {
        ports_.errors.handleException(Error(QStringLiteral("Onbekende fout tijdens de W2W-cyclus")));
    }
    ackLines_ = QStringList();
    entryName_.clear();
    return true;
}

void ImportEngine::runCycle() {
    inbound_ = ports_.settings.text(Setting::w2wInkomende);
    outbound_ = ports_.settings.text(Setting::w2wUitgaande);
    // An empty setting names no folder (not the root of the file system).
    if (inbound_.isEmpty()) {
        return;
    }
    // The listing is read as the folder yields it, unsorted, with hidden and system entries and
    // folders too; it ends when the iterator goes out of scope, also when an error leaves.
    QDirIterator entries(inbound_, QDir::AllEntries | QDir::Hidden | QDir::System);
    while (entries.hasNext()) {
        const QString name = entries.nextFileInfo().fileName();
        if (name == u"." || name == u".." || !name.endsWith(kInboundSuffix, Qt::CaseInsensitive)) {
            continue;
        }
        handleEntry(name);
    }
}

void ImportEngine::handleEntry(const QString& name) {
    entryName_ = name;
    packetIsCurrent_ = false;
    try {
        processEntry(name);
        ++counts_.handled;
    } catch (const TakenElsewhere& gone) {
        logError(gone.message());
    } catch (const std::exception& error) {
        ++counts_.refused;
        logError(errorMessage(error));
        WriteAcknowledgement(kRefused.toString(), name);  // an error here ends the cycle
    } catch (...) {
        ++counts_.refused;
        logError(QStringLiteral("Onbekende fout"));
        WriteAcknowledgement(kRefused.toString(), name);
    }
}

void ImportEngine::processEntry(const QString& name) {
    const QString path = joinPath(inbound_, name);

    packetText_ = loadTextFile(path);
    packetIsCurrent_ = true;
    ports_.packet.setText(packetText_);

    if (ports_.settings.checked(Setting::Backups)) {
        // on disk before the original is deleted, so that a crash in between loses nothing
        writeFileReplacing(joinPath(backupFolder(), name), ansi::encode(packetText_), Durability::Flushed);
    }

    // Only a document whose file has left the inbound folder is handled: one that another reader
    // took first belongs to that reader, and one that cannot be deleted would be taken again at
    // every cycle (it is refused as a file that cannot be loaded, and stays).
    if (!removeInboundFile(path)) {
        throw TakenElsewhere(QStringLiteral("Het bestand \"%1\" was al weg voordat de koppeling het kon "
                                            "verwijderen (een ander programma heeft het opgehaald); het is "
                                            "niet verwerkt en krijgt geen antwoord")
                                 .arg(path));
    }

    ports_.pump.processPendingMessages();

    const QString kind = tagValue(u"<kind>");
    if (kind == u"ADD") {
        handlers_.handleNewOrder(*this);
    }
    if (kind == u"UPD") {
        handlers_.handleAmendment(*this);
    }

    ports_.log.appendLine(timestamp() + QStringLiteral(" Verbinding ") + QStringLiteral("W2W ") + kind +
                          QStringLiteral(" XML: ") + path);
}

// The "BACKUPS" folder below the inbound folder, found without regard to letter case (the
// exchange folders are created as "Backups"). Looked up once a cycle; when there is none, the
// copies go to "BACKUPS", which fails as a missing folder should.
QString ImportEngine::backupFolder() {
    if (!backupFolder_) {
        QString found = joinPath(inbound_, kBackupsFolder.toString());
        if (!QFileInfo(found).isDir()) {
            QDirIterator dirs(inbound_, QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            while (dirs.hasNext()) {
                const QFileInfo dir = dirs.nextFileInfo();
                if (dir.fileName().compare(kBackupsFolder, Qt::CaseInsensitive) == 0) {
                    found = joinPath(inbound_, dir.fileName());
                    break;
                }
            }
        }
        backupFolder_ = found;
    }
    return *backupFolder_;
}

}  // namespace vk::w2w
