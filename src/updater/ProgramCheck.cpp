#include "updater/ProgramCheck.h"

#include "platform/ProgramSignature.h"
#include "update/TnoltVerInfo.h"
#include "update/UpdateFormats.h"

#include <QRegularExpression>

namespace vk {

namespace {

struct ProgramIdentity {
    QString product;
    QString internalName;
    QString version;
};

std::optional<ProgramIdentity> identityOf(const QString& programFile) {
    TnoltVerInfo info;
    info.FileName = programFile;
    info.ReadVersionInfo();
    if (info.LastError() != 0) {
        return std::nullopt;
    }
    return ProgramIdentity{info.value(QStringLiteral("ProductName")),
                           info.value(QStringLiteral("InternalName")),
                           info.value(QStringLiteral("InternalFileVersion"))};
}

}  // namespace

QString programVersionOf(const QString& programFile) {
    const std::optional<ProgramIdentity> identity = identityOf(programFile);
    return identity ? identity->version : QString();
}

std::optional<bool> isOlderDottedVersion(const QString& a, const QString& b) {
    static const QRegularExpression dotted(
        QRegularExpression::anchoredPattern(QStringLiteral("\\d{1,9}(\\.\\d{1,9})*")));
    if (!dotted.match(a).hasMatch() || !dotted.match(b).hasMatch()) {
        return std::nullopt;
    }
    return isOlderVersion(a, b);
}

std::optional<QString> refusalOf(const QString& file, const QString& installedProgram,
                                 const QString& shownAs) {
    const std::optional<ProgramIdentity> installed = identityOf(installedProgram);
    if (!installed || installed->product.isEmpty()) {
        return QStringLiteral("het ge\u00efnstalleerde programma %1 heeft geen versiegegevens")
            .arg(installedProgram);
    }
    const std::optional<ProgramIdentity> offered = identityOf(file);
    if (!offered || offered->product != installed->product ||
        offered->internalName != installed->internalName) {
        return QStringLiteral("%1 is geen programma van %2").arg(shownAs, installed->product);
    }
    const std::optional<bool> newer = isOlderDottedVersion(installed->version, offered->version);
    if (!newer) {
        return QStringLiteral(
                   "de versie van %1 (\"%2\") is niet te vergelijken met de ge\u00efnstalleerde versie "
                   "\"%3\"")
            .arg(shownAs, offered->version, installed->version);
    }
    if (!*newer) {
        return QStringLiteral("versie %1 is niet nieuwer dan de ge\u00efnstalleerde versie %2")
            .arg(offered->version, installed->version);
    }
    const std::optional<QByteArray> key = releaseKeyOf(installedProgram);
    if (!key) {
        return QStringLiteral(
            "het ge\u00efnstalleerde programma draagt geen sleutel om een update mee te controleren");
    }
    switch (checkProgramSignature(file, *key)) {
        case SignatureCheck::Valid:
            return std::nullopt;
        case SignatureCheck::NotAProgram:
            return QStringLiteral("%1 heeft geen plaats voor een handtekening").arg(shownAs);
        case SignatureCheck::Unsigned:
            return QStringLiteral("%1 is niet ondertekend").arg(shownAs);
        case SignatureCheck::Invalid:
            break;
    }
    return QStringLiteral(
               "de handtekening van %1 klopt niet met de sleutel van het ge\u00efnstalleerde programma")
        .arg(shownAs);
}

}  // namespace vk
