#include "platform/AnsiCodePage.h"
#include "settings/SettingsXml.h"

#include <pugixml.hpp>

#include <QStringDecoder>

namespace vk {

QString decodeSettingsBytes(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    }
    if (bytes.startsWith("\xFF\xFE")) {
        const QByteArrayView body = QByteArrayView(bytes).sliced(2);
        QStringDecoder decoder(QStringConverter::Utf16LE,
                               QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        return decoder(body);
    }
    return ansi::decode(bytes);
}

namespace {

// A numeric reference starting at text[i] == '&' with text[i+1] == '#': its code and length, or
// a code of 0 when it is not a valid one.
std::pair<char32_t, qsizetype> numericReference(QStringView text, qsizetype i) {
    qsizetype j = i + 2;
    const bool hex = j < text.size() && (text[j] == u'x' || text[j] == u'X');
    if (hex) {
        ++j;
    }
    const qsizetype digitsStart = j;
    std::uint64_t code = 0;
    for (; j < text.size(); ++j) {
        const char16_t c = text[j].unicode();
        int d;
        if (c >= u'0' && c <= u'9') {
            d = c - u'0';
        } else if (hex && c >= u'a' && c <= u'f') {
            d = c - u'a' + 10;
        } else if (hex && c >= u'A' && c <= u'F') {
            d = c - u'A' + 10;
        } else {
            break;
        }
        code = code * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
        if (code > 0x10FFFF) {
            return {0, 0};
        }
    }
    if (j == digitsStart || j >= text.size() || text[j] != u';' || code == 0) {
        return {0, 0};
    }
    return {static_cast<char32_t>(code), j + 1 - i};
}

std::pair<QChar, qsizetype> namedReference(QStringView text, qsizetype i) {
    static constexpr std::pair<QStringView, char16_t> kNames[] = {
        {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&apos;", u'\''}};
    for (const auto& [name, c] : kNames) {
        if (text.sliced(i).startsWith(name, Qt::CaseInsensitive)) {
            return {QChar(c), name.size()};
        }
    }
    return {QChar(), 0};
}

}  // namespace

QString decodeReferences(QStringView raw) {
    if (!raw.contains(u'&')) {
        return raw.toString();
    }
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size();) {
        if (raw[i] != u'&') {
            out.append(raw[i++]);
            continue;
        }
        if (i + 1 < raw.size() && raw[i + 1] == u'#') {
            if (const auto [code, length] = numericReference(raw, i); length > 0) {
                // a code beyond FFFF becomes its surrogate pair; two references that form a
                // pair append its two halves, which is the one character
                if (code > 0xFFFF) {
                    out.append(QChar::highSurrogate(code));
                    out.append(QChar::lowSurrogate(code));
                } else {
                    out.append(QChar(static_cast<char16_t>(code)));
                }
                i += length;
                continue;
            }
        } else if (const auto [c, length] = namedReference(raw, i); length > 0) {
            out.append(c);
            i += length;
            continue;
        }
        out.append(raw[i++]);
    }
    return out;
}

namespace {

// What the parser found wrong, in the words of the link's log.
QString parseStatusText(pugi::xml_parse_status status) {
    struct Entry {
        pugi::xml_parse_status status;
        const char16_t* text;
    };
    static constexpr Entry kTexts[] = {
        {pugi::status_file_not_found, u"bestand niet gevonden"},
        {pugi::status_io_error, u"leesfout"},
        {pugi::status_out_of_memory, u"onvoldoende geheugen"},
        {pugi::status_internal_error, u"interne fout van de lezer"},
        {pugi::status_unrecognized_tag, u"onbekende tag"},
        {pugi::status_bad_pi, u"fout in een verwerkingsinstructie of de XML-declaratie"},
        {pugi::status_bad_comment, u"fout in commentaar"},
        {pugi::status_bad_cdata, u"fout in een CDATA-blok"},
        {pugi::status_bad_doctype, u"fout in de documenttypedeclaratie"},
        {pugi::status_bad_pcdata, u"fout in tekst"},
        {pugi::status_bad_start_element, u"fout in een begintag"},
        {pugi::status_bad_attribute, u"fout in een attribuut"},
        {pugi::status_bad_end_element, u"fout in een eindtag"},
        {pugi::status_end_element_mismatch, u"eindtag past niet bij de begintag"},
        {pugi::status_append_invalid_root, u"ongeldig hoofdelement"},
        {pugi::status_no_document_element, u"geen hoofdelement gevonden"},
    };
    for (const Entry& e : kTexts) {
        if (e.status == status) {
            return QString::fromUtf16(e.text);
        }
    }
    return QStringLiteral("onbekende fout");
}

bool onlyWhiteSpace(const QString& text) {
    for (const QChar c : text) {
        if (c != u' ' && (c.unicode() < 9 || c.unicode() > 13)) {
            return false;
        }
    }
    return true;
}

QString fromPugi(const pugi::char_t* s) {
    return QString::fromUtf8(s);
}

class Converter {
public:
    bool convertElement(const pugi::xml_node& node, XmlItem& item, int depth) {
        if (depth > kMaxSettingsDepth) {
            error = QStringLiteral("elementen dieper genest dan %1 niveaus").arg(kMaxSettingsDepth);
            errorNode = node;
            return false;
        }
        item = XmlItem::element(fromPugi(node.name()));
        for (const pugi::xml_attribute& a : node.attributes()) {
            item.attributes.emplace_back(fromPugi(a.name()), decodeReferences(fromPugi(a.value())));
        }
        const pugi::xml_node first = node.first_child();
        if (first && !first.next_sibling() && first.type() == pugi::node_pcdata) {
            // a single piece of text is the value; one of only white space (characters 9 to 13 and
            // the space: the parser itself passes over only some of them) makes it empty
            const QString text = fromPugi(first.value());
            if (!onlyWhiteSpace(text)) {
                item.value = decodeReferences(text);
            }
            return true;
        }
        for (const pugi::xml_node& child : node.children()) {
            switch (child.type()) {
                case pugi::node_element: {
                    item.children.emplace_back();
                    if (!convertElement(child, item.children.back(), depth + 1)) {
                        return false;
                    }
                    break;
                }
                case pugi::node_comment:
                    item.children.push_back({XmlItem::Kind::Comment, {}, fromPugi(child.value()), {}, {}});
                    break;
                case pugi::node_cdata:
                    item.children.push_back({XmlItem::Kind::CData, {}, fromPugi(child.value()), {}, {}});
                    break;
                case pugi::node_pcdata:
                    // text among child elements, without the line breaks and indentation around it
                    item.children.push_back({XmlItem::Kind::Text,
                                             {},
                                             decodeReferences(fromPugi(child.value()).trimmed()),
                                             {},
                                             {}});
                    break;
                default:
                    break;
            }
        }
        return true;
    }

    QString error;
    pugi::xml_node errorNode;
};

// Line and column (1-based) of a character offset.
std::pair<int, int> lineAndColumn(const QString& text, qsizetype offset) {
    int line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == u'\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    return {line, static_cast<int>(offset - lineStart + 1)};
}

// pugixml reports byte offsets into the UTF-8 buffer; the report speaks of characters.
qsizetype characterOffset(const QByteArray& utf8, std::ptrdiff_t byteOffset) {
    const qsizetype end = std::clamp<qsizetype>(byteOffset, 0, utf8.size());
    return QString::fromUtf8(QByteArrayView(utf8).first(end)).size();
}

SettingsParseResult failure(const QString& text, qsizetype offset, const QString& description) {
    SettingsParseResult r;
    r.ok = false;
    r.description = description;
    r.offset = offset;
    std::tie(r.line, r.column) = lineAndColumn(text, offset);
    return r;
}

}  // namespace

SettingsParseResult parseSettingsText(const QString& text, SettingsDocument& document) {
    const QByteArray utf8 = text.toUtf8();
    pugi::xml_document xml;
    // Raw values: references are decoded by our own rules, line breaks and white space in
    // attributes stay as written. As a fragment, text outside the root is kept, to be refused.
    constexpr unsigned flags = pugi::parse_pi | pugi::parse_comments | pugi::parse_cdata |
                               pugi::parse_declaration | pugi::parse_doctype | pugi::parse_fragment;
    const pugi::xml_parse_result parsed =
        xml.load_buffer(utf8.constData(), static_cast<size_t>(utf8.size()), flags, pugi::encoding_utf8);
    if (!parsed) {
        return failure(text, characterOffset(utf8, parsed.offset), parseStatusText(parsed.status));
    }

    SettingsDocument result;
    result.declaration.reset();
    bool haveRoot = false;
    Converter converter;
    for (const pugi::xml_node& node : xml.children()) {
        const auto offsetOf = [&](const pugi::xml_node& n) {
            return characterOffset(utf8, n.offset_debug());
        };
        switch (node.type()) {
            case pugi::node_declaration: {
                XmlDeclaration d;
                d.version = fromPugi(node.attribute("version").value());
                if (const pugi::xml_attribute enc = node.attribute("encoding")) {
                    d.encoding = fromPugi(enc.value());
                }
                d.standaloneYes = QString::fromUtf8(node.attribute("standalone").value()) == u"yes";
                result.declaration = d;
                break;
            }
            case pugi::node_comment:
                if (!haveRoot) {
                    result.prolog.push_back({XmlItem::Kind::Comment, {}, fromPugi(node.value()), {}, {}});
                }
                break;
            case pugi::node_doctype:
                if (!haveRoot) {
                    result.prolog.push_back({XmlItem::Kind::Doctype, {}, fromPugi(node.value()), {}, {}});
                }
                break;
            case pugi::node_pi:
                if (!haveRoot) {
                    result.prolog.push_back(
                        {XmlItem::Kind::Instruction, fromPugi(node.name()), fromPugi(node.value()), {}, {}});
                }
                break;
            case pugi::node_element:
                if (haveRoot) {
                    return failure(text, offsetOf(node),
                                   QStringLiteral("meer dan \u00e9\u00e9n hoofdelement"));
                }
                if (!converter.convertElement(node, result.root, 1)) {
                    return failure(text, offsetOf(converter.errorNode), converter.error);
                }
                haveRoot = true;
                break;
            default:
                return failure(text, offsetOf(node), QStringLiteral("tekst buiten het hoofdelement"));
        }
    }
    if (!haveRoot) {
        return failure(text, text.size(), QStringLiteral("geen hoofdelement gevonden"));
    }
    document = std::move(result);
    return {};
}

}  // namespace vk
