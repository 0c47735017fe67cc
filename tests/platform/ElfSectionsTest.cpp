#include "platform/ElfSections.h"
#include "platform/ProgramSignature.h"
#include "support/ElfHeader.h"
#include "support/ParamName.h"
#include "support/TempFolder.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <optional>

namespace vk {
namespace {

using vk::test::PrintTo;

// A small 64-bit little-endian ELF program: the header, the 16 bytes of the section .vk_signature
// (the name does not matter to the finder; this one is real), the names, and the section table
// (the empty entry, the section, the names). The layout is fixed so that the cases below can
// damage it field by field.
constexpr qint64 kSectionAt = 64;
constexpr qint64 kSectionSize = 16;
constexpr qint64 kNamesAt = kSectionAt + kSectionSize;
const QByteArray kNames = QByteArray("\0", 1) + kSignatureSection + QByteArray("\0.shstrtab\0", 11);
constexpr quint64 kTableAt = 128;
constexpr quint32 kNamesNameOffset = 1 + sizeof(kSignatureSection);
constexpr quint64 kHuge = std::numeric_limits<quint64>::max() - 15;

// Field offsets in the header and in a section's entry.
constexpr int kType = 0x10, kTableOffset = 0x28, kEntrySize = 0x3A, kCount = 0x3C, kNamesIndex = 0x3E;
constexpr int kEntryName = 0, kEntryType = 4, kEntryOffset = 0x18, kEntrySizeField = 0x20;

template <class T>
void put(QByteArray& file, qint64 at, T value) {
    qToLittleEndian<T>(value, reinterpret_cast<uchar*>(file.data()) + at);
}
qint64 entry(int index, int field) {
    return static_cast<qint64>(kTableAt) + 64 * index + field;
}

QByteArray smallProgram() {
    QByteArray file = test::elfHeader(3);  // ET_DYN, as a position-independent program is
    file += QByteArray(kSectionSize, 'S');
    file += kNames;
    file += QByteArray(static_cast<qsizetype>(kTableAt) - file.size(), '\0');
    file += QByteArray(3 * 64, '\0');
    put<quint64>(file, kTableOffset, kTableAt);
    put<quint16>(file, kEntrySize, 64);
    put<quint16>(file, kCount, 3);
    put<quint16>(file, kNamesIndex, 2);
    put<quint32>(file, entry(1, kEntryName), 1);
    put<quint32>(file, entry(1, kEntryType), 1);  // PROGBITS
    put<quint64>(file, entry(1, kEntryOffset), kSectionAt);
    put<quint64>(file, entry(1, kEntrySizeField), kSectionSize);
    put<quint32>(file, entry(2, kEntryName), kNamesNameOffset);
    put<quint32>(file, entry(2, kEntryType), 3);  // STRTAB
    put<quint64>(file, entry(2, kEntryOffset), kNamesAt);
    put<quint64>(file, entry(2, kEntrySizeField), static_cast<quint64>(kNames.size()));
    return file;
}

struct GarbageCase {
    const char* name;
    std::function<void(QByteArray&)> damage;
    bool found;      // the section is found where smallProgram put it
    bool isProgram;  // isElfProgram
};

class ElfSections : public ::testing::TestWithParam<GarbageCase> {
protected:
    vk::test::TempFolder dir;
};

// Whatever a download brings, the finder answers without reading outside the file: a section
// where the file says it is, or nothing.
TEST_P(ElfSections, FindsTheSectionOnlyWhereTheFileHoldsIt) {
    QByteArray bytes = smallProgram();
    GetParam().damage(bytes);
    QFile file(dir.write(QStringLiteral("download"), bytes));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));

    const std::optional<ElfSection> section = findElfSection(file, kSignatureSection);
    if (GetParam().found) {
        ASSERT_TRUE(section.has_value());
        EXPECT_EQ(section->offset, kSectionAt);
        EXPECT_EQ(section->size, kSectionSize);
    } else {
        EXPECT_FALSE(section.has_value()) << "at " << section->offset << ", " << section->size << " bytes";
    }
    EXPECT_EQ(isElfProgram(file), GetParam().isProgram);
}

INSTANTIATE_TEST_SUITE_P(
    Garbage, ElfSections,
    ::testing::Values(
        GarbageCase{"intact", [](QByteArray&) {}, true, true},
        GarbageCase{"empty", [](QByteArray& f) { f.clear(); }, false, false},
        GarbageCase{"html_page",
                    [](QByteArray& f) {
                        f = "<!DOCTYPE html>\n<html><head><title>Not Found</title></head>"
                            "<body><h1>404</h1></body></html>\n";
                    },
                    false, false},
        GarbageCase{"truncated_header", [](QByteArray& f) { f.truncate(63); }, false, false},
        GarbageCase{"elf_32_bits", [](QByteArray& f) { f[4] = 1; }, false, false},
        GarbageCase{"big_endian", [](QByteArray& f) { f[5] = 2; }, false, false},
        GarbageCase{"relocatable_object", [](QByteArray& f) { put<quint16>(f, kType, 1); }, true, false},
        GarbageCase{"section_table_beyond_the_end",
                    [](QByteArray& f) { put<quint64>(f, kTableOffset, static_cast<quint64>(f.size()) + 64); },
                    false, true},
        GarbageCase{"section_table_cut_short", [](QByteArray& f) { f.chop(1); }, false, true},
        GarbageCase{"section_table_offset_wraps", [](QByteArray& f) { put<quint64>(f, kTableOffset, kHuge); },
                    false, true},
        GarbageCase{"section_table_of_4_gib",
                    [](QByteArray& f) {
                        put<quint16>(f, kEntrySize, 0xFFFF);
                        put<quint16>(f, kCount, 0xFFFF);
                    },
                    false, true},
        GarbageCase{"no_sections", [](QByteArray& f) { put<quint16>(f, kCount, 0); }, false, true},
        GarbageCase{"entries_too_small", [](QByteArray& f) { put<quint16>(f, kEntrySize, 40); }, false, true},
        GarbageCase{"names_index_beyond_the_table", [](QByteArray& f) { put<quint16>(f, kNamesIndex, 3); },
                    false, true},
        GarbageCase{"names_of_huge_size",
                    [](QByteArray& f) { put<quint64>(f, entry(2, kEntrySizeField), kHuge); }, false, true},
        GarbageCase{"names_of_2_mib_inside_the_file",
                    [](QByteArray& f) {
                        f += QByteArray(2 << 20, '\0');
                        put<quint64>(f, entry(2, kEntrySizeField), 2 << 20);
                    },
                    false, true},
        GarbageCase{"names_of_2_mib_beyond_the_end",
                    [](QByteArray& f) { put<quint64>(f, entry(2, kEntrySizeField), 2 << 20); }, false, true},
        GarbageCase{"names_offset_wraps",
                    [](QByteArray& f) { put<quint64>(f, entry(2, kEntryOffset), kHuge); }, false, true},
        GarbageCase{"names_without_bytes", [](QByteArray& f) { put<quint32>(f, entry(2, kEntryType), 8); },
                    false, true},
        GarbageCase{"name_offset_beyond_the_names",
                    [](QByteArray& f) { put<quint32>(f, entry(1, kEntryName), 1000); }, false, true},
        GarbageCase{
            "name_without_its_end",
            [](QByteArray& f) { put<quint64>(f, entry(2, kEntrySizeField), 1 + qstrlen(kSignatureSection)); },
            false, true},
        GarbageCase{"section_beyond_the_end",
                    [](QByteArray& f) { put<quint64>(f, entry(1, kEntrySizeField), 1 << 20); }, false, true},
        GarbageCase{"section_offset_wraps",
                    [](QByteArray& f) { put<quint64>(f, entry(1, kEntryOffset), kHuge); }, false, true},
        GarbageCase{"section_without_bytes", [](QByteArray& f) { put<quint32>(f, entry(1, kEntryType), 8); },
                    false, true}),
    vk::test::ParamName());

}  // namespace
}  // namespace vk
