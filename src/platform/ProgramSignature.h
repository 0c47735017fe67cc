#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vk {

// A program file carries its own Ed25519 signature, as a signed Windows program does, in a
// section of its own: 64 bytes, zero until scripts/sign.sh signs the file. The signature is over
// the whole file with those 64 bytes zero, so that signing changes nothing it covers.
inline constexpr char kSignatureSection[] = ".vk_signature";
// The raw 32-byte Ed25519 public key of the releases that may replace this program: the build puts
// it in (CMake cache variable VK_RELEASE_PUBLIC_KEY); all zeros when the build had none.
inline constexpr char kReleaseKeySection[] = ".vk_release_key";

inline constexpr qsizetype kSignatureSize = 64;
inline constexpr qsizetype kReleaseKeySize = 32;

// The release key a program file carries; nothing when it has none or an all-zero one (a build
// without a release key).
std::optional<QByteArray> releaseKeyOf(const QString& programFile);

enum class SignatureCheck {
    Valid,        // signed with the key asked about
    NotAProgram,  // not an ELF program, or one without a signature section of the right size
    Unsigned,     // the signature section is all zeros
    Invalid,      // does not verify with the key (or the file cannot be read whole)
};

// Whether programFile carries a signature that verifies with publicKey (32 raw bytes). An all-zero
// or malformed key verifies nothing.
SignatureCheck checkProgramSignature(const QString& programFile, const QByteArray& publicKey);

}  // namespace vk
