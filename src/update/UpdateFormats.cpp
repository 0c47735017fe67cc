#include "update/UpdateFormats.h"

#include "platform/AnsiCodePage.h"
#include "platform/Errors.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <zlib.h>

#include <limits>
#include <optional>

namespace vk {

namespace {

QString decodeIni(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE")) {
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                  (bytes.size() - 2) / 2);
    }
    if (bytes.startsWith("\xFE\xFF")) {
        QByteArray swapped = bytes.mid(2);
        for (qsizetype i = 0; i + 1 < swapped.size(); i += 2) {
            std::swap(swapped[i], swapped[i + 1]);
        }
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(swapped.constData()), swapped.size() / 2);
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(bytes.mid(3));
    }
    return ansi::decode(bytes);
}

constexpr qint64 kKB = 1024;
constexpr qint64 kMB = 1024 * kKB;
constexpr qint64 kGB = 1024 * kMB;

}  // namespace

QString readIniValue(const QByteArray& file, const QString& section, const QString& key) {
    bool inSection = false;
    for (QString line : decodeIni(file).split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inSection || equals < 0 || line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) != 0) {
            continue;
        }
        QString value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
            value.back() == value.front()) {
            value = value.mid(1, value.size() - 2);
        }
        return value.left(2047);
    }
    return {};
}

namespace {

// The parts of a dotted decimal version ("1.0.0.25"); nothing when it is not one.
std::optional<QList<qulonglong>> versionParts(const QString& version) {
    static const QRegularExpression dotted(QStringLiteral("^\\d{1,9}(\\.\\d{1,9})*$"));
    if (!dotted.match(version).hasMatch()) {
        return std::nullopt;
    }
    QList<qulonglong> parts;
    for (const QString& part : version.split(u'.')) {
        parts << part.toULongLong();
    }
    return parts;
}

}  // namespace

bool isOlderVersion(const QString& running, const QString& offered) {
    const auto a = versionParts(running);
    const auto b = versionParts(offered);
    if (!a || !b) {
        return QString::compare(running, offered, Qt::CaseSensitive) < 0;
    }
    for (qsizetype i = 0; i < std::max(a->size(), b->size()); ++i) {
        const qulonglong x = a->value(i, 0);
        const qulonglong y = b->value(i, 0);
        if (x != y) {
            return x < y;
        }
    }
    return false;
}

std::optional<QString> downloadFileName(const QString& url) {
    // the last segment of the path as it stands, decoded only then: an encoded "/" stays inside it
    const QString path = QUrl(url).path(QUrl::FullyEncoded);
    const QString name = QUrl::fromPercentEncoding(path.mid(path.lastIndexOf(u'/') + 1).toUtf8());
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    if (name.isEmpty() || name == u"." || name == u"..") {
        return std::nullopt;
    }
    for (const QChar c : name) {
        if (forbidden.contains(c) || c.unicode() < 32) {
            return std::nullopt;
        }
    }
    return name;
}

QString appSectionName(const QString& programFile, const QStringList& arguments) {
    QString name = QFileInfo(programFile).fileName();
    if (name == u"rundll32.exe") {
        const QString argument = arguments.value(1);
        const qsizetype comma = argument.indexOf(u',');
        name = comma < 0 ? QString() : QFileInfo(argument.left(comma)).fileName();
    }
    const qsizetype dot = name.indexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

QString FormatFileSize(qint64 n, FileSizeUnit unit, const QLocale& locale) {
    const auto shown = [&](qint64 value, const char* symbol) {
        return locale.toString(value) + u' ' + QLatin1String(symbol);
    };
    switch (unit) {
        case FileSizeUnit::Auto:
            if (n > kGB) {
                return shown(n / kGB, "GB");
            }
            if (n > kMB) {
                return shown(n / kMB, "MB");
            }
            if (n > kKB) {
                return shown(n / kKB, "KB");
            }
            return shown(n, "B");
        case FileSizeUnit::Bytes:
            return shown(n, "B");
        case FileSizeUnit::KiloBytes:
            return shown(n > 0 && n < kKB ? 1 : n / kKB, "KB");
        case FileSizeUnit::MegaBytes:
            return shown(n > 0 && n < kMB ? 1 : n / kMB, "MB");
        case FileSizeUnit::GigaBytes:
            return shown(n > 0 && n < kGB ? 1 : n / kGB, "GB");
    }
    return {};
}

QString FileNameFromURL(const QString& url) {
    return url.mid(url.lastIndexOf(u'/') + 1);
}

qint32 announcedSize(const QStringList& headerLines) {
    for (const QString& line : headerLines) {
        if (line.toLower().startsWith(u"content-length: ")) {
            bool ok = false;
            const qint64 size = line.mid(16).trimmed().toLongLong(&ok);
            return ok && size <= std::numeric_limits<qint32>::max() &&
                           size >= std::numeric_limits<qint32>::min()
                       ? static_cast<qint32>(size)
                       : 0;
        }
    }
    return 0;
}

QString fileDigest(const QString& path, HashType type) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw FileError(
            QStringLiteral("Het bestand \"%1\" kan niet geopend worden. %2").arg(path, file.errorString()));
    }
    if (type == HashType::CRC32) {
        uLong crc = crc32(0L, Z_NULL, 0);
        while (!file.atEnd()) {
            const QByteArray block = file.read(1 << 16);
            crc = crc32(crc, reinterpret_cast<const Bytef*>(block.constData()),
                        static_cast<uInt>(block.size()));
        }
        return QStringLiteral("%1").arg(static_cast<quint32>(crc), 8, 16, QLatin1Char('0')).toUpper();
    }
    if (type == HashType::None) {
        return {};
    }
    QCryptographicHash hash(type == HashType::MD5 ? QCryptographicHash::Md5 : QCryptographicHash::Sha1);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex().toUpper());
}

}  // namespace vk
