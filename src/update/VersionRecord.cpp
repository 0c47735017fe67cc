#include "update/VersionRecord.h"

#include <QtEndian>

namespace vk {

namespace {

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;

qsizetype align4(qsizetype offset) {
    return (offset + 3) & ~qsizetype{3};
}

// One node of the record, read in place.
struct Node {
    qsizetype start = 0;
    qsizetype end = 0;  // start + wLength
    std::uint16_t valueLength = 0;
    std::uint16_t type = 0;
    QString key;
    qsizetype valueStart = 0;
    qsizetype valueBytes = 0;
    qsizetype childrenStart = 0;
};

std::optional<Node> readNode(const QByteArray& b, qsizetype at, qsizetype limit) {
    if (at + 6 > limit) {
        return std::nullopt;
    }
    const auto* p = reinterpret_cast<const uchar*>(b.constData());
    Node n;
    n.start = at;
    const std::uint16_t length = qFromLittleEndian<std::uint16_t>(p + at);
    n.valueLength = qFromLittleEndian<std::uint16_t>(p + at + 2);
    n.type = qFromLittleEndian<std::uint16_t>(p + at + 4);
    n.end = at + length;
    if (length < 6 || n.end > limit) {
        return std::nullopt;
    }
    qsizetype pos = at + 6;
    while (pos + 2 <= n.end) {
        const char16_t c = qFromLittleEndian<std::uint16_t>(p + pos);
        pos += 2;
        if (c == 0) {
            break;
        }
        n.key.append(QChar(c));
    }
    n.valueStart = align4(pos);
    // a text value counts 16-bit units, a binary one bytes
    n.valueBytes = n.type == 1 ? qsizetype{n.valueLength} * 2 : qsizetype{n.valueLength};
    if (n.valueStart + n.valueBytes > n.end) {
        n.valueBytes = std::max<qsizetype>(0, n.end - n.valueStart);
    }
    n.childrenStart = align4(n.valueStart + n.valueBytes);
    return n;
}

std::optional<Node> child(const QByteArray& b, const Node& parent, const QString& key) {
    for (qsizetype at = parent.childrenStart; at < parent.end;) {
        const std::optional<Node> n = readNode(b, at, parent.end);
        if (!n) {
            return std::nullopt;
        }
        if (n->key.compare(key, Qt::CaseInsensitive) == 0) {
            return n;
        }
        at = align4(n->end);
    }
    return std::nullopt;
}

std::optional<Node> root(const QByteArray& b) {
    std::optional<Node> r = readNode(b, 0, b.size());
    if (!r || r->key != u"VS_VERSION_INFO") {
        return std::nullopt;
    }
    return r;
}

// Appends one node and returns where it starts, so that its length can be filled in at the end.
class Writer {
public:
    qsizetype begin(const QString& key, std::uint16_t valueLength, std::uint16_t type) {
        pad();
        const qsizetype start = bytes_.size();
        word(0);
        word(valueLength);
        word(type);
        for (QChar c : key) {
            word(c.unicode());
        }
        word(0);
        pad();
        return start;
    }
    void end(qsizetype start) {
        qToLittleEndian<std::uint16_t>(static_cast<std::uint16_t>(bytes_.size() - start),
                                       reinterpret_cast<uchar*>(bytes_.data()) + start);
    }
    void word(std::uint16_t w) {
        uchar le[2];
        qToLittleEndian(w, le);
        bytes_.append(reinterpret_cast<const char*>(le), 2);
    }
    void dword(std::uint32_t d) {
        uchar le[4];
        qToLittleEndian(d, le);
        bytes_.append(reinterpret_cast<const char*>(le), 4);
    }
    void pad() {
        while (bytes_.size() % 4 != 0) {
            bytes_.append('\0');
        }
    }
    QByteArray bytes_;
};

}  // namespace

std::optional<FixedFileInfo> VersionRecord::fixedPart() const {
    const std::optional<Node> r = root(bytes_);
    if (!r || r->valueBytes < 52) {
        return std::nullopt;
    }
    const auto* p = reinterpret_cast<const uchar*>(bytes_.constData()) + r->valueStart;
    const auto field = [p](int i) { return qFromLittleEndian<std::uint32_t>(p + 4 * i); };
    if (field(0) != kFixedSignature) {
        return std::nullopt;
    }
    return FixedFileInfo{field(2), field(3), field(4), field(5), field(6),
                         field(7), field(8), field(9), field(10)};
}

std::optional<QList<std::pair<std::uint16_t, std::uint16_t>>> VersionRecord::translations() const {
    const std::optional<Node> r = root(bytes_);
    if (!r) {
        return std::nullopt;
    }
    const std::optional<Node> var = child(bytes_, *r, QStringLiteral("VarFileInfo"));
    const std::optional<Node> translation =
        var ? child(bytes_, *var, QStringLiteral("Translation")) : std::nullopt;
    if (!translation || translation->valueBytes < 4) {
        return std::nullopt;
    }
    QList<std::pair<std::uint16_t, std::uint16_t>> pairs;
    const auto* p = reinterpret_cast<const uchar*>(bytes_.constData()) + translation->valueStart;
    for (qsizetype i = 0; i + 4 <= translation->valueBytes; i += 4) {
        pairs.append({qFromLittleEndian<std::uint16_t>(p + i), qFromLittleEndian<std::uint16_t>(p + i + 2)});
    }
    return pairs;
}

std::optional<QString> VersionRecord::string(const QString& translationKey, const QString& name) const {
    const std::optional<Node> r = root(bytes_);
    const std::optional<Node> info = r ? child(bytes_, *r, QStringLiteral("StringFileInfo")) : std::nullopt;
    const std::optional<Node> table = info ? child(bytes_, *info, translationKey) : std::nullopt;
    const std::optional<Node> entry = table ? child(bytes_, *table, name) : std::nullopt;
    if (!entry) {
        return std::nullopt;
    }
    QString value;
    const auto* p = reinterpret_cast<const uchar*>(bytes_.constData()) + entry->valueStart;
    for (qsizetype i = 0; i + 2 <= entry->valueBytes; i += 2) {
        const char16_t c = qFromLittleEndian<std::uint16_t>(p + i);
        if (c == 0) {
            break;
        }
        value.append(QChar(c));
    }
    return value;
}

QByteArray buildVersionRecord(const VersionRecordContent& content) {
    Writer w;
    const qsizetype root = w.begin(QStringLiteral("VS_VERSION_INFO"), content.withFixedPart ? 52 : 0, 0);
    if (content.withFixedPart) {
        const FixedFileInfo& f = content.fixed;
        for (std::uint32_t d : {kFixedSignature, std::uint32_t{0x00010000}, f.fileVersionMS, f.fileVersionLS,
                                f.productVersionMS, f.productVersionLS, f.fileFlagsMask, f.fileFlags,
                                f.fileOS, f.fileType, f.fileSubtype, std::uint32_t{0}, std::uint32_t{0}}) {
            w.dword(d);
        }
    }
    if (!content.strings.isEmpty()) {
        const qsizetype info = w.begin(QStringLiteral("StringFileInfo"), 0, 1);
        const qsizetype table = w.begin(content.translationKey, 0, 1);
        for (const auto& [name, value] : content.strings) {
            const qsizetype entry = w.begin(name, static_cast<std::uint16_t>(value.size() + 1), 1);
            for (QChar c : value) {
                w.word(c.unicode());
            }
            w.word(0);
            w.end(entry);
        }
        w.end(table);
        w.end(info);
    }
    if (!content.translations.isEmpty()) {
        const qsizetype var = w.begin(QStringLiteral("VarFileInfo"), 0, 1);
        const qsizetype translation = w.begin(QStringLiteral("Translation"),
                                              static_cast<std::uint16_t>(content.translations.size() * 4), 0);
        for (const auto& [language, codePage] : content.translations) {
            w.word(language);
            w.word(codePage);
        }
        w.end(translation);
        w.end(var);
    }
    w.end(root);
    return w.bytes_;
}

}  // namespace vk
