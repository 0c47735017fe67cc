#include "platform/ProgramSignature.h"

#include "platform/ElfSections.h"
#include "platform/Errors.h"

#include <QFile>

#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>

namespace vk {

namespace {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

// OpenSSL's error queue belongs to the thread; libcurl reads it for its own transfers, so that a
// refused key or signature must leave nothing behind there.
struct ClearOpenSslErrors {
    ~ClearOpenSslErrors() { ERR_clear_error(); }
};

bool allZero(QByteArrayView bytes) {
    for (const char c : bytes) {
        if (c != 0) {
            return false;
        }
    }
    return true;
}

bool verifies(const QByteArray& signature, const QByteArray& message, const QByteArray& publicKey) {
    const ClearOpenSslErrors clearErrors;
    const Pkey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                               reinterpret_cast<const unsigned char*>(publicKey.constData()),
                                               static_cast<size_t>(publicKey.size())));
    if (!key) {
        return false;  // not a point on the curve
    }
    const MdCtx context(EVP_MD_CTX_new());
    if (!context) {
        throw Error(
            QStringLiteral("De handtekening van een programma kan niet gecontroleerd worden: OpenSSL heeft "
                           "geen geheugen meer."));
    }
    // Ed25519 hashes the message itself: no digest is named, and the message goes in at once.
    if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
        return false;
    }
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                            static_cast<size_t>(signature.size()),
                            reinterpret_cast<const unsigned char*>(message.constData()),
                            static_cast<size_t>(message.size())) == 1;
}

}  // namespace

std::optional<QByteArray> releaseKeyOf(const QString& programFile) {
    QFile file(programFile);
    if (!file.open(QIODevice::ReadOnly) || !isElfProgram(file)) {
        return std::nullopt;
    }
    std::optional<QByteArray> key = readElfSection(file, kReleaseKeySection, kReleaseKeySize);
    if (!key || allZero(*key)) {
        return std::nullopt;
    }
    return key;
}

SignatureCheck checkProgramSignature(const QString& programFile, const QByteArray& publicKey) {
    QFile file(programFile);
    if (!file.open(QIODevice::ReadOnly)) {
        return SignatureCheck::Invalid;
    }
    if (!isElfProgram(file)) {
        return SignatureCheck::NotAProgram;
    }
    const std::optional<ElfSection> section = findElfSection(file, kSignatureSection);
    if (!section || section->size != kSignatureSize) {
        return SignatureCheck::NotAProgram;
    }
    const qint64 fileSize = file.size();
    if (!file.seek(0)) {
        return SignatureCheck::Invalid;
    }
    QByteArray content = file.readAll();
    if (content.size() != fileSize) {
        return SignatureCheck::Invalid;
    }
    const QByteArray signature = content.mid(section->offset, kSignatureSize);
    if (allZero(signature)) {
        return SignatureCheck::Unsigned;
    }
    // A build without a release key carries zeros; such a key must not let any file through (with
    // a key of small order a forged signature could verify).
    if (publicKey.size() != kReleaseKeySize || allZero(publicKey)) {
        return SignatureCheck::Invalid;
    }
    content.replace(section->offset, kSignatureSize, QByteArray(kSignatureSize, '\0'));
    return verifies(signature, content, publicKey) ? SignatureCheck::Valid : SignatureCheck::Invalid;
}

}  // namespace vk
