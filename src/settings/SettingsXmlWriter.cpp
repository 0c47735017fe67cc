#include "platform/AnsiCodePage.h"
#include "settings/SettingsXml.h"

namespace vk {

namespace {

// Appends text with the five characters escaped. A NUL is left out: the reader takes it for the
// end of the file, so everything after it would be lost.
void appendEscaped(QString& out, QStringView text) {
    for (const QChar c : text) {
        switch (c.unicode()) {
            case 0:
                break;
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
                out += c;
        }
    }
}

// The text as the file will hold it once in the code page: a character the code page lacks
// becomes the one written in its place ("L" for "\u0141", else "?"). NULs are left out, as in
// appendEscaped.
QString inCodePage(QStringView text) {
    QString out = ansi::decode(ansi::encode(text));
    out.remove(QChar(0));
    return out;
}

}  // namespace

QString escapeSettingsText(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        if (text[i].unicode() >= 0x20AC) {
            out += QStringLiteral("&#x") + QString::number(text[i].unicode(), 16).toUpper() + u';';
            ++i;
            continue;
        }
        // A run below 20AC goes to the file through the code page, which may put one of the five
        // characters in place of one it lacks ("\u2033" becomes a quote): escaping what the code
        // page gives keeps such a character from ending a value or an attribute early.
        qsizetype end = i;
        bool ascii = true;
        for (; end < text.size() && text[end].unicode() < 0x20AC; ++end) {
            ascii = ascii && text[end].unicode() < 0x80;
        }
        const QStringView run = text.sliced(i, end - i);
        if (ascii) {
            appendEscaped(out, run);
        } else {
            appendEscaped(out, ansi::decode(ansi::encode(run)));
        }
        i = end;
    }
    return out;
}

namespace {

// Characters the reader takes in a name: ASCII letters, "_" and ":" anywhere, digits, "-" and
// "." after the first, and every character from 80 hexadecimal up.
bool isNameStart(QChar c) {
    const char16_t u = c.unicode();
    return u >= 0x80 || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'_' || u == u':';
}

bool isNameChar(QChar c) {
    const char16_t u = c.unicode();
    return isNameStart(c) || (u >= u'0' && u <= u'9') || u == u'-' || u == u'.';
}

struct WrittenName {
    QString name;
    // whether name reads back as one that matches the same setting names (compared without
    // regard to letter case) as the name it was made from
    bool same = true;
};

// An element's, attribute's or instruction's name as the file can hold it. A name is not escaped
// (the reader does not decode references in names), so each character goes through the code
// page. One the code page gives as a character of another letter, or that the reader would not
// take in a name, becomes "-", and a name that does not start as a name gets a "_" in front
// (an empty one, or one the reader shortened by the byte-order mark at its start). A name so
// changed holds a "-" or starts with "_", which no setting's name does: it never takes the place
// of a setting, and the rest of the file still reads.
WrittenName writtenName(const QString& name) {
    WrittenName w;
    w.name.reserve(name.size() + 1);
    for (const QChar c : name) {
        QChar written = c;
        if (c.unicode() >= 0x80) {
            const QString converted = ansi::decode(ansi::encode(QStringView(&c, 1)));
            written = converted.size() == 1 ? converted[0] : QChar(u'?');
            if (written.toCaseFolded() != c.toCaseFolded()) {
                written = u'-';
                w.same = false;
            }
        }
        if (!isNameChar(written)) {
            written = u'-';
            w.same = false;
        }
        w.name += written;
    }
    if (w.name.isEmpty() || !isNameStart(w.name[0])) {
        w.name.prepend(u'_');
        w.same = false;
    }
    return w;
}

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
            case XmlItem::Kind::Comment: {
                // what the code page gives may end the comment early ("\u2010\u2010>"): a blank
                // keeps "--" and ">" apart
                QString value = inCodePage(it.value);
                value.replace(QStringLiteral("-->"), QStringLiteral("-- >"));
                out += indent + QStringLiteral("<!--") + value + QStringLiteral("-->") + kLineEnd;
                break;
            }
            case XmlItem::Kind::CData: {
                QString value = inCodePage(it.value);
                value.replace(QStringLiteral("]]>"), QStringLiteral("]] >"));
                out += indent + QStringLiteral("<![CDATA[") + value + QStringLiteral("]]>") + kLineEnd;
                break;
            }
            case XmlItem::Kind::Text:
                out += indent + escapeSettingsText(it.value) + kLineEnd;
                break;
            case XmlItem::Kind::Doctype:
                // Its brackets, quotes and markup are the reader's to match; one the code page put
                // in place of another character could leave the file unreadable, so a document
                // type that the code page changes is not written.
                if (it.value.contains(QChar(0)) || inCodePage(it.value) != it.value) {
                    break;
                }
                out += indent + QStringLiteral("<!DOCTYPE ") + it.value + QStringLiteral(">") + kLineEnd;
                break;
            case XmlItem::Kind::Instruction: {
                // An instruction whose target the file cannot hold as it is (none, or one the reader
                // would not take as a name) is not written: under another name it would be another
                // instruction. Nor is one named "xml" in any letter case (the reader takes it so
                // when a byte-order mark began it), which would read as a second declaration.
                const WrittenName target = writtenName(it.name);
                if (!target.same || target.name.compare(u"xml", Qt::CaseInsensitive) == 0) {
                    break;
                }
                // A character the code page lacks is written as "?": before a ">" that would end the
                // instruction early, so a blank keeps them apart.
                QString value = inCodePage(it.value);
                value.replace(QStringLiteral("?>"), QStringLiteral("? >"));
                out += indent + QStringLiteral("<?") + target.name +
                       (value.isEmpty() ? QString() : u' ' + value) + QStringLiteral("?>") + kLineEnd;
                break;
            }
        }
    }

private:
    void element(const XmlItem& e, const QString& indent, int depth) {
        const QString name = writtenName(e.name).name;
        QString open = indent + u'<' + name;
        for (const auto& [attribute, value] : e.attributes) {
            open +=
                u' ' + writtenName(attribute).name + QStringLiteral("=\"") + escapeSettingsText(value) + u'"';
        }
        if (e.hasChildren()) {
            out += open + u'>' + kLineEnd;
            for (const XmlItem& child : e.children) {
                item(child, depth + 1);
            }
            out += indent + QStringLiteral("</") + name + u'>' + kLineEnd;
        } else if (e.value.isEmpty()) {
            out += open + QStringLiteral("/>") + kLineEnd;
        } else {
            out += open + u'>' + escapeSettingsText(e.value) + QStringLiteral("</") + name + u'>' + kLineEnd;
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
