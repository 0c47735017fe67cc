#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vk::test {

// Release keys, versions and signatures for copies of the built program file, made with the
// tools a release is made with (openssl, objcopy, scripts/sign.sh, vk_version_record). Each throws
// std::runtime_error with the tool's own message when a tool is missing or fails, so that a test
// that needs one fails loudly instead of passing without it.

struct TestKeyPair {
    QString privateKeyPem;  // the private key's file (PEM)
    QByteArray publicKey;   // the raw 32-byte Ed25519 public key
};

// A new Ed25519 key pair; the private key goes to folder/name.pem.
TestKeyPair makeTestKeyPair(const QString& folder, const QString& name);

// Puts publicKey (32 bytes; zeros for "no release key") into the program file's release key.
void setReleaseKey(const QString& programFile, const QByteArray& publicKey);

// Gives the program file the version record of version; the new record must be as large as the
// old one (1.0.0.0 and 1.0.0.1 are), so that nothing else in the file moves.
void setProgramVersion(const QString& programFile, const QString& version);

// The record vk_version_record makes for version, as it lies in a program file.
QByteArray versionRecordOf(const QString& version);

// Any other change objcopy makes to the program file in place (the arguments before the file's).
void runObjcopy(const QStringList& arguments, const QString& programFile);

// Signs the program file in place with scripts/sign.sh.
void signProgram(const QString& privateKeyPem, const QString& programFile);

// Whether openssl itself accepts signature (64 bytes) over the bytes of messageFile for publicKey
// (32 raw bytes): a judge of signatures independent of the program's own check.
bool opensslAccepts(const QByteArray& publicKey, const QByteArray& signature, const QString& messageFile);

}  // namespace vk::test
