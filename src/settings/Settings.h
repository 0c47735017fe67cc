#pragma once

#include "platform/IntegerReading.h"
#include "settings/SettingsModel.h"

#include <QString>

#include <array>

namespace vk {

// The settings as the working code reads them: the current content of the field at the moment
// of use. The window's fields are one storage for them, an in-memory store is another.
class Settings {
public:
    virtual ~Settings() = default;

    // text, folder, numeric and one-letter settings: the text exactly as typed
    virtual QString text(Setting id) const = 0;
    virtual void setText(Setting id, const QString& value) = 0;
    // tick boxes
    virtual bool checked(Setting id) const = 0;
    virtual void setChecked(Setting id, bool value) = 0;

    // numeric settings: the text through the integer reading, never failing
    int number(Setting id) const { return readInteger(text(id)); }
};

// Settings held in memory, starting at their defaults.
class MemorySettings final : public Settings {
public:
    MemorySettings();
    QString text(Setting id) const override;
    void setText(Setting id, const QString& value) override;
    bool checked(Setting id) const override;
    void setChecked(Setting id, bool value) override;

private:
    std::array<QString, kSettingCount> texts_;
    std::array<bool, kSettingCount> ticks_{};
};

}  // namespace vk
