// Writes the C++ source of the program's version record: the VS_VERSIONINFO bytes of the given
// four-part version, placed in the program file's version section.
//   vk_version_record 1.0.0.0 OUTPUT.cpp

#include "platform/VersionResource.h"
#include "update/VersionRecord.h"

#include <QFile>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vk_version_record VERSION OUTPUT\n");
        return 2;
    }
    const QString version = QString::fromLatin1(argv[1]);
    QStringList parts = version.split(u'.');
    while (parts.size() < 4) {
        parts << QStringLiteral("0");
    }
    const auto word = [&](int i) { return static_cast<std::uint32_t>(parts[i].toUInt() & 0xFFFF); };
    vk::VersionRecordContent c;
    c.fixed.fileVersionMS = word(0) << 16 | word(1);
    c.fixed.fileVersionLS = word(2) << 16 | word(3);
    c.fixed.productVersionMS = c.fixed.fileVersionMS;
    c.fixed.productVersionLS = c.fixed.fileVersionLS;
    c.fixed.fileFlagsMask = 0x3F;
    c.fixed.fileType = 1;  // an application
    c.translations = {{0x0413, 0x04E4}};
    c.translationKey = QStringLiteral("041304E4");
    c.strings = {{QStringLiteral("CompanyName"), QStringLiteral("Vindo Velora")},
                 {QStringLiteral("FileDescription"), QStringLiteral("Vindo Velora Karvex koppeling")},
                 {QStringLiteral("FileVersion"), parts.join(u'.')},
                 {QStringLiteral("InternalName"), QStringLiteral("VeloraKarvexClient")},
                 {QStringLiteral("OriginalFileName"), QStringLiteral("VeloraKarvexClient")},
                 {QStringLiteral("ProductName"), QStringLiteral("Vindo Velora Karvex koppeling")},
                 {QStringLiteral("ProductVersion"), parts.join(u'.')}};
    const QByteArray record = vk::buildVersionRecord(c);

    QByteArray source =
        "// Made by vk_version_record; do not edit.\n"
        "extern \"C\" __attribute__((section(\"" +
        QByteArray(vk::kVersionSection) + "\"), used)) const unsigned char vkVersionRecord[] = {";
    for (qsizetype i = 0; i < record.size(); ++i) {
        source += (i % 16 == 0 ? "\n    " : " ") + QByteArray::number(static_cast<uchar>(record[i])) + ',';
    }
    source += "\n};\n";
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly) || out.write(source) != source.size()) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
