#include "platform/Clock.h"
#include "settings/Settings.h"
#include "settings/SettingsStorage.h"
#include "settings/SettingsXml.h"
#include "support/ParamName.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vk {
namespace {

using test::PrintTo;
using test::readAll;
using test::TempFolder;

QByteArray crlf(QByteArray text) {
    return text.replace("\n", "\r\n");
}

const QByteArray kExample = crlf(
    "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n"
    "<Configuration>\n"
    "  <Hoofdscherm>\n"
    "    <FormVersion>0</FormVersion>\n"
    "    <xLoginDatabase_Text>PLANNING</xLoginDatabase_Text>\n"
    "    <xLoginServer_Text>(local)</xLoginServer_Text>\n"
    "    <xLoginSQL_Text>planner</xLoginSQL_Text>\n"
    "    <xPaswoordSQL_Text/>\n"
    "    <w2wInkomende_Text>C:\\Koppeling\\W2W\\S2C</w2wInkomende_Text>\n"
    "    <w2wUitgaande_Text>C:\\Koppeling\\W2W\\C2S</w2wUitgaande_Text>\n"
    "    <Automatisch_Checked>TRUE</Automatisch_Checked>\n"
    "    <Backups_Checked>TRUE</Backups_Checked>\n"
    "    <Debiteur_Text>1024</Debiteur_Text>\n"
    "    <Bedrijf_Text>0</Bedrijf_Text>\n"
    "    <SV_Text>Z</SV_Text>\n"
    "    <Interval_Text>10</Interval_Text>\n"
    "    <kor_oprek_Checked>TRUE</kor_oprek_Checked>\n"
    "    <costs2_Checked>FALSE</costs2_Checked>\n"
    "    <Gebruiker_Text>7</Gebruiker_Text>\n"
    "    <Tariefcode_Text>0</Tariefcode_Text>\n"
    "    <costs_Checked>FALSE</costs_Checked>\n"
    "    <Scoot_Checked>FALSE</Scoot_Checked>\n"
    "  </Hoofdscherm>\n"
    "</Configuration>\n");

// One run of the link as far as its settings go: load and restore at the start, whatever the
// run does to the fields, and the end of the run in order.
class SettingsRuns : public ::testing::Test {
protected:
    QString path() const { return dir.file(QStringLiteral("VeloraKarvex.xml")); }

    MemorySettings run(const std::function<void(MemorySettings&)>& during = {}) {
        SettingsStorage storage(path(), clock);
        loadProblem = storage.LoadSettingsFile();
        MemorySettings fields;
        storage.RestoreSettings(fields);
        if (during) {
            during(fields);
        }
        writeProblem = storage.endRun(fields);
        keptAside = storage.keptAsidePath();
        return fields;
    }
    MemorySettings restoreOnly() {
        SettingsStorage storage(path(), clock);
        loadProblem = storage.LoadSettingsFile();
        MemorySettings fields;
        storage.RestoreSettings(fields);
        return fields;
    }
    void writeFile(const QByteArray& bytes) { dir.write(QStringLiteral("VeloraKarvex.xml"), bytes); }
    QByteArray file() const { return readAll(path()); }

    TempFolder dir;
    ManualClock clock{QDateTime(QDate(2026, 12, 10), QTime(9, 30, 0))};
    std::optional<QString> loadProblem;
    std::optional<QString> writeProblem;
    QString keptAside;
};

TEST_F(SettingsRuns, AFirstRunWritesTheExampleFileByteForByte) {
    run([](MemorySettings& f) {
        f.setText(Setting::xLoginDatabase, QStringLiteral("PLANNING"));
        f.setText(Setting::xLoginServer, QStringLiteral("(local)"));
        f.setText(Setting::xLoginSQL, QStringLiteral("planner"));
        f.setText(Setting::w2wInkomende, QStringLiteral("C:\\Koppeling\\W2W\\S2C"));
        f.setText(Setting::w2wUitgaande, QStringLiteral("C:\\Koppeling\\W2W\\C2S"));
        f.setChecked(Setting::Automatisch, true);
        f.setText(Setting::Debiteur, QStringLiteral("1024"));
        f.setText(Setting::Gebruiker, QStringLiteral("7"));
    });
    EXPECT_FALSE(loadProblem);
    EXPECT_FALSE(writeProblem);
    EXPECT_EQ(file(), kExample);
    struct stat info {};
    ASSERT_EQ(::stat(path().toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the file holds the password";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("VeloraKarvex.xml")});
}

TEST_F(SettingsRuns, EverySettingComesBackExactlyInTheNextRun) {
    const QString tricky = QStringLiteral("a<b&c\"d'e>f € &amp; ]]> \t x");
    run([&](MemorySettings& f) {
        int n = 0;
        for (const SettingInfo& s : settingTable()) {
            if (s.isTickBox()) {
                f.setChecked(s.id, !s.defaultChecked());
            } else {
                f.setText(s.id, tricky + QString::number(n++));
            }
        }
    });
    EXPECT_TRUE(file().contains(
        "<xPaswoordSQL_Text>a&lt;b&amp;c&quot;d&apos;e&gt;f &#x20AC; &amp;amp; ]]&gt; \t x3<"));
    const MemorySettings restored = restoreOnly();
    int n = 0;
    for (const SettingInfo& s : settingTable()) {
        if (!s.stored) {
            EXPECT_EQ(restored.text(s.id), QStringLiteral("W")) << "Filter is not stored";
        } else if (s.isTickBox()) {
            EXPECT_EQ(restored.checked(s.id), !s.defaultChecked()) << s.name.toString().toStdString();
        } else {
            EXPECT_EQ(restored.text(s.id), tricky + QString::number(n++)) << s.name.toString().toStdString();
        }
    }
}

TEST_F(SettingsRuns, TextsOfSpacesAndCharactersOutsideTheCodePage) {
    run([](MemorySettings& f) {
        f.setText(Setting::SV, QStringLiteral("   "));
        f.setText(Setting::xLoginSQL, QStringLiteral("Łukasz"));
        f.setText(Setting::Interval, QStringLiteral("abc"));
    });
    EXPECT_TRUE(file().contains("<SV_Text>   </SV_Text>"));
    EXPECT_TRUE(file().contains("<xLoginSQL_Text>Lukasz</xLoginSQL_Text>"));
    const MemorySettings restored = restoreOnly();
    EXPECT_EQ(restored.text(Setting::SV), QString());
    EXPECT_EQ(restored.text(Setting::xLoginSQL), QStringLiteral("Lukasz"));
    EXPECT_EQ(restored.text(Setting::Interval), QStringLiteral("abc"));
    EXPECT_EQ(restored.number(Setting::Interval), 0);
}

// The declaration is written back as it was read: an encoding only when the file had one.
TEST_F(SettingsRuns, TheDeclarationKeepsItsEncodingOrItsLackOfOne) {
    writeFile(
        "<?xml "
        "version=\"1.0\"?>\n<Configuration><Hoofdscherm><SV_Text>Q</SV_Text></Hoofdscherm></Configuration>");
    run([](MemorySettings&) {});
    EXPECT_TRUE(file().startsWith("<?xml version=\"1.0\"?>\r\n")) << file().left(60).toStdString();
    writeFile("<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<Configuration/>");
    run([](MemorySettings&) {});
    EXPECT_TRUE(file().startsWith("<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"));
}

// A setting's element that holds a comment, CDATA or a child element gets the setting's value, and
// what it held is dropped (it would hide the value).
TEST_F(SettingsRuns, ASettingsElementWithContentsGetsTheValueAndLosesThem) {
    for (const QByteArray& contents :
         {QByteArray("<!-- oud -->Z"), QByteArray("<![CDATA[Z]]>"), QByteArray("<waarde>Z</waarde>")}) {
        writeFile("<Configuration><Hoofdscherm><SV_Text>" + contents +
                  "</SV_Text></Hoofdscherm></Configuration>");
        run([](MemorySettings& f) { f.setText(Setting::SV, QStringLiteral("N")); });
        EXPECT_TRUE(file().contains("<SV_Text>N</SV_Text>")) << file().toStdString();
        EXPECT_FALSE(file().contains("oud") || file().contains("CDATA") || file().contains("waarde"))
            << contents.toStdString();
        EXPECT_EQ(restoreOnly().text(Setting::SV), QStringLiteral("N"));
    }
}

// Characters 9 to 13 and the space, in any mix, make a value empty; anything else keeps it.
TEST_F(SettingsRuns, ValuesOfOnlyWhiteSpaceAreEmpty) {
    for (const QByteArray& blank : {QByteArray("\f"), QByteArray("\v"), QByteArray(" \t\r\n\v\f ")}) {
        writeFile("<Configuration><Hoofdscherm><SV_Text>" + blank +
                  "</SV_Text></Hoofdscherm></Configuration>");
        EXPECT_EQ(restoreOnly().text(Setting::SV), QString()) << blank.toHex().toStdString();
    }
    writeFile("<Configuration><Hoofdscherm><SV_Text>\f Z</SV_Text></Hoofdscherm></Configuration>");
    EXPECT_EQ(restoreOnly().text(Setting::SV), QStringLiteral("\f Z"));
}

TEST_F(SettingsRuns, AFileWithOneSettingRestoresItAndAddsTheRestAfterIt) {
    writeFile(
        "<Configuration><Hoofdscherm><XLOGINSERVER_TEXT>srv</XLOGINSERVER_TEXT></Hoofdscherm></"
        "Configuration>");
    const MemorySettings fields = run();
    EXPECT_EQ(fields.text(Setting::xLoginServer), QStringLiteral("srv"));
    EXPECT_EQ(fields.text(Setting::SV), QStringLiteral("Z"));
    const QList<QByteArray> lines = file().split('\n');
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines[3], "    <XLOGINSERVER_TEXT>srv</XLOGINSERVER_TEXT>\r");
    EXPECT_EQ(lines[4], "    <FormVersion>0</FormVersion>\r");
    EXPECT_EQ(lines[5], "    <xLoginDatabase_Text/>\r");
    EXPECT_EQ(lines.size(), 25);  // 24 lines and the empty rest after the last line end
}

TEST_F(SettingsRuns, UnknownItemsStayInTheirPlaces) {
    writeFile(
        crlf("<?xml version=\"1.1\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
             "<!-- bewaard door de beheerder -->\n"
             "<!DOCTYPE Configuration>\n"
             "<?xml-stylesheet href=\"style.xsl\" type=\"text/xsl\"?>\n"
             "<Configuration versie=\"2\">\n"
             "  <Extra a=\"1 &amp; 2\">tekst</Extra>\n"
             "  <Hoofdscherm>\n"
             "    <!-- de server -->\n"
             "    <xLoginServer_Text>srv</xLoginServer_Text>\n"
             "    <Eigen><![CDATA[<ruw>]]></Eigen>\n"
             "  </Hoofdscherm>\n"
             "</Configuration>\n"));
    run();
    const QByteArray expectedStart = crlf(
        "<?xml version=\"1.1\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<!-- bewaard door de beheerder -->\n"
        "<!DOCTYPE Configuration>\n"
        "<?xml-stylesheet href=\"style.xsl\" type=\"text/xsl\"?>\n"
        "<Configuration versie=\"2\">\n"
        "  <Extra a=\"1 &amp; 2\">tekst</Extra>\n"
        "  <Hoofdscherm>\n"
        "    <!-- de server -->\n"
        "    <xLoginServer_Text>srv</xLoginServer_Text>\n"
        "    <Eigen>\n"
        "      <![CDATA[<ruw>]]>\n"
        "    </Eigen>\n"
        "    <FormVersion>0</FormVersion>\n");
    EXPECT_TRUE(file().startsWith(expectedStart)) << file().toStdString();
}

TEST_F(SettingsRuns, ARootOfAnotherNameGetsAConfigurationChildThatTheNextRunRestores) {
    writeFile("<Instellingen><Hoofdscherm><SV_Text>Q</SV_Text></Hoofdscherm></Instellingen>");
    MemorySettings fields = run([](MemorySettings& f) { f.setText(Setting::SV, QStringLiteral("R")); });
    EXPECT_EQ(fields.text(Setting::SV), QStringLiteral("R"));
    EXPECT_TRUE(
        file().contains(crlf("<Instellingen>\n  <Hoofdscherm>\n    <SV_Text>Q</SV_Text>\n  </Hoofdscherm>\n"
                             "  <Configuration>\n    <Hoofdscherm>\n      <FormVersion>0</FormVersion>")));
    EXPECT_EQ(restoreOnly().text(Setting::SV), QStringLiteral("R"));
}

TEST_F(SettingsRuns, TheLastOfSeveralEqualNamesWins) {
    writeFile(
        "<Configuration><Hoofdscherm><SV_Text>A</SV_Text><sv_text>B</sv_text></Hoofdscherm>"
        "<hoofdscherm><SV_Text>C</SV_Text></hoofdscherm></Configuration>");
    EXPECT_EQ(restoreOnly().text(Setting::SV), QStringLiteral("C"));
}

struct ValueCase {
    const char* name;
    QByteArray stored;
    bool ticked;
};

class TickBoxWords : public SettingsRuns, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(TickBoxWords, TickOrUntick) {
    const auto& c = GetParam();
    writeFile("<Configuration><Hoofdscherm><Automatisch_Checked>" + c.stored +
              "</Automatisch_Checked>"
              "<Backups_Checked>" +
              c.stored + "</Backups_Checked></Hoofdscherm></Configuration>");
    const MemorySettings f = restoreOnly();
    EXPECT_EQ(f.checked(Setting::Automatisch), c.ticked);
    EXPECT_EQ(f.checked(Setting::Backups), c.ticked);
}

INSTANTIATE_TEST_SUITE_P(Words, TickBoxWords,
                         ::testing::Values(ValueCase{"TRUE", "TRUE", true}, ValueCase{"true", "true", true},
                                           ValueCase{"yes", "yes", true}, ValueCase{"Y", "Y", true},
                                           ValueCase{"one", "1", true}, ValueCase{"minus_two", " -2", true},
                                           ValueCase{"FALSE", "FALSE", false}, ValueCase{"n", "n", false},
                                           ValueCase{"NO", "NO", false}, ValueCase{"zero", "0", false},
                                           ValueCase{"ja", "ja", false}, ValueCase{"empty", "", false},
                                           ValueCase{"one_x", "1x", false}),
                         test::ParamName());

class FormVersions : public SettingsRuns, public ::testing::WithParamInterface<ValueCase> {};

// "ticked" here: the stored settings are restored
TEST_P(FormVersions, RestoreOnlyFromZeroOrMore) {
    const auto& c = GetParam();
    writeFile("<Configuration><Hoofdscherm><FormVersion>" + c.stored +
              "</FormVersion><SV_Text>Q</SV_Text>"
              "</Hoofdscherm></Configuration>");
    const MemorySettings f = run();
    EXPECT_EQ(f.text(Setting::SV), c.ticked ? QStringLiteral("Q") : QStringLiteral("Z"));
    // the next save overwrites every value and writes FormVersion 0
    EXPECT_TRUE(file().contains("<FormVersion>0</FormVersion>"));
    EXPECT_EQ(restoreOnly().text(Setting::SV), f.text(Setting::SV));
}

INSTANTIATE_TEST_SUITE_P(Versions, FormVersions,
                         ::testing::Values(ValueCase{"zero", "0", true}, ValueCase{"five", "5", true},
                                           ValueCase{"spaced", "  3", true}, ValueCase{"plus", "+1", true},
                                           ValueCase{"minus", "-1", false}, ValueCase{"text", "abc", false},
                                           ValueCase{"empty", "", false}, ValueCase{"trailing", "1 ", false},
                                           ValueCase{"decimal", "1.0", false},
                                           ValueCase{"huge", "99999999999", false}),
                         test::ParamName());

TEST_F(SettingsRuns, AUtf8FileIsReadAsUtf8AndWrittenBackInTheAnsiCodePage) {
    writeFile(
        "\xEF\xBB\xBF<Configuration><Hoofdscherm><xLoginSQL_Text>Jos\xC3\xA9 \xE2\x82\xAC</xLoginSQL_Text>"
        "</Hoofdscherm></Configuration>");
    EXPECT_EQ(run().text(Setting::xLoginSQL), QStringLiteral("José €"));
    EXPECT_FALSE(file().startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(file().contains("<xLoginSQL_Text>Jos\xE9 &#x20AC;</xLoginSQL_Text>"));
}

TEST_F(SettingsRuns, AUtf16FileIsRead) {
    const QString text =
        QStringLiteral("<Configuration><Hoofdscherm><SV_Text>Ω</SV_Text></Hoofdscherm></Configuration>");
    writeFile(QByteArray("\xFF\xFE") +
              QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
    EXPECT_EQ(restoreOnly().text(Setting::SV), QStringLiteral("Ω"));
}

TEST_F(SettingsRuns, AReadOnlyFileIsRestoredAndNeverWritten) {
    writeFile(kExample);
    QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ReadUser);
    SettingsStorage storage(path(), clock);
    storage.LoadSettingsFile();
    EXPECT_TRUE(storage.readOnly());
    MemorySettings fields;
    storage.RestoreSettings(fields);
    EXPECT_EQ(fields.text(Setting::Debiteur), QStringLiteral("1024"));
    fields.setText(Setting::Debiteur, QStringLiteral("5"));
    storage.SaveSettings(fields);
    EXPECT_EQ(storage.document().readText(SettingsStorage::pathOf(u"Debiteur_Text")), QStringLiteral("1024"));
    EXPECT_FALSE(storage.endRun(fields));
    EXPECT_EQ(file(), kExample);
}

TEST_F(SettingsRuns, HidingSavesIntoTheDocumentOnlyAndTheEndWritesThatSave) {
    SettingsStorage storage(path(), clock);
    storage.LoadSettingsFile();
    MemorySettings fields;
    storage.RestoreSettings(fields);
    fields.setText(Setting::SV, QStringLiteral("A"));
    storage.SaveSettings(fields);  // the window is hidden
    EXPECT_FALSE(QFile::exists(path()));
    fields.setText(Setting::SV, QStringLiteral("B"));  // changed after the hide, then the run ends
    storage.endRun(fields);
    EXPECT_TRUE(file().contains("<SV_Text>A</SV_Text>"));
}

struct ReferenceCase {
    const char* name;
    const char16_t* raw;
    const char16_t* decoded;
};

class References : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(References, DecodeAsTheRulesSay) {
    EXPECT_EQ(decodeReferences(QStringView(GetParam().raw)), QString::fromUtf16(GetParam().decoded));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, References,
    ::testing::Values(ReferenceCase{"named", u"&amp;&lt;&gt;&quot;&apos;", u"&<>\"'"},
                      ReferenceCase{"named_any_case", u"&AMP;&Lt;&GT;&QUOT;&aPoS;", u"&<>\"'"},
                      ReferenceCase{"decimal", u"&#65;&#8364;", u"A€"},
                      ReferenceCase{"hex_both_cases", u"&#x41;&#X42;&#x20ac;", u"AB€"},
                      ReferenceCase{"surrogate_pair", u"&#xD83D;&#xDE00;", u"\xD83D\xDE00"},
                      ReferenceCase{"beyond_ffff", u"&#x1F600;", u"\xD83D\xDE00"},
                      ReferenceCase{"zero_stays", u"a&#0;b", u"a&#0;b"},
                      ReferenceCase{"no_digits", u"&#;&#x;", u"&#;&#x;"},
                      ReferenceCase{"no_semicolon", u"&#65 &amp", u"&#65 &amp"},
                      ReferenceCase{"too_large", u"&#x110000;&#99999999999999999999;",
                                    u"&#x110000;&#99999999999999999999;"},
                      ReferenceCase{"unknown_name", u"&nbsp;&", u"&nbsp;&"},
                      ReferenceCase{"twice_escaped", u"&amp;amp;", u"&amp;"}),
    test::ParamName());

// The log says in Dutch what is wrong, and counts line, column and character alike from 1.
TEST_F(SettingsRuns, AnUnreadableFileIsReportedInDutchCountingFromOne) {
    writeFile("<Configuration>\r\n  <Hoofdscherm>\r\n</Configuration>");
    run([](MemorySettings&) {});
    ASSERT_TRUE(loadProblem);
    EXPECT_TRUE(loadProblem->contains(
        QStringLiteral("eindtag past niet bij de begintag (regel 3, kolom 3, teken 37)")))
        << loadProblem->toStdString();
    writeFile("<Configuration><!-- open");
    run([](MemorySettings&) {});
    ASSERT_TRUE(loadProblem);
    EXPECT_TRUE(loadProblem->contains(QStringLiteral("fout in commentaar (regel 1, kolom 24, teken 24)")))
        << loadProblem->toStdString();
}

// A processing instruction with a character the code page lacks before a ">" still reads back.
TEST(SettingsParse, AnInstructionWithACharacterOutsideTheCodePageReadsBack) {
    for (const QString& text : {QStringLiteral("<?stijl a\u4E2D>b?><Configuration/>"),
                                QStringLiteral("<?stijl \u4E2D?><Configuration/>")}) {
        SettingsDocument first;
        ASSERT_TRUE(parseSettingsText(text, first).ok);
        SettingsDocument again;
        const SettingsParseResult r = parseSettingsText(decodeSettingsBytes(settingsFileBytes(first)), again);
        EXPECT_TRUE(r.ok) << r.description.toStdString();
    }
}

// The reader loses a byte-order mark at the start of a name, so a target "\uFEFF5" reads as "5" and
// "\uFEFFxml" as "xml", neither of which reads back as an instruction; a mark or a character the
// code page lacks inside a target would be written as another character. Such an instruction is
// left out of the written file, and the next run reads that file with every setting.
TEST_F(SettingsRuns, AByteOrderMarkInAnInstructionLeavesAFileTheNextRunReads) {
    for (const QByteArray& instruction :
         {QByteArray("<?\xEF\xBB\xBF"
                     "5 ve\fl version=\"1.0\"?>"),
          QByteArray("<?\xEF\xBB\xBFxml a?>"), QByteArray("<?x\xEF\xBB\xBFml a?>"),
          QByteArray("<?s\xEF\xBB\xBFtijl a?>"), QByteArray("<?s\xE4\xB8\xADtijl a?>")}) {
        writeFile("\xEF\xBB\xBF" + instruction +
                  "\n<?stijl a?>\n<Configuration><Hoofdscherm><SV_Text>Q</SV_Text>"
                  "<Debiteur_Text>77</Debiteur_Text></Hoofdscherm></Configuration>");
        run();
        ASSERT_FALSE(loadProblem) << loadProblem.value_or(QString()).toStdString();
        const MemorySettings next = restoreOnly();
        EXPECT_FALSE(loadProblem) << loadProblem.value_or(QString()).toStdString();
        EXPECT_EQ(next.text(Setting::SV), QStringLiteral("Q")) << instruction.toStdString();
        EXPECT_EQ(next.text(Setting::Debiteur), QStringLiteral("77"));
        EXPECT_TRUE(file().contains("\r\n<?stijl a?>\r\n<Configuration>")) << file().toStdString();
    }
}

// The reader stops at a NUL, so one written in a value would leave the rest of the file unread.
TEST_F(SettingsRuns, ANulInAValueIsLeftOut) {
    run([](MemorySettings& f) {
        f.setText(Setting::xLoginSQL, QString::fromUtf16(u"a\0b", 3));
        f.setText(Setting::Debiteur, QStringLiteral("1024"));
    });
    const MemorySettings next = restoreOnly();
    EXPECT_FALSE(loadProblem) << loadProblem.value_or(QString()).toStdString();
    EXPECT_EQ(next.text(Setting::xLoginSQL), QStringLiteral("ab"));
    EXPECT_EQ(next.text(Setting::Debiteur), QStringLiteral("1024"));
}

struct RoundTripCase {
    const char* name;
    const char16_t* text;  // the file as the reader gets it, decoded
};

class WrittenDocuments : public ::testing::TestWithParam<RoundTripCase> {};

// Names, attribute values, comments, instructions and document types that the code page would
// change into something the reader does not take, or into another setting's name: the written
// file reads, and every setting comes back as it was read.
TEST_P(WrittenDocuments, ReadBackWithTheSameSettings) {
    SettingsDocument first;
    const SettingsParseResult read = parseSettingsText(QString::fromUtf16(GetParam().text), first);
    ASSERT_TRUE(read.ok) << read.description.toStdString();
    ASSERT_EQ(first.readText(SettingsStorage::pathOf(u"SV_Text")), QStringLiteral("Q"));
    const QByteArray written = settingsFileBytes(first);
    SettingsDocument again;
    const SettingsParseResult r = parseSettingsText(decodeSettingsBytes(written), again);
    ASSERT_TRUE(r.ok) << r.description.toStdString() << "\n" << written.toStdString();
    for (const SettingInfo& s : settingTable()) {
        const QStringList path = SettingsStorage::pathOf(s.elementName());
        EXPECT_EQ(again.readText(path), first.readText(path)) << s.name.toString().toStdString() << "\n"
                                                              << written.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WrittenDocuments,
    ::testing::Values(
        RoundTripCase{"element_name_outside_the_code_page",
                      u"<Configuration><Hoofdscherm><SV_Text>Q</SV_Text><\u4E2D>x</\u4E2D></Hoofdscherm>"
                      u"</Configuration>"},
        RoundTripCase{"element_name_with_the_euro_sign",
                      u"<Configuration><Hoofdscherm><SV_Text>Q</SV_Text></Hoofdscherm><a\u20AC>x</a\u20AC>"
                      u"</Configuration>"},
        RoundTripCase{
            "root_name_outside_the_code_page",
            u"<\u4E2D><Configuration><Hoofdscherm><SV_Text>Q</SV_Text></Hoofdscherm></Configuration>"
            u"</\u4E2D>"},
        RoundTripCase{"attribute_name_outside_the_code_page",
                      u"<Configuration a\u4E2D=\"1\"><Hoofdscherm><SV_Text>Q</SV_Text></Hoofdscherm>"
                      u"</Configuration>"},
        RoundTripCase{"quote_from_the_code_page_in_an_attribute",
                      u"<Configuration a=\"x\u201Fy\"><Hoofdscherm><SV_Text>Q</SV_Text></Hoofdscherm>"
                      u"</Configuration>"},
        RoundTripCase{"comment_the_code_page_would_end_early",
                      u"<!--a\u2010\u2010>b--><Configuration><Hoofdscherm><SV_Text>Q</SV_Text></Hoofdscherm>"
                      u"</Configuration>"},
        RoundTripCase{"instruction_target_outside_the_code_page",
                      u"<?a\u4E2D b?><Configuration><Hoofdscherm><SV_Text>Q</SV_Text></Hoofdscherm>"
                      u"</Configuration>"},
        RoundTripCase{"document_type_the_code_page_would_change",
                      u"<!DOCTYPE Configuration [<!ENTITY x \"\u201F\">]><Configuration><Hoofdscherm>"
                      u"<SV_Text>Q</SV_Text></Hoofdscherm></Configuration>"},
        // "\u0113" is written as "e", which would make this element a second SV_Text, the last
        // of equal names, and so the one read
        RoundTripCase{"name_the_code_page_would_make_a_settings_name",
                      u"<Configuration><Hoofdscherm><SV_Text>Q</SV_Text><SV_T\u0113xt>B</SV_T\u0113xt>"
                      u"</Hoofdscherm></Configuration>"},
        // "\u017F" (long s) is "s" without regard to letter case, and so is the "s" written for it
        RoundTripCase{"letter_the_code_page_writes_as_its_plain_form",
                      u"<Configuration><Hoofdscherm><\u017FV_Text>Q</\u017FV_Text></Hoofdscherm>"
                      u"</Configuration>"}),
    test::ParamName());

TEST(SettingsParse, ReportsWhereTheTextGoesWrong) {
    SettingsDocument doc;
    const SettingsParseResult r =
        parseSettingsText(QStringLiteral("<Configuration>\r\n  <Hoofdscherm>\r\n</Configuration>"), doc);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.description, QStringLiteral("eindtag past niet bij de begintag"));
    EXPECT_EQ(r.line, 3);
    EXPECT_EQ(r.column, 3);
    EXPECT_EQ(r.offset, 36);  // the name in the closing tag

    const SettingsParseResult text = parseSettingsText(QStringLiteral("rommel<Configuration/>"), doc);
    EXPECT_FALSE(text.ok);
    EXPECT_EQ(text.offset, 0);
    EXPECT_EQ(text.description, QStringLiteral("tekst buiten het hoofdelement"));

    EXPECT_FALSE(parseSettingsText(QStringLiteral("<!-- only a comment -->"), doc).ok);
    EXPECT_TRUE(parseSettingsText(QStringLiteral("  \r\n <Configuration/>\r\n "), doc).ok);

    const SettingsParseResult accented =
        parseSettingsText(QStringLiteral("<Configuration><é></Configuration>"), doc);
    EXPECT_FALSE(accented.ok);
    EXPECT_EQ(accented.offset, 20);  // counted in characters, not in UTF-8 bytes
}

struct BadFile {
    const char* name;
    std::function<QByteArray()> bytes;
};

class BadSettingsFiles : public SettingsRuns, public ::testing::WithParamInterface<BadFile> {};

// Defaults, a clear report, and the user's file kept beside the new one.
TEST_P(BadSettingsFiles, StartWithTheDefaultsAndKeepTheFile) {
    const QByteArray original = GetParam().bytes();
    writeFile(original);
    const MemorySettings f =
        run([](MemorySettings& fields) { fields.setText(Setting::SV, QStringLiteral("N")); });
    ASSERT_TRUE(loadProblem);
    EXPECT_TRUE(loadProblem->contains(QStringLiteral("is niet te lezen"))) << loadProblem->toStdString();
    EXPECT_EQ(f.text(Setting::Interval), QStringLiteral("10"));
    EXPECT_FALSE(writeProblem);
    EXPECT_EQ(keptAside, dir.file(QStringLiteral("VeloraKarvex.onleesbaar-20261210-093000.xml")));
    EXPECT_EQ(readAll(keptAside), original);
    EXPECT_EQ(restoreOnly().text(Setting::SV), QStringLiteral("N"));
}

// Runs in the same second keep their unreadable files side by side: the first under the name
// with the time, each later one with a number added, none replacing another. Something already
// at a name, even a link to nothing, is passed over and left as it is.
TEST_F(SettingsRuns, UnreadableFilesKeptInOneSecondAllSurvive) {
    const QString first = dir.file(QStringLiteral("VeloraKarvex.onleesbaar-20261210-093000.xml"));
    const QString second = dir.file(QStringLiteral("VeloraKarvex.onleesbaar-20261210-093000-2.xml"));
    const QString third = dir.file(QStringLiteral("VeloraKarvex.onleesbaar-20261210-093000-3.xml"));
    const QString fourth = dir.file(QStringLiteral("VeloraKarvex.onleesbaar-20261210-093000-4.xml"));
    const QByteArray files[] = {"<kapot", "<ook kapot", "<nog eens kapot"};
    for (const QByteArray& bytes : files) {
        writeFile(bytes);
        run();
        EXPECT_FALSE(writeProblem) << writeProblem.value_or(QString()).toStdString();
    }
    EXPECT_EQ(keptAside, third);
    EXPECT_EQ(readAll(first), files[0]);
    EXPECT_EQ(readAll(second), files[1]);
    EXPECT_EQ(readAll(third), files[2]);

    const QString nowhere = dir.file(QStringLiteral("nergens"));
    ASSERT_TRUE(QFile::link(nowhere, fourth));
    writeFile("<weer kapot");
    run();
    EXPECT_FALSE(writeProblem) << writeProblem.value_or(QString()).toStdString();
    EXPECT_EQ(keptAside, dir.file(QStringLiteral("VeloraKarvex.onleesbaar-20261210-093000-5.xml")));
    EXPECT_EQ(readAll(keptAside), "<weer kapot");
    EXPECT_EQ(QFileInfo(fourth).symLinkTarget(), nowhere);
    EXPECT_FALSE(QFileInfo::exists(nowhere));
    EXPECT_EQ(readAll(first), files[0]);
}

QByteArray randomBytes(int n) {
    QByteArray b(n, '\0');
    QRandomGenerator rng(12345);
    for (char& c : b) {
        c = static_cast<char>(rng.bounded(256));
    }
    b[0] = '~';
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadSettingsFiles,
    ::testing::Values(BadFile{"empty", [] { return QByteArray(); }},
                      BadFile{"truncated", [] { return kExample.left(kExample.size() / 2); }},
                      BadFile{"random_bytes", [] { return randomBytes(4096); }},
                      BadFile{"deep_nesting",
                              [] {
                                  return "<Configuration>" + QByteArray("<a>").repeated(100000) +
                                         QByteArray("</a>").repeated(100000) + "</Configuration>";
                              }},
                      BadFile{"two_roots", [] { return QByteArray("<Configuration/><Configuration/>"); }},
                      BadFile{"utf16_big_endian", [] { return QByteArray("\xFE\xFF\0<\0C\0/\0>", 10); }}),
    test::ParamName());

TEST_F(SettingsRuns, EveryTruncationOfTheExampleEndsInRestoredSettingsOrDefaults) {
    for (qsizetype n = 0; n < kExample.size(); n += 7) {
        writeFile(kExample.left(n));
        const MemorySettings f = restoreOnly();
        EXPECT_TRUE(f.text(Setting::Debiteur) == u"1024" || f.text(Setting::Debiteur) == u"0") << n;
    }
}

TEST_F(SettingsRuns, ALargeValueAndInvalidReferencesAreKept) {
    const QByteArray big(10 * 1024 * 1024, 'x');
    writeFile("<Configuration><Hoofdscherm><xLoginSQL_Text>" + big +
              "</xLoginSQL_Text>"
              "<SV_Text>&#0;&bogus;&#xZZ;</SV_Text></Hoofdscherm></Configuration>");
    const MemorySettings f = run();
    EXPECT_FALSE(loadProblem);
    EXPECT_EQ(f.text(Setting::xLoginSQL).size(), big.size());
    EXPECT_EQ(f.text(Setting::SV), QStringLiteral("&#0;&bogus;&#xZZ;"));
    EXPECT_EQ(restoreOnly().text(Setting::SV), QStringLiteral("&#0;&bogus;&#xZZ;"));
}

TEST_F(SettingsRuns, AFolderWhereTheFileShouldBeIsReportedAndLeftAlone) {
    dir.mkdir(QStringLiteral("VeloraKarvex.xml"));
    const MemorySettings f = run();
    ASSERT_TRUE(loadProblem);
    EXPECT_EQ(f.text(Setting::SV), QStringLiteral("Z"));
    ASSERT_TRUE(writeProblem);
    EXPECT_TRUE(QFileInfo(path()).isDir());
}

}  // namespace
}  // namespace vk
