#include "shell/WindowSettings.h"

#include "platform/Errors.h"

#include <QCheckBox>
#include <QLineEdit>

namespace vk {

WindowSettings::WindowSettings(QWidget& form) {
    for (const SettingInfo& s : settingTable()) {
        const auto i = static_cast<std::size_t>(s.id);
        const QString name = s.name.toString();
        if (s.isTickBox()) {
            boxes_[i] = form.findChild<QCheckBox*>(name);
        } else {
            fields_[i] = form.findChild<QLineEdit*>(name);
        }
        if (boxes_[i] == nullptr && fields_[i] == nullptr) {
            throw Error(QStringLiteral("Het venster heeft geen veld %1").arg(name));
        }
    }
}

QString WindowSettings::text(Setting id) const {
    const QLineEdit* f = field(id);
    return f != nullptr ? f->text() : QString();
}

void WindowSettings::setText(Setting id, const QString& value) {
    if (QLineEdit* f = field(id)) {
        f->setText(value);
    }
}

bool WindowSettings::checked(Setting id) const {
    const QCheckBox* box = tickBox(id);
    return box != nullptr && box->isChecked();
}

void WindowSettings::setChecked(Setting id, bool value) {
    if (QCheckBox* box = tickBox(id)) {
        box->setChecked(value);
    }
}

void WindowSettings::resetToDefaults() {
    for (const SettingInfo& s : settingTable()) {
        if (s.isTickBox()) {
            setChecked(s.id, s.defaultChecked());
        } else {
            setText(s.id, s.defaultText.toString());
        }
    }
}

}  // namespace vk
