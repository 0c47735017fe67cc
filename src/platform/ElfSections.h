#pragma once

#include <QByteArray>
#include <QIODevice>

#include <optional>

namespace vk {

// Where a section's bytes lie in a program file.
struct ElfSection {
    qint64 offset = 0;
    qint64 size = 0;
};

// The bytes of the section called name in a 64-bit little-endian ELF file (the program files the
// build makes). The file may be anything a download brought: an HTML page, a cut-off program, one
// whose tables point past its end. Each of those gives nothing, as does a section that holds no
// bytes in the file (SHT_NOBITS) or that reaches past the end; nothing is read beyond what the
// file holds. The device must be open for reading and seekable; its position is left anywhere.
std::optional<ElfSection> findElfSection(QIODevice& file, const char* name);

// The bytes of the section called name when findElfSection finds it with exactly size bytes;
// nothing otherwise (also when the file cannot be read that far).
std::optional<QByteArray> readElfSection(QIODevice& file, const char* name, qint64 size);

// The section called name as the file's section table lists it, whether or not its bytes are in
// the file: for telling a record that runs past the file's end from a missing one. Only
// findElfSection's answer may be read.
std::optional<ElfSection> listedElfSection(QIODevice& file, const char* name);

// Whether the file starts as a 64-bit little-endian ELF program (an executable or a
// position-independent one), which is what the build makes.
bool isElfProgram(QIODevice& file);

}  // namespace vk
