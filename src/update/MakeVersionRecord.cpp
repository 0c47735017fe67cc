// Writes the C++ source of the program's version record: the VS_VERSIONINFO bytes of the given
// four-part version, placed in the program file's version section.
//   vk_version_record 1.0.0.0 OUTPUT.cpp
// With --raw it writes the record's bytes themselves, to be put into a built program file with
// objcopy --update-section .vk_version=OUTPUT (the tests make a newer program so; versions whose
// parts have as many digits give records of the same size).
//   vk_version_record --raw 1.0.0.1 OUTPUT

#include "platform/VersionResource.h"
#include "update/VersionRecord.h"

#include <QFile>
#include <QStringList>

#include <cstdio>
#include <cstring>

namespace {

QByteArray recordOf(const QString& version) {
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
    return vk::buildVersionRecord(c);
}

QByteArray sourceOf(const QByteArray& record) {
    QByteArray source =
        "// Made by vk_version_record; do not edit.\n"
        "extern \"C\" __attribute__((section(\"" +
        QByteArray(vk::kVersionSection) + "\"), used)) const unsigned char vkVersionRecord[] = {";
    for (qsizetype i = 0; i < record.size(); ++i) {
        source += (i % 16 == 0 ? "\n    " : " ") + QByteArray::number(static_cast<uchar>(record[i])) + ',';
    }
    source += "\n};\n";
    return source;
}

}  // namespace

int main(int argc, char** argv) {
    const bool raw = argc == 4 && std::strcmp(argv[1], "--raw") == 0;
    if (argc != (raw ? 4 : 3)) {
        std::fprintf(stderr, "usage: vk_version_record [--raw] VERSION OUTPUT\n");
        return 2;
    }
    const char* outputName = argv[argc - 1];
    const QByteArray record = recordOf(QString::fromLatin1(argv[argc - 2]));
    const QByteArray output = raw ? record : sourceOf(record);
    QFile out(QString::fromLocal8Bit(outputName));
    if (!out.open(QIODevice::WriteOnly) || out.write(output) != output.size() || !out.flush()) {
        std::fprintf(stderr, "cannot write %s\n", outputName);
        return 1;
    }
    return 0;
}
