#include "support/ReleaseKit.h"

#include "platform/ElfSections.h"
#include "platform/ProgramSignature.h"
#include "platform/VersionResource.h"

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <stdexcept>
#include <string>

namespace vk::test {

namespace {

// A tool run to its end, however long it takes.
struct ToolRun {
    std::string command;
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

// Throws only when the tool cannot be started (it is missing) or crashes.
ToolRun start(const QString& program, const QStringList& arguments) {
    ToolRun result;
    result.command = (QStringList(program) + arguments).join(u' ').toStdString();
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(-1)) {
        throw std::runtime_error("cannot start " + result.command + ": " +
                                 process.errorString().toStdString());
    }
    process.closeWriteChannel();
    process.waitForFinished(-1);
    result.output = process.readAllStandardOutput();
    result.errors = process.readAllStandardError();
    if (process.exitStatus() != QProcess::NormalExit) {
        throw std::runtime_error(result.command + " crashed: " + result.errors.toStdString());
    }
    result.exitCode = process.exitCode();
    return result;
}

// Its standard output; anything but a clean exit throws with what it said on standard error.
QByteArray run(const QString& program, const QStringList& arguments) {
    const ToolRun r = start(program, arguments);
    if (r.exitCode != 0) {
        throw std::runtime_error(r.command + " failed (exit code " + std::to_string(r.exitCode) +
                                 "): " + r.errors.toStdString());
    }
    return r.output;
}

// The fixed start of an Ed25519 public key in DER, before its 32 raw bytes.
const QByteArray kPublicKeyDerHeader = QByteArray::fromHex("302a300506032b6570032100");

QTemporaryDir scratch() {
    QTemporaryDir dir;
    if (!dir.isValid()) {
        throw std::runtime_error("cannot make a temporary folder: " + dir.errorString().toStdString());
    }
    return dir;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
        !file.flush()) {
        throw std::runtime_error("cannot write " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
    }
}

qint64 sectionSize(const QString& programFile, const char* name) {
    QFile file(programFile);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot read " + programFile.toStdString());
    }
    const std::optional<ElfSection> section = findElfSection(file, name);
    if (!section) {
        throw std::runtime_error(programFile.toStdString() + " has no section " + name);
    }
    return section->size;
}

// objcopy replaces the section's bytes; the file keeps its place, its size and its mode.
void updateSection(const QString& programFile, const char* name, const QByteArray& bytes) {
    if (sectionSize(programFile, name) != bytes.size()) {
        throw std::runtime_error("the new bytes of " + std::string(name) + " in " +
                                 programFile.toStdString() + " differ in size from the old ones");
    }
    const QTemporaryDir dir = scratch();
    const QString content = dir.filePath(QStringLiteral("section"));
    writeFile(content, bytes);
    runObjcopy({QStringLiteral("--update-section"), QString::fromLatin1(name) + u'=' + content}, programFile);
}

}  // namespace

void runObjcopy(const QStringList& arguments, const QString& programFile) {
    run(QStringLiteral("objcopy"), arguments + QStringList{programFile});
}

TestKeyPair makeTestKeyPair(const QString& folder, const QString& name) {
    TestKeyPair pair;
    pair.privateKeyPem = folder + u'/' + name + QStringLiteral(".pem");
    run(QStringLiteral("openssl"), {QStringLiteral("genpkey"), QStringLiteral("-algorithm"),
                                    QStringLiteral("ed25519"), QStringLiteral("-out"), pair.privateKeyPem});
    const QByteArray der =
        run(QStringLiteral("openssl"),
            {QStringLiteral("pkey"), QStringLiteral("-in"), pair.privateKeyPem, QStringLiteral("-pubout"),
             QStringLiteral("-outform"), QStringLiteral("DER")});
    if (der.size() != kPublicKeyDerHeader.size() + kReleaseKeySize || !der.startsWith(kPublicKeyDerHeader)) {
        throw std::runtime_error("openssl gave a public key of " + std::to_string(der.size()) +
                                 " bytes in DER for " + pair.privateKeyPem.toStdString());
    }
    pair.publicKey = der.right(kReleaseKeySize);
    return pair;
}

void setReleaseKey(const QString& programFile, const QByteArray& publicKey) {
    updateSection(programFile, kReleaseKeySection, publicKey);
}

QByteArray versionRecordOf(const QString& version) {
    const QTemporaryDir dir = scratch();
    const QString record = dir.filePath(QStringLiteral("record"));
    run(QStringLiteral(VK_VERSION_RECORD_TOOL), {QStringLiteral("--raw"), version, record});
    QFile file(record);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("vk_version_record wrote no " + record.toStdString());
    }
    return file.readAll();
}

void setProgramVersion(const QString& programFile, const QString& version) {
    updateSection(programFile, kVersionSection, versionRecordOf(version));
}

void signProgram(const QString& privateKeyPem, const QString& programFile) {
    run(QStringLiteral(VK_SIGN_SCRIPT), {privateKeyPem, programFile});
}

bool opensslAccepts(const QByteArray& publicKey, const QByteArray& signature, const QString& messageFile) {
    const QTemporaryDir dir = scratch();
    const QString key = dir.filePath(QStringLiteral("public.der"));
    const QString signatureFile = dir.filePath(QStringLiteral("signature"));
    writeFile(key, kPublicKeyDerHeader + publicKey);
    writeFile(signatureFile, signature);
    const ToolRun r = start(QStringLiteral("openssl"),
                            {QStringLiteral("pkeyutl"), QStringLiteral("-verify"), QStringLiteral("-pubin"),
                             QStringLiteral("-keyform"), QStringLiteral("DER"), QStringLiteral("-inkey"), key,
                             QStringLiteral("-rawin"), QStringLiteral("-in"), messageFile,
                             QStringLiteral("-sigfile"), signatureFile});
    // openssl says which it is on standard output; anything else is a failure of the tool.
    if (r.exitCode == 0 && r.output.contains("Signature Verified Successfully")) {
        return true;
    }
    if (r.exitCode == 1 && r.output.contains("Signature Verification Failure")) {
        return false;
    }
    throw std::runtime_error(r.command + " failed (exit code " + std::to_string(r.exitCode) +
                             "): " + r.output.toStdString() + r.errors.toStdString());
}

}  // namespace vk::test
