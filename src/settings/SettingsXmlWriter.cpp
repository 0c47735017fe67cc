#include "platform/AnsiCodePage.h"
#include "settings/SettingsXml.h"

namespace vk {

QString escapeSettingsText(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
            case u'&':
                out += u"&amp;";
                break;
            case u'<':
                out += u"&lt;";
                break;
            case u'>':
                out += u"&gt;";
                break;
            case u'"':
                out += u"&quot;";
                break;
            case u'\'':
                out += u"&apos;";
                break;
            default:
                if (c.unicode() >= 0x20AC) {
                    out += QStringLiteral("&#x") + QString::number(c.unicode(), 16).toUpper() + u';';
                } else {
                    out += c;
                }
        }
    }
    return out;
}

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

class Formatter {
public:
    QString out;

    void item(const XmlItem& it, int depth) {
        const QString indent(depth * 2, u' ');
        switch (it.kind) {
            case XmlItem::Kind::Element:
                element(it, indent, depth);
                break;
            case XmlItem::Kind::Comment:
                out += indent + QStringLiteral("<!--") + it.value + QStringLiteral("-->") + kLineEnd;
                break;
            case XmlItem::Kind::CData:
                out += indent + QStringLiteral("<![CDATA[") + it.value + QStringLiteral("]]>") + kLineEnd;
                break;
            case XmlItem::Kind::Text:
                out += indent + escapeSettingsText(it.value) + kLineEnd;
                break;
            case XmlItem::Kind::Doctype:
                out += indent + QStringLiteral("<!DOCTYPE ") + it.value + QStringLiteral(">") + kLineEnd;
                break;
            case XmlItem::Kind::Instruction: {
                if (it.name.isEmpty()) {
                    break;  // an instruction without a target cannot be written back as one
                }
                // A character the code page lacks is written as "?": before a ">" that would end the
                // instruction early, so a blank keeps them apart.
                QString value = ansi::decode(ansi::encode(it.value));
                value.replace(QStringLiteral("?>"), QStringLiteral("? >"));
                out += indent + QStringLiteral("<?") + it.name +
                       (value.isEmpty() ? QString() : u' ' + value) + QStringLiteral("?>") + kLineEnd;
                break;
            }
        }
    }

private:
    void element(const XmlItem& e, const QString& indent, int depth) {
        QString open = indent + u'<' + escapeSettingsText(e.name);
        for (const auto& [name, value] : e.attributes) {
            open +=
                u' ' + escapeSettingsText(name) + QStringLiteral("=\"") + escapeSettingsText(value) + u'"';
        }
        if (e.hasChildren()) {
            out += open + u'>' + kLineEnd;
            for (const XmlItem& child : e.children) {
                item(child, depth + 1);
            }
            out += indent + QStringLiteral("</") + escapeSettingsText(e.name) + u'>' + kLineEnd;
        } else if (e.value.isEmpty()) {
            out += open + QStringLiteral("/>") + kLineEnd;
        } else {
            out += open + u'>' + escapeSettingsText(e.value) + QStringLiteral("</") +
                   escapeSettingsText(e.name) + u'>' + kLineEnd;
        }
    }
};

}  // namespace

QString formatSettingsDocument(const SettingsDocument& document) {
    Formatter f;
    if (document.declaration) {
        const XmlDeclaration& d = *document.declaration;
        f.out += QStringLiteral("<?xml version=\"") + escapeSettingsText(d.version) + u'"';
        if (d.encoding) {
            f.out += QStringLiteral(" encoding=\"") + escapeSettingsText(*d.encoding) + u'"';
        }
        if (d.standaloneYes) {
            f.out += QStringLiteral(" standalone=\"yes\"");
        }
        f.out += QStringLiteral("?>") + kLineEnd;
    } else {
        f.out += QStringLiteral("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>") + kLineEnd;
    }
    for (const XmlItem& it : document.prolog) {
        f.item(it, 0);
    }
    f.item(document.root, 0);
    return f.out;
}

QByteArray settingsFileBytes(const SettingsDocument& document) {
    return ansi::encode(formatSettingsDocument(document));
}

}  // namespace vk
