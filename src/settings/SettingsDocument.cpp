#include "settings/SettingsDocument.h"

namespace vk {

namespace {

template <class Item>
Item* lastChildNamed(Item& parent, const QString& name) {
    for (auto it = parent.children.rbegin(); it != parent.children.rend(); ++it) {
        if (it->isElement() && it->name.compare(name, Qt::CaseInsensitive) == 0) {
            return &*it;
        }
    }
    return nullptr;
}

}  // namespace

SettingsDocument::SettingsDocument() : root(XmlItem::element(QStringLiteral("Configuration"))) {}

std::optional<QString> SettingsDocument::readText(const QStringList& path) const {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    const XmlItem* item = &root;
    qsizetype step = path.first() == root.name ? 1 : 0;
    for (; step < path.size(); ++step) {
        item = lastChildNamed(*item, path[step]);
        if (!item) {
            return std::nullopt;
        }
    }
    return item->value;
}

void SettingsDocument::writeText(const QStringList& path, const QString& value) {
    if (path.isEmpty()) {
        return;
    }
    XmlItem* item = &root;
    qsizetype step = path.first() == root.name ? 1 : 0;
    for (; step < path.size(); ++step) {
        XmlItem* child = lastChildNamed(*item, path[step]);
        if (!child) {
            item->children.push_back(XmlItem::element(path[step]));
            child = &item->children.back();
        }
        item = child;
    }
    item->value = value;
    // A value element holds no children: left there, they would hide the value in the file.
    item->children.clear();
}

}  // namespace vk
