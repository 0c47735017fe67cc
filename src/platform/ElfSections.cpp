#include "platform/ElfSections.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QtEndian>

#include <cstring>
#include <limits>

namespace vk {

namespace {

constexpr qint64 kHeaderSize = 64;
constexpr quint16 kSectionEntrySize = 64;  // the smallest entry that holds the fields read here
constexpr quint32 kNoBits = 8;             // SHT_NOBITS: a section without bytes in the file
// The names of a program's sections take a few hundred bytes; a larger claim is a damaged file,
// and reading it would only cost memory.
constexpr quint64 kMaxNamesSize = 1 << 20;

// Whether offset..offset+size lies inside a file of fileSize bytes; written so that no sum of
// values read from the file can overflow.
bool inside(quint64 offset, quint64 size, qint64 fileSize) {
    const auto end = static_cast<quint64>(fileSize);
    return offset <= end && size <= end - offset;
}

// Exactly size bytes at offset, or nothing. The bounds are checked against the file's size
// before anything is allocated.
std::optional<QByteArray> readAt(QIODevice& file, quint64 offset, quint64 size) {
    if (!inside(offset, size, file.size()) || !file.seek(static_cast<qint64>(offset))) {
        return std::nullopt;
    }
    QByteArray bytes = file.read(static_cast<qint64>(size));
    if (bytes.size() != static_cast<qsizetype>(size)) {
        return std::nullopt;
    }
    return bytes;
}

const uchar* bytesOf(const QByteArray& b) {
    return reinterpret_cast<const uchar*>(b.constData());
}

// The file's ELF header when it is a 64-bit little-endian one.
std::optional<QByteArray> elfHeader(QIODevice& file) {
    if (!file.isReadable() || file.isSequential()) {
        return std::nullopt;
    }
    std::optional<QByteArray> header = readAt(file, 0, kHeaderSize);
    if (!header ||
        !header->startsWith("\x7F"
                            "ELF") ||
        header->at(4) != 2 || header->at(5) != 1) {
        return std::nullopt;
    }
    return header;
}

struct SectionEntry {
    quint32 nameOffset = 0;
    quint32 type = 0;
    quint64 offset = 0;
    quint64 size = 0;
};

// The entry of the section called name in the file's section table, as the table states it.
std::optional<SectionEntry> findEntry(QIODevice& file, const char* name) {
    const std::optional<QByteArray> header = elfHeader(file);
    if (!header) {
        return std::nullopt;
    }
    const uchar* h = bytesOf(*header);
    const auto tableOffset = qFromLittleEndian<quint64>(h + 0x28);
    const auto entrySize = qFromLittleEndian<quint16>(h + 0x3A);
    const auto count = qFromLittleEndian<quint16>(h + 0x3C);
    const auto namesIndex = qFromLittleEndian<quint16>(h + 0x3E);
    if (entrySize < kSectionEntrySize || count == 0 || namesIndex >= count) {
        return std::nullopt;
    }
    const std::optional<QByteArray> table = readAt(file, tableOffset, quint64{entrySize} * count);
    if (!table) {
        return std::nullopt;
    }
    const auto entryAt = [&](int i) {
        const uchar* s = bytesOf(*table) + qsizetype{entrySize} * i;
        return SectionEntry{qFromLittleEndian<quint32>(s), qFromLittleEndian<quint32>(s + 4),
                            qFromLittleEndian<quint64>(s + 0x18), qFromLittleEndian<quint64>(s + 0x20)};
    };
    const SectionEntry names = entryAt(namesIndex);
    if (names.type == kNoBits || names.size == 0 || names.size > kMaxNamesSize) {
        return std::nullopt;
    }
    const std::optional<QByteArray> nameBytes = readAt(file, names.offset, names.size);
    if (!nameBytes) {
        return std::nullopt;
    }
    const QByteArrayView wanted(name);
    for (int i = 0; i < count; ++i) {
        const SectionEntry entry = entryAt(i);
        if (entry.nameOffset >= static_cast<quint64>(nameBytes->size())) {
            continue;
        }
        // A name ends at a zero byte inside the names section; one that runs to its end is no name.
        const char* start = nameBytes->constData() + entry.nameOffset;
        const void* zero =
            std::memchr(start, '\0', static_cast<size_t>(nameBytes->size() - entry.nameOffset));
        if (zero && QByteArrayView(start, static_cast<const char*>(zero)) == wanted) {
            return entry;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<ElfSection> findElfSection(QIODevice& file, const char* name) {
    const std::optional<SectionEntry> entry = findEntry(file, name);
    if (!entry || entry->type == kNoBits || !inside(entry->offset, entry->size, file.size())) {
        return std::nullopt;
    }
    return ElfSection{static_cast<qint64>(entry->offset), static_cast<qint64>(entry->size)};
}

std::optional<QByteArray> readElfSection(QIODevice& file, const char* name, qint64 size) {
    const std::optional<ElfSection> section = findElfSection(file, name);
    if (!section || section->size != size || !file.seek(section->offset)) {
        return std::nullopt;
    }
    QByteArray bytes = file.read(size);
    if (bytes.size() != size) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<ElfSection> listedElfSection(QIODevice& file, const char* name) {
    const std::optional<SectionEntry> entry = findEntry(file, name);
    constexpr auto kLargest = static_cast<quint64>(std::numeric_limits<qint64>::max());
    if (!entry || entry->offset > kLargest || entry->size > kLargest) {
        return std::nullopt;
    }
    return ElfSection{static_cast<qint64>(entry->offset), static_cast<qint64>(entry->size)};
}

bool isElfProgram(QIODevice& file) {
    const std::optional<QByteArray> header = elfHeader(file);
    if (!header) {
        return false;
    }
    const auto type = qFromLittleEndian<quint16>(bytesOf(*header) + 0x10);
    return type == 2 || type == 3;  // ET_EXEC, ET_DYN
}

}  // namespace vk
