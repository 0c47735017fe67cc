#include "w2w/DocumentJournal.h"

#include "platform/Errors.h"
#include "platform/FileNames.h"
#include "platform/FileReplace.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <optional>

namespace vk::w2w {

namespace {

constexpr char kHeader[] = "VK-JOURNAAL 1";
const QString kSuffix = QStringLiteral(".rec");

QByteArray encoded(const QString& text) {
    return text.toUtf8().toBase64();
}

QString decoded(const QByteArray& base64) {
    return QString::fromUtf8(QByteArray::fromBase64(base64));
}

QByteArray serialise(const JournalRecord& r) {
    QByteArray bytes(kHeader);
    bytes += "\nnaam " + encodeFileName(r.entryName).toBase64();
    bytes += "\nsoort " + encoded(r.kind);
    bytes += "\norder " + QByteArray::number(r.orderNumber);
    bytes += "\nsleutel " + encoded(r.key);
    bytes += "\nuitkomst " + QByteArray(r.refused ? "WOB" : "-");
    bytes += "\npakket " + encoded(r.packetText);
    bytes += '\n';
    return bytes;
}

std::optional<JournalRecord> parse(const QByteArray& bytes, const QString& file) {
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.isEmpty() || lines.first() != kHeader) {
        return std::nullopt;
    }
    JournalRecord r;
    r.file = file;
    int fields = 0;
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype space = line.indexOf(' ');
        if (space < 0) {
            continue;
        }
        const QByteArray name = line.left(space);
        const QByteArray value = line.mid(space + 1);
        ++fields;
        if (name == "naam") {
            r.entryName = decodeFileName(QByteArray::fromBase64(value));
        } else if (name == "soort") {
            r.kind = decoded(value);
        } else if (name == "order") {
            r.orderNumber = value.toInt();
        } else if (name == "sleutel") {
            r.key = decoded(value);
        } else if (name == "uitkomst") {
            r.refused = value == "WOB";
        } else if (name == "pakket") {
            r.packetText = decoded(value);
        } else {
            --fields;
        }
    }
    if (fields != 6 || r.entryName.isEmpty()) {
        return std::nullopt;
    }
    return r;
}

}  // namespace

DocumentJournal::DocumentJournal(QString folder, TemporaryKeys& keys)
    : folder_(std::move(folder)), keys_(keys) {}

void DocumentJournal::write(const JournalRecord& record) const {
    writeFileReplacing(record.file, serialise(record), Durability::Flushed, FileAccess::OwnerOnly);
}

JournalRecord DocumentJournal::add(const QString& entryName, const QString& packetText, const QString& kind,
                                   int orderNumber) {
    if (!QDir().mkpath(folder_)) {
        throw FileError(
            QStringLiteral("Cannot create file \"%1\". De map kan niet gemaakt worden").arg(folder_));
    }
    JournalRecord r{entryName, packetText, kind, orderNumber, keys_.next(), false, QString()};
    // the name sorts in the order of taking
    r.file =
        QDir(folder_).filePath(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmsszzz")) +
                               QStringLiteral("-%1").arg(++sequence_, 6, 10, QLatin1Char('0')) + kSuffix);
    write(r);
    return r;
}

void DocumentJournal::markRefused(JournalRecord& record) {
    record.refused = true;
    write(record);
}

void DocumentJournal::remove(const JournalRecord& record) {
    QFile::remove(record.file);
}

std::vector<JournalRecord> DocumentJournal::pending() const {
    std::vector<JournalRecord> records;
    const QDir dir(folder_);
    if (!dir.exists()) {
        return records;
    }
    QStringList names =
        dir.entryList({QStringLiteral("*") + kSuffix}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly)) {
            continue;
        }
        if (std::optional<JournalRecord> r = parse(f.readAll(), f.fileName())) {
            records.push_back(std::move(*r));
        }
    }
    return records;
}

}  // namespace vk::w2w
