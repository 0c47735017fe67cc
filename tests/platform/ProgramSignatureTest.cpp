#include "platform/ProgramSignature.h"

#include "platform/ElfSections.h"
#include "platform/VersionResource.h"
#include "support/ParamName.h"
#include "support/ReleaseKit.h"
#include "support/TempFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>

namespace vk {

void PrintTo(SignatureCheck check, std::ostream* os) {
    constexpr const char* names[] = {"Valid", "NotAProgram", "Unsigned", "Invalid"};
    *os << names[static_cast<int>(check)];
}

namespace {

using vk::test::PrintTo;
using vk::test::readAll;

// A version other than the build's with as many digits in each part, so that its record has the
// size of the build's own.
const QString kOtherVersion = QStringLiteral("9.9.9.9");

std::optional<ElfSection> sectionOf(const QString& programFile, const char* name) {
    QFile file(programFile);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return findElfSection(file, name);
}

QByteArray sectionBytes(const QString& programFile, const char* name) {
    const std::optional<ElfSection> section = sectionOf(programFile, name);
    if (!section) {
        return {};
    }
    return readAll(programFile).mid(section->offset, section->size);
}

void changeByteAt(const QString& file, qint64 at) {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(at));
    char byte = 0;
    ASSERT_TRUE(f.getChar(&byte));
    ASSERT_TRUE(f.seek(at));
    ASSERT_TRUE(f.putChar(static_cast<char>(byte ^ 0x5A)));
}

// The program's --version, run from the file: what it printed, or nothing when it did not run to a
// clean end.
std::optional<QByteArray> versionLineOf(const QString& programFile) {
    QProcess process;
    process.start(programFile, {QStringLiteral("--version")});
    if (!process.waitForStarted(-1) || !process.waitForFinished(-1) ||
        process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

// The program file as the build made it has room for both, as bytes in the file.
TEST(ProgramSignature, TheBuiltProgramCarriesRoomForItsSignatureAndItsReleaseKey) {
    const QString client = QStringLiteral(VK_CLIENT_PATH);
    const std::optional<ElfSection> signature = sectionOf(client, kSignatureSection);
    ASSERT_TRUE(signature.has_value()) << "no " << kSignatureSection << " with bytes in " << VK_CLIENT_PATH;
    EXPECT_EQ(signature->size, kSignatureSize);
    EXPECT_EQ(sectionBytes(client, kSignatureSection), QByteArray(kSignatureSize, '\0'));
    const std::optional<ElfSection> key = sectionOf(client, kReleaseKeySection);
    ASSERT_TRUE(key.has_value()) << "no " << kReleaseKeySection << " with bytes in " << VK_CLIENT_PATH;
    EXPECT_EQ(key->size, kReleaseKeySize);
}

// A copy of the built program in a folder of its own, carrying the test's release key. Its parts
// are open to the cases of the table below.
class SignedProgram : public ::testing::Test {
public:
    void SetUp() override {
        release = vk::test::makeTestKeyPair(dir.path(), QStringLiteral("release"));
        other = vk::test::makeTestKeyPair(dir.path(), QStringLiteral("other"));
        program = dir.file(QStringLiteral("VeloraKarvexClient"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VK_CLIENT_PATH), program));
        vk::test::setReleaseKey(program, release.publicKey);
    }

    vk::test::TempFolder dir;
    vk::test::TestKeyPair release;
    vk::test::TestKeyPair other;
    QString program;
};

TEST_F(SignedProgram, IsValidWithTheKeyItCarries) {
    vk::test::signProgram(release.privateKeyPem, program);
    EXPECT_EQ(checkProgramSignature(program, release.publicKey), SignatureCheck::Valid);
    EXPECT_EQ(releaseKeyOf(program), release.publicKey);
    EXPECT_NE(sectionBytes(program, kSignatureSection), QByteArray(kSignatureSize, '\0'));
}

// A program built without a release key carries none, so that the updater has no key to accept a
// new program with; and the zeros it carries in its place verify no signature.
TEST_F(SignedProgram, BuiltWithoutAReleaseKeyItCarriesNone) {
    vk::test::setReleaseKey(program, QByteArray(kReleaseKeySize, '\0'));
    vk::test::signProgram(release.privateKeyPem, program);
    EXPECT_EQ(releaseKeyOf(program), std::nullopt);
    EXPECT_EQ(checkProgramSignature(program, QByteArray(kReleaseKeySize, '\0')), SignatureCheck::Invalid);
    EXPECT_EQ(checkProgramSignature(program, release.publicKey), SignatureCheck::Valid)
        << "the file itself is signed well";
}

// OpenSSL takes the 32 zero bytes for a point of small order, and with that key a signature that
// nobody made (R the neutral point, S zero) verifies for about one file in four. A build without a
// release key carries those zeros: the check refuses them whatever such a signature says.
TEST_F(SignedProgram, AForgedSignatureForTheZeroKeyIsRefused) {
    const QByteArray zeroKey(kReleaseKeySize, '\0');
    QByteArray forged(kSignatureSize, '\0');
    forged[0] = 1;  // the neutral point
    const ElfSection signature = *sectionOf(program, kSignatureSection);
    const ElfSection carriedKey = *sectionOf(program, kReleaseKeySection);
    QByteArray content = readAll(program);
    bool accepted = false;
    for (int variant = 1; variant < 64 && !accepted; ++variant) {
        content[carriedKey.offset] = static_cast<char>(variant);  // another file for each try
        accepted = vk::test::opensslAccepts(zeroKey, forged, dir.write(QStringLiteral("zeroed"), content));
    }
    ASSERT_TRUE(accepted) << "openssl accepted the forged signature for none of 63 files";
    content.replace(signature.offset, kSignatureSize, forged);
    dir.write(QStringLiteral("VeloraKarvexClient"), content);
    EXPECT_EQ(checkProgramSignature(program, zeroKey), SignatureCheck::Invalid);
}

// A new version is made from the same build: its record replaced, then signed again over the
// signed file. It verifies, and it still runs, with its new record.
TEST_F(SignedProgram, ANewVersionSignedAgainIsValidAndRuns) {
    const QFile::Permissions modeBefore = QFileInfo(program).permissions();
    vk::test::signProgram(release.privateKeyPem, program);
    vk::test::setProgramVersion(program, kOtherVersion);
    ASSERT_EQ(checkProgramSignature(program, release.publicKey), SignatureCheck::Invalid);
    vk::test::signProgram(release.privateKeyPem, program);

    EXPECT_EQ(checkProgramSignature(program, release.publicKey), SignatureCheck::Valid);
    EXPECT_EQ(releaseKeyOf(program), release.publicKey);
    EXPECT_EQ(QFileInfo(program).permissions(), modeBefore) << "objcopy or sign.sh changed the file's mode";
    EXPECT_EQ(sectionBytes(program, kVersionSection), vk::test::versionRecordOf(kOtherVersion));
    const std::optional<QByteArray> versionLine = versionLineOf(program);
    ASSERT_TRUE(versionLine.has_value()) << "the program made so does not run";
    // --version tells the version of the record in the file, not one the compiler put in
    EXPECT_EQ(versionLine->toStdString(),
              "Vindo Velora Karvex koppeling " + kOtherVersion.toStdString() + '\n');
}

// What the updater may be handed instead of a program its release signed, and what the check and
// the release key finder make of each.
enum class Carried { ReleaseKey, OtherKey, Nothing };

struct Candidate {
    QString file;
    std::optional<QByteArray> checkedWith;  // the release key unless given
};

struct RefusalCase {
    const char* name;
    std::function<Candidate(SignedProgram&)> make;
    SignatureCheck expected;
    Carried carried;
};

class Refused : public SignedProgram, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refused, IsNotValid) {
    const Candidate candidate = GetParam().make(*this);
    EXPECT_EQ(checkProgramSignature(candidate.file, candidate.checkedWith.value_or(release.publicKey)),
              GetParam().expected);
    const std::optional<QByteArray> key = releaseKeyOf(candidate.file);
    switch (GetParam().carried) {
        case Carried::ReleaseKey:
            EXPECT_EQ(key, release.publicKey);
            break;
        case Carried::OtherKey:
            EXPECT_EQ(key, other.publicKey);
            break;
        case Carried::Nothing:
            EXPECT_EQ(key, std::nullopt);
            break;
    }
}

QString signedBy(SignedProgram& t, const vk::test::TestKeyPair& key) {
    vk::test::signProgram(key.privateKeyPem, t.program);
    return t.program;
}

INSTANTIATE_TEST_SUITE_P(
    Candidates, Refused,
    ::testing::Values(
        RefusalCase{"unsigned",
                    [](SignedProgram& f) {
                        return Candidate{f.program, {}};
                    },
                    SignatureCheck::Unsigned, Carried::ReleaseKey},
        RefusalCase{"signed_with_another_key",
                    [](SignedProgram& f) {
                        return Candidate{signedBy(f, f.other), {}};
                    },
                    SignatureCheck::Invalid, Carried::ReleaseKey},
        RefusalCase{"another_key_put_in_and_signed_with",
                    [](SignedProgram& f) {
                        vk::test::setReleaseKey(f.program, f.other.publicKey);
                        return Candidate{signedBy(f, f.other), {}};
                    },
                    SignatureCheck::Invalid, Carried::OtherKey},
        RefusalCase{"release_key_replaced_after_signing",
                    [](SignedProgram& f) {
                        signedBy(f, f.release);
                        vk::test::setReleaseKey(f.program, f.other.publicKey);
                        return Candidate{f.program, {}};
                    },
                    SignatureCheck::Invalid, Carried::OtherKey},
        RefusalCase{"a_byte_changed_after_signing",
                    [](SignedProgram& f) {
                        signedBy(f, f.release);
                        const ElfSection signature = *sectionOf(f.program, kSignatureSection);
                        qint64 at = QFileInfo(f.program).size() / 2;
                        if (at >= signature.offset - 8 && at < signature.offset + signature.size + 8) {
                            at = signature.offset + signature.size + 8;
                        }
                        changeByteAt(f.program, at);
                        return Candidate{f.program, {}};
                    },
                    SignatureCheck::Invalid, Carried::ReleaseKey},
        RefusalCase{"a_byte_of_the_signature_changed",
                    [](SignedProgram& f) {
                        signedBy(f, f.release);
                        changeByteAt(f.program, sectionOf(f.program, kSignatureSection)->offset + 17);
                        return Candidate{f.program, {}};
                    },
                    SignatureCheck::Invalid, Carried::ReleaseKey},
        RefusalCase{"version_changed_after_signing",
                    [](SignedProgram& f) {
                        signedBy(f, f.release);
                        vk::test::setProgramVersion(f.program, kOtherVersion);
                        return Candidate{f.program, {}};
                    },
                    SignatureCheck::Invalid, Carried::ReleaseKey},
        RefusalCase{"checked_with_the_zero_key_of_a_build_without_one",
                    [](SignedProgram& f) {
                        return Candidate{signedBy(f, f.release), QByteArray(kReleaseKeySize, '\0')};
                    },
                    SignatureCheck::Invalid, Carried::ReleaseKey},
        RefusalCase{"checked_with_a_key_of_the_wrong_size",
                    [](SignedProgram& f) {
                        return Candidate{signedBy(f, f.release), f.release.publicKey.left(31)};
                    },
                    SignatureCheck::Invalid, Carried::ReleaseKey},
        RefusalCase{"signature_section_of_another_size",
                    [](SignedProgram& f) {
                        // the version record, renamed: 724 bytes where the signature's 64 belong
                        vk::test::runObjcopy(
                            {QStringLiteral("--rename-section"), QStringLiteral(".vk_signature=.vk_spare"),
                             QStringLiteral("--rename-section"), QStringLiteral(".vk_version=.vk_signature")},
                            signedBy(f, f.release));
                        return Candidate{f.program, {}};
                    },
                    SignatureCheck::NotAProgram, Carried::ReleaseKey},
        RefusalCase{"html_page",
                    [](SignedProgram& f) {
                        return Candidate{
                            f.dir.write(QStringLiteral("download"),
                                        "<!DOCTYPE html>\n<html><head><title>Updates</title></head>"
                                        "<body><p>Onderhoud</p></body></html>\n"),
                            {}};
                    },
                    SignatureCheck::NotAProgram, Carried::Nothing},
        RefusalCase{"unauthorized_body",
                    [](SignedProgram& f) {
                        return Candidate{
                            f.dir.write(QStringLiteral("download"),
                                        "401 Unauthorized: this server could not verify that you are "
                                        "authorized to access the document requested.\n"),
                            {}};
                    },
                    SignatureCheck::NotAProgram, Carried::Nothing},
        RefusalCase{
            "truncated_program",
            [](SignedProgram& f) {
                const QByteArray whole = readAll(signedBy(f, f.release));
                return Candidate{f.dir.write(QStringLiteral("download"), whole.left(whole.size() / 2)), {}};
            },
            SignatureCheck::NotAProgram, Carried::Nothing},
        RefusalCase{"empty_file",
                    [](SignedProgram& f) {
                        return Candidate{f.dir.write(QStringLiteral("download"), {}), {}};
                    },
                    SignatureCheck::NotAProgram, Carried::Nothing},
        RefusalCase{"program_without_the_sections",
                    [](SignedProgram&) {
                        return Candidate{QStringLiteral(VK_VERSION_RECORD_PATH), {}};
                    },
                    SignatureCheck::NotAProgram, Carried::Nothing},
        RefusalCase{"missing_file",
                    [](SignedProgram& f) {
                        return Candidate{f.dir.file(QStringLiteral("bestaat-niet")), {}};
                    },
                    SignatureCheck::Invalid, Carried::Nothing}),
    vk::test::ParamName());

}  // namespace
}  // namespace vk
