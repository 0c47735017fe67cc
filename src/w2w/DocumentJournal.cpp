#include "w2w/DocumentJournal.h"

#include "platform/Errors.h"
#include "platform/FileNames.h"
#include "platform/FileReplace.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>

namespace vk::w2w {

namespace {

// Every entry is one line, and starts on a line of its own: a line that a stopped write left
// half written stays a line by itself, which is passed over.
//   + <id> <base64 of the record>   a document taken
//   R <id>                          refused
//   - <id>                          done
QByteArray serialise(const JournalRecord& r) {
    QByteArray fields;
    fields += encodeFileName(r.entryName).toBase64() + ' ';
    fields += r.kind.toUtf8().toBase64() + ' ';
    fields += QByteArray::number(r.orderNumber) + ' ';
    fields += r.key.toUtf8().toBase64() + ' ';
    fields += r.packetText.toUtf8().toBase64();
    return fields;
}

std::optional<JournalRecord> parse(qint64 id, const QByteArray& fields) {
    const QList<QByteArray> parts = fields.split(' ');
    if (parts.size() != 5) {
        return std::nullopt;
    }
    bool numberOk = false;
    JournalRecord r;
    r.id = id;
    r.entryName = decodeFileName(QByteArray::fromBase64(parts[0]));
    r.kind = QString::fromUtf8(QByteArray::fromBase64(parts[1]));
    r.orderNumber = parts[2].toInt(&numberOk);
    r.key = QString::fromUtf8(QByteArray::fromBase64(parts[3]));
    r.packetText = QString::fromUtf8(QByteArray::fromBase64(parts[4]));
    if (!numberOk || r.entryName.isEmpty()) {
        return std::nullopt;
    }
    return r;
}

QString cannotWrite(const QString& path, int error) {
    return QStringLiteral("Cannot create file \"%1\". %2").arg(path, systemErrorText(error));
}

}  // namespace

DocumentJournal::DocumentJournal(QString path, TemporaryKeys& keys) : path_(std::move(path)), keys_(keys) {}

DocumentJournal::~DocumentJournal() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void DocumentJournal::append(const QByteArray& entry, bool durable) {
    if (fd_ < 0) {
        fd_ = ::open(encodeFileName(path_).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            throw FileError(cannotWrite(path_, errno));
        }
    }
    const QByteArray line = '\n' + entry + '\n';
    for (qsizetype written = 0; written < line.size();) {
        const ssize_t n =
            ::write(fd_, line.constData() + written, static_cast<size_t>(line.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw FileError(cannotWrite(path_, n < 0 ? errno : ENOSPC));
        }
        written += n;
    }
    if (durable && ::fdatasync(fd_) != 0) {
        throw FileError(cannotWrite(path_, errno));
    }
}

JournalRecord DocumentJournal::add(const QString& entryName, const QString& packetText, const QString& kind,
                                   int orderNumber) {
    if (lastId_ < 0) {
        // numbers go on from those already in the file
        lastId_ = 0;
        QFile file(path_);
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                const QList<QByteArray> parts = line.split(' ');
                if (parts.size() >= 2) {
                    lastId_ = std::max(lastId_, parts[1].toLongLong());
                }
            }
        }
    }
    JournalRecord r{++lastId_, entryName, packetText, kind, orderNumber, keys_.next(), false};
    append("+ " + QByteArray::number(r.id) + ' ' + serialise(r), true);
    ++open_;
    return r;
}

void DocumentJournal::markRefused(JournalRecord& record) {
    append("R " + QByteArray::number(record.id), true);
    record.refused = true;
}

void DocumentJournal::remove(const JournalRecord& record) {
    try {
        append("- " + QByteArray::number(record.id), false);
    } catch (const FileError&) {
        return;  // the record stays open; a later run answers it the same way
    }
    if (open_ > 0) {
        --open_;
    }
    // With nothing in flight the file starts again from empty, so that it stays small. A record
    // that stays open for long (an answer that cannot be written) would let it grow: past a size
    // it is written anew with the open records only.
    if (fd_ < 0) {
        return;
    }
    if (open_ == 0 && pending().empty()) {
        [[maybe_unused]] const int rc = ::ftruncate(fd_, 0);
    } else if (::lseek(fd_, 0, SEEK_END) > kCompactAbove) {
        compact();
    }
}

void DocumentJournal::compact() {
    QByteArray bytes;
    for (const JournalRecord& r : pending()) {
        bytes += "\n+ " + QByteArray::number(r.id) + ' ' + serialise(r) + '\n';
        if (r.refused) {
            bytes += "\nR " + QByteArray::number(r.id) + '\n';
        }
    }
    try {
        writeFileReplacing(path_, bytes, Durability::Flushed, FileAccess::OwnerOnly);
    } catch (const FileError&) {
        return;  // the file stays as it is, whole
    }
    ::close(fd_);
    fd_ = -1;  // opened again, on the new file, at the next entry
}

std::vector<JournalRecord> DocumentJournal::pending() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    std::map<qint64, JournalRecord> open;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.size() < 3 || line[1] != ' ') {
            continue;
        }
        const qsizetype space = line.indexOf(' ', 2);
        bool ok = false;
        const qint64 id = line.mid(2, space < 0 ? -1 : space - 2).toLongLong(&ok);
        if (!ok) {
            continue;
        }
        switch (line[0]) {
            case '+':
                if (space > 0) {
                    if (std::optional<JournalRecord> r = parse(id, line.mid(space + 1))) {
                        open[id] = std::move(*r);
                    }
                }
                break;
            case 'R':
                if (auto it = open.find(id); it != open.end()) {
                    it->second.refused = true;
                }
                break;
            case '-':
                open.erase(id);
                break;
            default:
                break;
        }
    }
    std::vector<JournalRecord> records;
    records.reserve(open.size());
    for (auto& [id, r] : open) {
        records.push_back(std::move(r));
    }
    return records;
}

}  // namespace vk::w2w
