#include "update/TnoltVerInfo.h"

#include "platform/VersionResource.h"
#include "update/VersionRecord.h"

namespace vk {

namespace {

using Names = TnoltVerInfo::Names;

const Names kLanguages{
    {u"0401"_qs, u"Arabic"_qs},
    {u"0402"_qs, u"Bulgarian"_qs},
    {u"0403"_qs, u"Catalan"_qs},
    {u"0404"_qs, u"Traditional Chinese"_qs},
    {u"0405"_qs, u"Czech"_qs},
    {u"0406"_qs, u"Danish"_qs},
    {u"0407"_qs, u"German"_qs},
    {u"0408"_qs, u"Greek"_qs},
    {u"0409"_qs, u"U.S. English"_qs},
    {u"040A"_qs, u"Castilian Spanish"_qs},
    {u"040B"_qs, u"Finnish"_qs},
    {u"040C"_qs, u"French"_qs},
    {u"040D"_qs, u"Hebrew"_qs},
    {u"040E"_qs, u"Hungarian"_qs},
    {u"040F"_qs, u"Icelandic"_qs},
    {u"0410"_qs, u"Italian"_qs},
    {u"0411"_qs, u"Japanese"_qs},
    {u"0412"_qs, u"Korean"_qs},
    {u"0413"_qs, u"Dutch"_qs},
    {u"0414"_qs, u"Norwegian - Bokm\u00e5l"_qs},
    {u"0415"_qs, u"Polish"_qs},
    {u"0416"_qs, u"Brazilian Portuguese"_qs},
    {u"0417"_qs, u"Rhaeto-Romanic"_qs},
    {u"0418"_qs, u"Romanian"_qs},
    {u"0419"_qs, u"Russian"_qs},
    {u"041A"_qs, u"Croato-Serbian (Latin)"_qs},
    {u"041B"_qs, u"Slovak"_qs},
    {u"041C"_qs, u"Albanian"_qs},
    {u"041D"_qs, u"Swedish"_qs},
    {u"041E"_qs, u"Thai"_qs},
    {u"041F"_qs, u"Turkish"_qs},
    {u"0420"_qs, u"Urdu"_qs},
    {u"0421"_qs, u"Bahasa"_qs},
    {u"0804"_qs, u"Simplified Chinese"_qs},
    {u"0807"_qs, u"Swiss German"_qs},
    {u"0809"_qs, u"U.K. English"_qs},
    {u"080A"_qs, u"Mexican Spanish"_qs},
    {u"080C"_qs, u"Belgian French"_qs},
    {u"0810"_qs, u"Swiss Italian"_qs},
    {u"0813"_qs, u"Belgian Dutch"_qs},
    {u"0814"_qs, u"Norwegian - Nynorsk"_qs},
    {u"0816"_qs, u"Portuguese"_qs},
    {u"081A"_qs, u"Serbo-Croatian (Cyrillic)"_qs},
    {u"0C0C"_qs, u"Canadian French"_qs},
    {u"100C"_qs, u"Swiss French"_qs},
};

const Names kCharSets{
    {u"0000"_qs, u"7-bit ASCII"_qs},
    {u"03A4"_qs, u"Windows, Japan (Shift - JIS X-0208)"_qs},
    {u"03B5"_qs, u"Windows, Korea (Shift - KSC 5601)"_qs},
    {u"03B6"_qs, u"Windows, Taiwan (GB5)"_qs},
    {u"04B0"_qs, u"Unicode"_qs},
    {u"04E2"_qs, u"Windows, Latin-2 (Eastern European)"_qs},
    {u"04E3"_qs, u"Windows, Cyrillic"_qs},
    {u"04E4"_qs, u"Windows, Multilingual"_qs},
    {u"04E5"_qs, u"Windows, Greek"_qs},
    {u"04E6"_qs, u"Windows, Turkish"_qs},
    {u"04E7"_qs, u"Windows, Hebrew"_qs},
    {u"04E8"_qs, u"Windows, Arabic"_qs},
};

const Names kOSMajor{{u"0"_qs, u"Unknown"_qs},
                     {u"1"_qs, u"DOS"_qs},
                     {u"2"_qs, u"OS/2 16 bits"_qs},
                     {u"3"_qs, u"OS/2 32 bits"_qs},
                     {u"4"_qs, u"Windows NT"_qs}};

const Names kOSMinor{{u"0"_qs, u" "_qs},
                     {u"1"_qs, u"Windows 16 bits"_qs},
                     {u"2"_qs, u"PM 16 bits"_qs},
                     {u"3"_qs, u"PM 32 bits"_qs},
                     {u"4"_qs, u"Windows 32 bits"_qs}};

const Names kFileTypes{{u"0"_qs, u"Unknown"_qs},       {u"1"_qs, u"Application"_qs}, {u"2"_qs, u"DLL"_qs},
                       {u"3"_qs, u"Device Driver"_qs}, {u"4"_qs, u"Font"_qs},        {u"5"_qs, u"VxD"_qs},
                       {u"7"_qs, u"Static Library"_qs}};

const Names kDriverSubTypes{
    {u"0"_qs, u"Unknown"_qs},  {u"1"_qs, u"Printer"_qs},       {u"2"_qs, u"Keyboard"_qs},
    {u"3"_qs, u"Language"_qs}, {u"4"_qs, u"Display"_qs},       {u"5"_qs, u"Mouse"_qs},
    {u"6"_qs, u"Network"_qs},  {u"7"_qs, u"System"_qs},        {u"8"_qs, u"Installable"_qs},
    {u"9"_qs, u"Sound"_qs},    {u"10"_qs, u"Communication"_qs}};

const Names kFontSubTypes{
    {u"0"_qs, u"Unknown"_qs}, {u"1"_qs, u"Raster"_qs}, {u"2"_qs, u"Vector"_qs}, {u"3"_qs, u"TrueType"_qs}};

const QStringList kStringInfoNames{u"Comments"_qs,        u"CompanyName"_qs,      u"FileDescription"_qs,
                                   u"FileVersion"_qs,     u"InternalName"_qs,     u"LegalCopyright"_qs,
                                   u"LegalTrademarks"_qs, u"OriginalFileName"_qs, u"ProductName"_qs,
                                   u"ProductVersion"_qs,  u"PrivateBuild"_qs,     u"SpecialBuild"_qs};

constexpr qint64 kLargestRecord = 65527;

QString dotted(std::uint32_t ms, std::uint32_t ls) {
    return QStringLiteral("%1.%2.%3.%4").arg(ms >> 16).arg(ms & 0xFFFF).arg(ls >> 16).arg(ls & 0xFFFF);
}

QString hex4(std::uint16_t value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

TnoltVerInfo::TnoltVerInfo()
    : LanguageNames(kLanguages),
      CharSetNames(kCharSets),
      OSMajorNames(kOSMajor),
      OSMinorNames(kOSMinor),
      FileTypeNames(kFileTypes),
      DriverSubTypeNames(kDriverSubTypes),
      FontSubTypeNames(kFontSubTypes),
      StringInfoNames(kStringInfoNames) {}

QString TnoltVerInfo::nameOf(const Names& table, const QString& key) {
    for (const auto& [k, name] : table) {
        if (k.compare(key, Qt::CaseInsensitive) == 0) {
            return name;
        }
    }
    return {};
}

void TnoltVerInfo::Clear() {
    lastError_ = 0;
    FlagDebug = FlagPatched = FlagPreRelease = FlagPrivateBuild = FlagSpecialBuild = false;
    infos_.clear();
}

void TnoltVerInfo::ReadVersionInfo() {
    Clear();
    const qint64 size = GetFileVersionInfoSize(FileName);
    if (size == 0) {
        lastError_ = 1;
        return;
    }
    if (size >= kLargestRecord) {
        lastError_ = 2;
        return;
    }
    const std::optional<QByteArray> bytes = GetFileVersionInfo(FileName, size);
    if (!bytes) {
        lastError_ = 3;
        return;
    }
    const VersionRecord record(*bytes);
    if (const std::optional<FixedFileInfo> f = record.fixedPart()) {
        infos_ << QStringLiteral("InternalFileVersion=") + dotted(f->fileVersionMS, f->fileVersionLS);
        infos_ << QStringLiteral("InternalProductVersion=") +
                      dotted(f->productVersionMS, f->productVersionLS);
        infos_ << QStringLiteral("OSVersion=") + nameOf(OSMajorNames, QString::number(f->fileOS >> 16)) +
                      QStringLiteral(" - ") + nameOf(OSMinorNames, QString::number(f->fileOS & 0xFFFF));
        infos_ << QStringLiteral("FileType=") + nameOf(FileTypeNames, QString::number(f->fileType));
        QString subType;
        if (f->fileType == 3) {
            subType = nameOf(DriverSubTypeNames, QString::number(f->fileSubtype));
        } else if (f->fileType == 4) {
            subType = nameOf(FontSubTypeNames, QString::number(f->fileSubtype));
        }
        infos_ << QStringLiteral("FileSubType=") + subType;
        const std::uint32_t flags = f->fileFlags & f->fileFlagsMask;
        const struct {
            const char* name;
            std::uint32_t bit;
            bool& value;
        } flagLines[] = {{"FlagDebug", 0x01, FlagDebug},
                         {"FlagPatched", 0x04, FlagPatched},
                         {"FlagPreRelease", 0x02, FlagPreRelease},
                         {"FlagPrivateBuild", 0x08, FlagPrivateBuild},
                         {"FlagSpecialBuild", 0x20, FlagSpecialBuild}};
        for (const auto& line : flagLines) {
            line.value = (flags & line.bit) != 0;
            infos_ << QString::fromLatin1(line.name) +
                          (line.value ? QStringLiteral("=1") : QStringLiteral("=0"));
        }
    }
    if (const auto translations = record.translations(); translations && !translations->isEmpty()) {
        const QString key = hex4(translations->first().first) + hex4(translations->first().second);
        infos_ << QStringLiteral("Language=") + nameOf(LanguageNames, key.left(4));
        infos_ << QStringLiteral("CharSet=") + nameOf(CharSetNames, key.right(4));
        for (const QString& name : StringInfoNames.mid(0, 10)) {
            if (const std::optional<QString> v = record.string(key, name)) {
                infos_ << name + u'=' + *v;
            }
        }
        if (FlagPrivateBuild) {
            if (const std::optional<QString> v = record.string(key, QStringLiteral("PrivateBuild"))) {
                infos_ << QStringLiteral("PrivateBuildInfos=") + *v;
            }
        }
        if (FlagSpecialBuild) {
            if (const std::optional<QString> v = record.string(key, QStringLiteral("SpecialBuild"))) {
                infos_ << QStringLiteral("SpecialBuildInfos=") + *v;
            }
        }
    }
}

QString TnoltVerInfo::value(const QString& name) const {
    const QString prefix = name + u'=';
    for (const QString& line : infos_) {
        if (line.startsWith(prefix)) {
            return line.mid(prefix.size());
        }
    }
    return {};
}

}  // namespace vk
