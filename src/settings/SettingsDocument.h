#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace vk {

// One item of the settings document: an element with its value, attributes and children, or a
// comment, character-data section, text piece, document type or processing instruction carried
// over from a loaded file. Values are held decoded; escaping exists only in the file.
struct XmlItem {
    enum class Kind { Element, Comment, CData, Text, Doctype, Instruction };

    Kind kind = Kind::Element;
    QString name;   // an element's name, an instruction's target
    QString value;  // an element's value, or the text of the other kinds
    std::vector<std::pair<QString, QString>> attributes;
    std::vector<XmlItem> children;

    static XmlItem element(QString name) { return XmlItem{Kind::Element, std::move(name), {}, {}, {}}; }
    bool isElement() const { return kind == Kind::Element; }
    bool hasChildren() const { return !children.empty(); }
};

struct XmlDeclaration {
    QString version;
    std::optional<QString> encoding;
    bool standaloneYes = false;
};

// The settings document: the whole settings file as a tree. Settings are addressed by a path of
// element names from the root ("Configuration", "Hoofdscherm", "Interval_Text"): the first step
// is the root itself when it carries exactly that name, else a child of the root; every other
// step is a child, compared without regard to letter case, the last of equal names winning.
class SettingsDocument {
public:
    SettingsDocument();

    std::optional<XmlDeclaration> declaration;
    std::vector<XmlItem> prolog;  // comments, document type and instructions before the root
    XmlItem root;

    // The value at path, or nothing when an element on the way is missing. Never creates.
    std::optional<QString> readText(const QStringList& path) const;
    // Sets the value at path, creating missing elements as the last child of their parents.
    // An existing element keeps its place and the letter case of its name.
    void writeText(const QStringList& path, const QString& value);
};

inline constexpr int kMaxSettingsDepth = 256;

}  // namespace vk
