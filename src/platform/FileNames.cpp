#include "platform/FileNames.h"

#include <dirent.h>
#include <unistd.h>
#include <cstring>

namespace vk {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(QChar c) {
    return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF;
}

// The length of a valid UTF-8 sequence at p (0 when there is none), and its code point.
int validSequence(const unsigned char* p, qsizetype left, char32_t& cp) {
    const unsigned char b = p[0];
    int length = 0;
    char32_t min = 0;
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        cp = b & 0x1F;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        cp = b & 0x0F;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        cp = b & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < length) {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return length;
}

}  // namespace

QString decodeFileName(const QByteArray& bytes) {
    QString name;
    name.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const int length = validSequence(p + i, bytes.size() - i, cp);
        if (length == 0) {
            name.append(QChar(static_cast<char16_t>(kEscapeBase + p[i])));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            const char32_t both[1] = {cp};
            name.append(QString::fromUcs4(both, 1));
        } else {
            name.append(QChar(static_cast<char16_t>(cp)));
        }
        i += length;
    }
    return name;
}

QByteArray encodeFileName(const QString& name) {
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        // a low surrogate after a high one is half of a real character
        const bool lone = i == 0 || !name.at(i - 1).isHighSurrogate();
        if (isEscape(name.at(i)) && lone) {
            bytes += QStringView(name).mid(start, i - start).toUtf8();
            bytes += static_cast<char>(name.at(i).unicode() - kEscapeBase);
            start = i + 1;
        }
    }
    bytes += QStringView(name).mid(start).toUtf8();
    return bytes;
}

QString readableFileName(QString name) {
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscape(name.at(i)) && (i == 0 || !name.at(i - 1).isHighSurrogate())) {
            name[i] = QChar::ReplacementCharacter;
        }
    }
    return name;
}

bool fileExists(const QString& path) {
    return ::access(encodeFileName(path).constData(), F_OK) == 0;
}

struct FolderListing::Handle {
    DIR* dir = nullptr;
    ~Handle() {
        if (dir != nullptr) {
            ::closedir(dir);
        }
    }
};

FolderListing::FolderListing(const QString& folder) : handle_(std::make_unique<Handle>()) {
    handle_->dir = ::opendir(encodeFileName(folder).constData());
}

FolderListing::~FolderListing() = default;

std::optional<QString> FolderListing::next() {
    if (handle_->dir == nullptr) {
        return std::nullopt;
    }
    while (const dirent* entry = ::readdir(handle_->dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        return decodeFileName(QByteArray(entry->d_name));
    }
    return std::nullopt;
}

}  // namespace vk
