#include "settings/SettingsStorage.h"

#include "platform/Errors.h"
#include "platform/FileReplace.h"
#include "settings/SettingsXml.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <limits>

namespace vk {

namespace {

constexpr QStringView kFormVersion = u"FormVersion";

std::optional<qint64> wholeNumber(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    qint64 n = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9' || n > std::numeric_limits<int>::max()) {
            return std::nullopt;
        }
        n = n * 10 + (text[i].unicode() - u'0');
    }
    return negative ? -n : n;
}

}  // namespace

int readFormVersion(const QString& text) {
    const std::optional<qint64> n = wholeNumber(text);
    if (!n || *n > std::numeric_limits<int>::max() || *n < std::numeric_limits<int>::min()) {
        return -1;
    }
    return static_cast<int>(*n);
}

bool readTickBox(const QString& value) {
    const QString upper = value.toUpper();
    for (QStringView word : {u"TRUE", u"YES", u"Y"}) {
        if (upper == word) {
            return true;
        }
    }
    for (QStringView word : {u"FALSE", u"NO", u"N"}) {
        if (upper == word) {
            return false;
        }
    }
    const std::optional<qint64> n = wholeNumber(value);
    return n && *n != 0;
}

SettingsStorage::SettingsStorage(QString filePath, const Clock& clock)
    : filePath_(std::move(filePath)), clock_(clock) {}

QStringList SettingsStorage::pathOf(QStringView elementName) {
    return {QStringLiteral("Configuration"), QStringLiteral("Hoofdscherm"), elementName.toString()};
}

std::optional<QString> SettingsStorage::LoadSettingsFile() {
    document_ = SettingsDocument();
    readOnly_ = false;
    unreadable_ = false;
    const QFileInfo info(filePath_);
    if (!info.exists() && !info.isSymLink()) {
        return std::nullopt;
    }
    const auto unreadable = [&](const QString& why) {
        unreadable_ = true;
        return QStringLiteral(
                   "Instellingenbestand \"%1\" is niet te lezen: %2. De standaardinstellingen worden "
                   "gebruikt; het bestand blijft bewaard.")
            .arg(filePath_, why);
    };
    QFile file(filePath_);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        return unreadable(info.isDir() ? QStringLiteral("het is een map") : file.errorString());
    }
    readOnly_ = !(info.permissions() & QFileDevice::WriteOwner);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return unreadable(file.errorString());
    }
    const QString text = decodeSettingsBytes(bytes);
    const SettingsParseResult parsed = parseSettingsText(text, document_);
    if (!parsed) {
        document_ = SettingsDocument();
        return unreadable(QStringLiteral("%1 (regel %2, kolom %3, teken %4)")
                              .arg(parsed.description)
                              .arg(parsed.line)
                              .arg(parsed.column)
                              .arg(parsed.offset + 1));  // counted from 1, as line and column
    }
    return std::nullopt;
}

void SettingsStorage::RestoreSettings(Settings& fields) {
    const std::optional<QString> version = document_.readText(pathOf(kFormVersion));
    if (!version || readFormVersion(*version) >= 0) {
        for (const SettingInfo& s : settingTable()) {
            if (!s.stored) {
                continue;
            }
            const std::optional<QString> value = document_.readText(pathOf(s.elementName()));
            if (!value) {
                continue;
            }
            if (s.isTickBox()) {
                fields.setChecked(s.id, readTickBox(*value));
            } else {
                fields.setText(s.id, *value);
            }
        }
    }
    restored_ = true;
    savedSinceRestore_ = false;
}

void SettingsStorage::SaveSettings(const Settings& fields) {
    if (!readOnly_) {
        document_.writeText(pathOf(kFormVersion), QStringLiteral("0"));
        for (const SettingInfo& s : settingTable()) {
            if (s.stored) {
                const QString value =
                    s.isTickBox() ? (fields.checked(s.id) ? QStringLiteral("TRUE") : QStringLiteral("FALSE"))
                                  : fields.text(s.id);
                document_.writeText(pathOf(s.elementName()), value);
            }
        }
    }
    savedSinceRestore_ = true;
}

// A file that could not be read is the user's, possibly repairable: it moves aside under a
// telling name before the new file takes its place. The name holds the time to the second; a
// later run in the same second (or one at the same moment in the same folder) finds that name
// taken and adds a number, so that no kept file is ever replaced by another.
std::optional<QString> SettingsStorage::keepUnreadableFileAside() {
    const QFileInfo info(filePath_);
    if (!info.isFile()) {
        return std::nullopt;
    }
    const QString stamp = clock_.now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base =
        info.dir().filePath(info.completeBaseName() + QStringLiteral(".onleesbaar-") + stamp);
    for (int n = 1;; ++n) {
        const QString aside =
            n == 1 ? base + QStringLiteral(".xml") : base + QStringLiteral("-%1.xml").arg(n);
        // A second name for the old file, made before the new file is renamed over it: at no
        // moment is there no settings file. Neither the link nor the copy it falls back to replaces
        // anything of that name; whether the name is taken is asked only after that failed, never
        // before, so that a name another run takes in the meantime is passed over, not replaced.
        try {
            keepAlsoAs(filePath_, aside);
        } catch (const FileError&) {
            const QFileInfo taken(aside);
            if (taken.exists() || taken.isSymLink()) {
                continue;
            }
            return QStringLiteral(
                       "Het onleesbare instellingenbestand \"%1\" kan niet opzij gezet worden; het "
                       "blijft ongewijzigd en de instellingen van deze sessie worden niet bewaard.")
                .arg(filePath_);
        }
        keptAside_ = aside;
        unreadable_ = false;
        return std::nullopt;
    }
}

std::optional<QString> SettingsStorage::WriteSettingsFile() {
    if (readOnly_) {
        return std::nullopt;
    }
    const QFileInfo info(filePath_);
    if (!QDir().mkpath(info.absolutePath())) {
        return QStringLiteral("Map \"%1\" kan niet gemaakt worden").arg(info.absolutePath());
    }
    if (unreadable_) {
        if (auto problem = keepUnreadableFileAside()) {
            return problem;
        }
    }
    try {
        writeFileReplacing(filePath_, settingsFileBytes(document_), Durability::Flushed,
                           FileAccess::OwnerOnly);
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return std::nullopt;
}

std::optional<QString> SettingsStorage::endRun(const Settings& fields) {
    if (!savedSinceRestore_) {
        SaveSettings(fields);
    }
    return WriteSettingsFile();
}

}  // namespace vk
