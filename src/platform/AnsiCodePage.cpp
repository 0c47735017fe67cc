#include "platform/AnsiCodePage.h"

#include <QHash>

#include <iconv.h>
#include <locale.h>
#include <array>
#include <cerrno>
#include <clocale>
#include <mutex>

namespace vk::ansi {

namespace {

constexpr const char* kCodePage = "WINDOWS-1252";

// An iconv conversion that is closed when it goes out of scope.
class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid()) {
            iconv_close(handle_);
        }
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return handle_; }

private:
    iconv_t handle_;
};

// glibc transliterates only under a UTF-8 LC_CTYPE (under "C", "Ł" would become "?"), so the
// conversions run under a UTF-8 locale of their own, whatever locale the process has.
class Utf8LocaleScope {
public:
    Utf8LocaleScope() {
        static const locale_t utf8 = [] {
            for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
                if (locale_t l = newlocale(LC_CTYPE_MASK, name, locale_t{}); l != locale_t{}) {
                    return l;
                }
            }
            return locale_t{};
        }();
        if (utf8 != locale_t{}) {
            previous_ = uselocale(utf8);
        }
    }
    ~Utf8LocaleScope() {
        if (previous_ != locale_t{}) {
            uselocale(previous_);
        }
    }
    Utf8LocaleScope(const Utf8LocaleScope&) = delete;
    Utf8LocaleScope& operator=(const Utf8LocaleScope&) = delete;

private:
    locale_t previous_{};
};

// Converts one buffer with iconv; returns false when iconv refuses any of it.
bool convertAll(iconv_t cd, const char* in, size_t inLen, QByteArray& out) {
    char buffer[64];
    char* inPtr = const_cast<char*>(in);
    size_t inLeft = inLen;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            return false;
        }
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
    return true;
}

// The code page's table, taken once from iconv: byte -> character, and back.
struct Tables {
    std::array<char16_t, 256> toUnicode{};
    std::array<int, 256> latin1ToByte{};  // characters below 0x100 -> byte, or -1
    QHash<char16_t, char> upperToByte;    // characters from 0x100 up that the code page has

    Tables() {
        latin1ToByte.fill(-1);
        IconvHandle cd("UTF-16LE", kCodePage);
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            QByteArray out;
            char16_t c = static_cast<char16_t>(b);  // undefined bytes keep their number
            if (cd.valid() && convertAll(cd.get(), &byte, 1, out) && out.size() == 2) {
                c = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                          (static_cast<unsigned char>(out[1]) << 8));
            }
            toUnicode[static_cast<size_t>(b)] = c;
            if (c < 0x100) {
                latin1ToByte[c] = b;
            } else {
                upperToByte.insert(c, byte);
            }
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

// The replacement for a character the code page lacks, asked of iconv once and remembered.
QByteArray transliterate(char32_t codePoint) {
    static std::mutex mutex;
    static QHash<char32_t, QByteArray> cache;
    const std::lock_guard lock(mutex);
    if (auto it = cache.constFind(codePoint); it != cache.constEnd()) {
        return *it;
    }
    QByteArray out;
    {
        const Utf8LocaleScope scope;
        IconvHandle cd((QByteArray(kCodePage) + "//TRANSLIT").constData(), "UTF-32LE");
        const char in[4] = {static_cast<char>(codePoint & 0xFF), static_cast<char>((codePoint >> 8) & 0xFF),
                            static_cast<char>((codePoint >> 16) & 0xFF),
                            static_cast<char>((codePoint >> 24) & 0xFF)};
        // one character in, one character out: "Ł" becomes "L", but "ĳ" becomes "?" rather than
        // "ij", so that a text keeps its length and the cut to a column's size counts characters
        if (!cd.valid() || !convertAll(cd.get(), in, sizeof in, out) || out.size() != 1) {
            out = "?";
        }
    }
    cache.insert(codePoint, out);
    return out;
}

}  // namespace

QString decode(QByteArrayView bytes) {
    const auto& t = tables();
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out[i] = QChar(t.toUnicode[static_cast<unsigned char>(bytes[i])]);
    }
    return text;
}

QByteArray encode(QStringView text) {
    const auto& t = tables();
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x100) {
            if (const int b = t.latin1ToByte[c]; b >= 0) {
                bytes.append(static_cast<char>(b));
                continue;
            }
        } else if (auto it = t.upperToByte.constFind(c); it != t.upperToByte.constEnd()) {
            bytes.append(*it);
            continue;
        }
        char32_t codePoint = c;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(c, text[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(c)) {
            bytes.append('?');
            continue;
        }
        bytes.append(transliterate(codePoint));
    }
    return bytes;
}

}  // namespace vk::ansi
