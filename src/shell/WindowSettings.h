#pragma once

#include "settings/Settings.h"

#include <array>

class QCheckBox;
class QLineEdit;
class QWidget;

namespace vk {

// The window's fields are the settings' storage: every read is the field's content at that
// moment, every write goes into the field. The fields are found by the settings' names.
class WindowSettings final : public Settings {
public:
    // Raises an Error naming a setting whose field the form lacks.
    explicit WindowSettings(QWidget& form);

    QString text(Setting id) const override;
    void setText(Setting id, const QString& value) override;
    bool checked(Setting id) const override;
    void setChecked(Setting id, bool value) override;

    // Every field to its design value.
    void resetToDefaults();

    QLineEdit* field(Setting id) const { return fields_[static_cast<std::size_t>(id)]; }
    QCheckBox* tickBox(Setting id) const { return boxes_[static_cast<std::size_t>(id)]; }

private:
    std::array<QLineEdit*, kSettingCount> fields_{};
    std::array<QCheckBox*, kSettingCount> boxes_{};
};

}  // namespace vk
