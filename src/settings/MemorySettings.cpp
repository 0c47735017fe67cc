#include "settings/Settings.h"

namespace vk {

namespace {
std::size_t index(Setting id) {
    return static_cast<std::size_t>(id);
}
}  // namespace

MemorySettings::MemorySettings() {
    for (const auto& s : settingTable()) {
        if (s.isTickBox()) {
            ticks_[index(s.id)] = s.defaultChecked();
        } else {
            texts_[index(s.id)] = s.defaultText.toString();
        }
    }
}

QString MemorySettings::text(Setting id) const {
    return texts_[index(id)];
}

void MemorySettings::setText(Setting id, const QString& value) {
    texts_[index(id)] = value;
}

bool MemorySettings::checked(Setting id) const {
    return ticks_[index(id)];
}

void MemorySettings::setChecked(Setting id, bool value) {
    ticks_[index(id)] = value;
}

}  // namespace vk
