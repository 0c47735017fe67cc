#include "w2w/DocumentJournal.h"

#include "platform/Errors.h"
#include "platform/FileNames.h"
#include "platform/FileReplace.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>
#include <algorithm>
#include <cerrno>

namespace vk::w2w {

namespace {

// The entries, each a line of its own (a line that a stopped write left half written stays a
// line by itself):
//   C <id> <length> <crc>              the check of the record line that follows
//   + <id> <base64 fields of the record>   a document taken
//   T <id> <base64 path> <crc>         where the inbound file is moved to take it
//   R <id> <crc>                       refused
//   A <id> <base64 temporary> <base64 final> <boot> <kind> <crc>   its answer is being put in place
//   - <id> <crc>                       done
// A mark's CRC covers the line before its last space. An earlier version of the link wrote no C
// lines and no CRCs, and passes over the lines it does not know.
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

QByteArray crcOf(QByteArrayView bytes) {
    const uLong crc = ::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                              static_cast<uInt>(bytes.size()));
    return QByteArray::number(static_cast<qulonglong>(crc), 16).rightJustified(8, '0');
}

QByteArray recordLine(const JournalRecord& r) {
    return "+ " + QByteArray::number(r.id) + ' ' + serialise(r);
}

// The check line and the record line, as one entry.
QByteArray recordEntry(const JournalRecord& r) {
    const QByteArray line = recordLine(r);
    return "C " + QByteArray::number(r.id) + ' ' + QByteArray::number(line.size()) + ' ' + crcOf(line) +
           '\n' + line;
}

QByteArray markLine(char code, qint64 id, const QByteArray& fields) {
    QByteArray line = QByteArray(1, code) + ' ' + QByteArray::number(id);
    if (!fields.isEmpty()) {
        line += ' ' + fields;
    }
    return line + ' ' + crcOf(line);
}

QByteArray claimFields(const QString& claimedPath) {
    return encodeFileName(claimedPath).toBase64();
}

QString cannotWrite(const QString& path, int error) {
    return QStringLiteral("Cannot create file \"%1\". %2").arg(path, systemErrorText(error));
}

struct Line {
    char code;
    qint64 id;
    QByteArray rest;  // after the id
    QByteArray whole;
};

std::optional<Line> split(const QByteArray& line) {
    if (line.size() < 3 || line[1] != ' ') {
        return std::nullopt;
    }
    const qsizetype space = line.indexOf(' ', 2);
    bool ok = false;
    const qint64 id = line.mid(2, space < 0 ? -1 : space - 2).toLongLong(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return Line{line[0], id, space < 0 ? QByteArray() : line.mid(space + 1), line};
}

// A mark's fields without its CRC; nothing when the CRC is missing or wrong.
std::optional<QByteArray> checkedMark(const Line& line) {
    const qsizetype last = line.whole.lastIndexOf(' ');
    if (last < 2 || line.whole.mid(last + 1) != crcOf(QByteArrayView(line.whole).first(last))) {
        return std::nullopt;
    }
    const qsizetype fieldsStart = line.whole.size() - line.rest.size();
    return last > fieldsStart ? line.whole.mid(fieldsStart, last - fieldsStart) : QByteArray();
}

QByteArray noteFields(const AnswerNote& note) {
    return encodeFileName(note.temporaryPath).toBase64() + ' ' + encodeFileName(note.finalPath).toBase64() +
           ' ' + note.bootId.toBase64() + ' ' + note.kind.toUtf8().toBase64();
}

std::optional<AnswerNote> parseNote(const QByteArray& fields) {
    const QList<QByteArray> parts = fields.split(' ');
    if (parts.size() != 4) {
        return std::nullopt;
    }
    return AnswerNote{decodeFileName(QByteArray::fromBase64(parts[0])),
                      decodeFileName(QByteArray::fromBase64(parts[1])), QByteArray::fromBase64(parts[2]),
                      QString::fromUtf8(QByteArray::fromBase64(parts[3]))};
}

struct ReadJournal {
    std::map<qint64, JournalRecord> open;
    std::map<qint64, qint64> bytes;  // of each open record's lines
    qint64 lastId = 0;
};

ReadJournal readJournal(const QByteArray& bytes) {
    const QList<QByteArray> lines = bytes.split('\n');
    // From the first check line on, the marks carry CRCs: a mark there without a right CRC was cut
    // short. Marks before it were written by the earlier version of the link.
    bool checked = false;
    ReadJournal j;
    std::map<qint64, std::pair<qint64, QByteArray>> checks;  // id -> length, crc
    for (const QByteArray& text : lines) {
        const std::optional<Line> line = split(text);
        if (!line) {
            continue;
        }
        j.lastId = std::max(j.lastId, line->id);
        if (line->code == 'C') {
            checked = true;
            const QList<QByteArray> parts = line->rest.split(' ');
            if (parts.size() == 2) {
                checks[line->id] = {parts[0].toLongLong(), parts[1]};
            }
            continue;
        }
        if (line->code == '+') {
            if (auto check = checks.find(line->id); check != checks.end()) {
                const bool whole =
                    check->second.first == line->whole.size() && check->second.second == crcOf(line->whole);
                checks.erase(check);
                if (!whole) {
                    continue;  // cut short or changed: never written
                }
            }
            if (std::optional<JournalRecord> r = parse(line->id, line->rest)) {
                j.open[line->id] = std::move(*r);
                j.bytes[line->id] = line->whole.size() + 32;
            }
            continue;
        }
        std::optional<QByteArray> fields =
            checked ? checkedMark(*line) : std::optional<QByteArray>(line->rest);
        const auto record = j.open.find(line->id);
        if (!fields || record == j.open.end()) {
            continue;
        }
        switch (line->code) {
            case 'R':
                record->second.refused = true;
                break;
            case 'T':
                record->second.claimedPath = decodeFileName(QByteArray::fromBase64(*fields));
                break;
            case 'A':
                if (std::optional<AnswerNote> note = parseNote(*fields)) {
                    record->second.answer = std::move(note);
                }
                break;
            case '-':
                j.open.erase(record);
                j.bytes.erase(line->id);
                break;
            default:
                break;
        }
    }
    return j;
}

QByteArray readAllOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

QByteArray currentBootId() {
    static const QByteArray id = [] {
        QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
    }();
    return id;
}

DocumentJournal::DocumentJournal(QString path, TemporaryKeys& keys) : path_(std::move(path)), keys_(keys) {}

DocumentJournal::~DocumentJournal() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void DocumentJournal::loadIndex() {
    if (indexLoaded_) {
        return;
    }
    const QByteArray bytes = readAllOf(path_);
    ReadJournal j = readJournal(bytes);
    lastId_ = j.lastId;  // numbers go on from those already in the file
    open_ = std::move(j.bytes);
    openBytes_ = 0;
    for (const auto& [id, size] : open_) {
        openBytes_ += size;
    }
    fileBytes_ = bytes.size();
    indexLoaded_ = true;
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
        fileBytes_ += n;
    }
    if (durable && ::fdatasync(fd_) != 0) {
        throw FileError(cannotWrite(path_, errno));
    }
}

void DocumentJournal::appendMark(char code, qint64 id, const QByteArray& fields, bool durable) {
    append(markLine(code, id, fields), durable);
}

JournalRecord DocumentJournal::add(const QString& entryName, const QString& packetText, const QString& kind,
                                   int orderNumber, const QString& claimedPath) {
    loadIndex();
    JournalRecord r{++lastId_,    entryName, packetText,   kind,       orderNumber,
                    keys_.next(), false,     std::nullopt, claimedPath};
    // the record and where its file goes reach the disk together
    QByteArray entry = recordEntry(r);
    if (!claimedPath.isEmpty()) {
        entry += '\n' + markLine('T', r.id, claimFields(claimedPath));
    }
    append(entry, true);
    open_[r.id] = entry.size();
    openBytes_ += entry.size();
    return r;
}

void DocumentJournal::markRefused(JournalRecord& record) {
    loadIndex();
    appendMark('R', record.id, {}, true);
    record.refused = true;
}

void DocumentJournal::noteAnswer(JournalRecord& record, const AnswerNote& note) {
    loadIndex();
    appendMark('A', record.id, noteFields(note), false);
    record.answer = note;
}

void DocumentJournal::markDone(qint64 id) {
    loadIndex();
    try {
        appendMark('-', id, {}, false);
    } catch (const FileError&) {
        return;  // the record stays open; a later run answers it the same way
    }
    if (const auto it = open_.find(id); it != open_.end()) {
        openBytes_ -= it->second;
        open_.erase(it);
    }
}

// With nothing in flight the file starts again from empty, so that it stays small. Records that
// stay open for long (answers that cannot be written) would let it grow: past a size, and when
// they take less than half of it, it is written anew with the open records only, each copied once.
void DocumentJournal::tidy() {
    if (fd_ < 0) {
        return;
    }
    if (open_.empty()) {
        if (::ftruncate(fd_, 0) == 0) {
            fileBytes_ = 0;
        }
    } else if (fileBytes_ > kCompactAbove && fileBytes_ > 2 * openBytes_) {
        compact();
    }
}

void DocumentJournal::compact() {
    QByteArray bytes;
    const auto mark = [&](char code, qint64 id, const QByteArray& fields) {
        bytes += '\n' + markLine(code, id, fields) + '\n';
    };
    for (const JournalRecord& r : pending()) {
        bytes += '\n' + recordEntry(r) + '\n';
        if (!r.claimedPath.isEmpty()) {
            mark('T', r.id, claimFields(r.claimedPath));
        }
        if (r.refused) {
            mark('R', r.id, {});
        }
        if (r.answer) {
            mark('A', r.id, noteFields(*r.answer));
        }
    }
    try {
        writeFileReplacing(path_, bytes, Durability::Flushed, FileAccess::OwnerOnly);
    } catch (const FileError&) {
        return;  // the file stays as it is, whole
    }
    ::close(fd_);
    fd_ = -1;  // opened again, on the new file, at the next entry
    indexLoaded_ = false;
    loadIndex();
}

std::vector<JournalRecord> DocumentJournal::pending() const {
    ReadJournal j = readJournal(readAllOf(path_));
    std::vector<JournalRecord> records;
    records.reserve(j.open.size());
    for (auto& [id, r] : j.open) {
        records.push_back(std::move(r));
    }
    return records;
}

QSet<QString> DocumentJournal::notedAnswerFiles() const {
    QSet<QString> files;
    for (const JournalRecord& r : pending()) {
        if (r.answer) {
            files.insert(r.answer->temporaryPath);
        }
    }
    return files;
}

}  // namespace vk::w2w
