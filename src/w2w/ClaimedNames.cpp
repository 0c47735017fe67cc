#include "w2w/ClaimedNames.h"

#include "platform/FileNames.h"
#include "platform/Paths.h"

#include <QCryptographicHash>

#include <climits>

#include <unistd.h>

namespace vk::w2w {

namespace {

// Below this, every file system the link meets takes the name; above it, the folder is asked.
constexpr qsizetype kAlwaysFits = 128;

qsizetype nameLimitOf(const QString& folder) {
    const long limit = ::pathconf(encodeFileName(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<qsizetype>(limit) : qsizetype{NAME_MAX};
}

}  // namespace

ClaimedNames::ClaimedNames(const QString& journalPath) {
    if (!journalPath.isEmpty()) {
        tag_ = QStringLiteral(".vk-") +
               QString::fromLatin1(
                   QCryptographicHash::hash(journalPath.toUtf8(), QCryptographicHash::Md5).toHex().left(8));
    }
}

QString ClaimedNames::pathFor(const QString& folder, const QString& name) const {
    const QString claimed = u'.' + name + tag_;
    const qsizetype bytes = encodeFileName(claimed).size();
    if (bytes <= kAlwaysFits || bytes <= nameLimitOf(folder)) {
        return joinPath(folder, claimed);
    }
    const QByteArray digest =
        QCryptographicHash::hash(encodeFileName(name), QCryptographicHash::Sha1).toHex();
    return joinPath(folder, QStringLiteral(".vk-") + QString::fromLatin1(digest) + tag_);
}

bool ClaimedNames::isClaim(const QString& name) const {
    return !tag_.isEmpty() && name.startsWith(u'.') && name.endsWith(tag_);
}

}  // namespace vk::w2w
