#pragma once

#include <QString>
#include <QStringList>

#include <map>

namespace vk {

// noltVerInfo1: reads the version record of a program file into lines "key=value".
class TnoltVerInfo {
public:
    TnoltVerInfo();
    virtual ~TnoltVerInfo() = default;

    QString FileName;

    const QStringList& Infos() const { return infos_; }
    // 0 read (or nothing read yet), 1 no version record, 2 a record of 65,527 bytes or more,
    // 3 the record could not be read
    int LastError() const { return lastError_; }
    bool FlagDebug = false;
    bool FlagPatched = false;
    bool FlagPreRelease = false;
    bool FlagPrivateBuild = false;
    bool FlagSpecialBuild = false;

    virtual void Clear();
    virtual void ReadVersionInfo();

    // The value of the line "name=...", empty when there is none.
    QString value(const QString& name) const;

    // The tables, keyed as the record gives the values (compared without letter case).
    using Names = std::map<QString, QString>;
    const Names LanguageNames;
    const Names CharSetNames;
    const Names OSMajorNames;
    const Names OSMinorNames;
    const Names FileTypeNames;
    const Names DriverSubTypeNames;
    const Names FontSubTypeNames;
    const QStringList StringInfoNames;

private:
    static QString nameOf(const Names& table, const QString& key);

    QStringList infos_;
    int lastError_ = 0;
};

}  // namespace vk
