#pragma once

#include <QByteArray>
#include <QtEndian>

namespace vk::test {

// The 64-byte header of a 64-bit little-endian ELF file of the given type (3, ET_DYN, is what a
// position-independent program is; 0 is no type at all), with no section table yet: the tests
// that build small ELF files fill in the table's fields themselves.
inline QByteArray elfHeader(quint16 type) {
    QByteArray header(64, '\0');
    header.replace(0, 4,
                   "\x7F"
                   "ELF");
    header[4] = 2;  // 64 bits
    header[5] = 1;  // little-endian
    header[6] = 1;  // the current version
    qToLittleEndian<quint16>(type, reinterpret_cast<uchar*>(header.data()) + 0x10);
    return header;
}

}  // namespace vk::test
