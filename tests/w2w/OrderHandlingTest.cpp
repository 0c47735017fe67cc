#include "planning/PlanningRecord.h"
#include "planning/TransactionLog.h"
#include "support/Databases.h"
#include "support/Ports.h"
#include "support/TempFolder.h"
#include "w2w/ImportEngine.h"
#include "w2w/OrderHandlers.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace vk::w2w {
namespace {

using test::Backend;
using Expected = std::vector<std::pair<Column, QString>>;
constexpr const char* kNull = "NULL";

QByteArray acknowledgement(const QByteArray& kind, const QByteArray& id) {
    return "<?xml version=\"1.0\"?>\r\n<w2w version=\"1.0\">\r\n<c2s>\r\n<kind>" + kind + "</kind>\r\n<id>" +
           id + "</id>\r\n</c2s>\r\n</w2w>\r\n";
}

QByteArray document(const QByteArray& kind, const QByteArray& id, const QByteArray& elements) {
    return "<?xml version=\"1.0\"?>\n<w2w version=\"1.0\">\n<s2c>\n<kind>" + kind + "</kind>\n<id>" + id +
           "</id>\n" + elements + "</s2c>\n</w2w>\n";
}

// A column as text: integers in decimal, amounts with two decimals, times as yyyy-MM-dd hh:mm:ss.
QString shown(const QSqlRecord& r, Column c) {
    const QVariant v = r.value(columnName(c).toString());
    if (v.isNull()) {
        return QString::fromLatin1(kNull);
    }
    switch (columnInfo(c).type) {
        case ColumnType::Amount:
            return Amount::parse(v.toString())->toString();
        case ColumnType::DateTime:
            return readDateTime(v).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        default:
            return v.toString();
    }
}

// The engine, the handlers and a real database of one backend, with the folders of a link.
class OrderHandling : public ::testing::TestWithParam<Backend> {
protected:
    OrderHandling() : db(GetParam(), settings), ado(settings, db.programFolder()) {
        inbound = root.mkdir(QStringLiteral("S2C"));
        root.mkdir(QStringLiteral("S2C/Backups"));
        outbound = root.mkdir(QStringLiteral("C2S"));
        settings.setText(Setting::w2wInkomende, inbound);
        settings.setText(Setting::w2wUitgaande, outbound);
        ado.open();  // creates the SQLite file with its tables before the test looks at it
    }

    // Drops one document, runs one cycle, and returns the log lines of that cycle.
    QStringList handle(const QByteArray& bytes, const QString& name = QStringLiteral("doc.s2c")) {
        QFile f(inbound + u'/' + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        log.lines.clear();
        engine.CheckXMLfiles();
        return log.lines;
    }
    QByteArray ack(const QString& name = QStringLiteral("doc.c2s")) {
        const QString path = outbound + u'/' + name;
        if (!QFile::exists(path)) {
            return "(none)";
        }
        QByteArray bytes = test::readAll(path);
        QFile::remove(path);
        return bytes;
    }
    std::vector<QSqlRecord> rows() {
        QSqlQuery q(db.inspect());
        q.setNumericalPrecisionPolicy(QSql::HighPrecision);
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT * FROM planning ORDER BY pla_id")))
            << q.lastError().text().toStdString();
        std::vector<QSqlRecord> result;
        while (q.next()) {
            result.push_back(q.record());
        }
        return result;
    }
    QStringList transactions() {
        QSqlQuery q(db.inspect());
        EXPECT_TRUE(
            q.exec(QStringLiteral("SELECT tra_gebruiker, tra_rit, tra_code, tra_opmerking FROM TRANSACTIES "
                                  "ORDER BY tra_id")));
        QStringList result;
        while (q.next()) {
            result << QStringLiteral("%1,%2,%3,%4")
                          .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                               q.value(3).toString());
        }
        return result;
    }
    static void expectColumns(const QSqlRecord& r, const Expected& expected) {
        for (const auto& [column, value] : expected) {
            EXPECT_EQ(shown(r, column), value) << columnName(column).toString().toStdString();
        }
    }
    QString errorLine(const QString& message) const {
        return QStringLiteral("07-01-2011 11:50:00 - W2W XML: ") + message;
    }
    QString handledLine(const QString& kind) const {
        return QStringLiteral("07-01-2011 11:50:00 Verbinding W2W %1 XML: %2/doc.s2c").arg(kind, inbound);
    }

    MemorySettings settings;
    test::TempFolder root;
    QString inbound, outbound;
    test::TestDatabase db;
    PlanningDatabase ado;
    ManualClock clock{QDateTime(QDate(2011, 1, 7), QTime(11, 50, 0))};
    int draws = 0;
    TemporaryKeys keys{clock, [this](int) { return draws++ % 1000; }};
    PlanningRecord row{ado, settings, keys, clock};
    test::RecordingLog log;
    test::ReplacingErrorHandler errors{log};
    test::RecordingPacket packet;
    test::ScriptedPump pump;
    TransactionLog transactionLog{ado, settings, errors};
    OrderHandlers handlers{row, keys, transactionLog};
    ImportEngine engine{ImportPorts{settings, packet, log, errors, pump, clock}, handlers};
};

std::string backendName(const ::testing::TestParamInfo<Backend>& p) {
    return test::backendName(p.param);
}

struct NewOrderCase {
    const char* name;
    QByteArray id;
    QByteArray elements;
    std::function<void(Settings&)> settings;
    Expected expected;
};

const QByteArray kFull =
    "<ssec>201101071146</ssec>\n<npassenger>2</npassenger>\n<extra>[Graag] bellen</extra>\n"
    "<splace>Stationsplein</splace>\n<snumber>1a</snumber>\n<szip>1012AB</szip>\n<dplace>Ziekenhuislaan</"
    "dplace>\n"
    "<dnumber>20</dnumber>\n<dzip>1066CX</dzip>\n<zones>3</zones>\n<costs>1250</costs>\n<costs2>75</costs2>\n"
    "<passenger>Mevr. de Vries</passenger>\n<contact>020-1234567</contact>\n<dontcombine>1</dontcombine>\n"
    "<rollator>1</rollator>\n<wheelchair>1</wheelchair>\n<scootmobile>0</scootmobile>\n<nobus>1</nobus>\n"
    "<priority>1</priority>\n<callback>1</callback>\n";

const std::vector<NewOrderCase>& newOrderCases() {
    using C = Column;
    static const std::vector<NewOrderCase> cases{
        {"minimal",
         "4711",
         "<ssec>201101071146</ssec>\n",
         nullptr,
         {{C::pla_extern, "4711"},
          {C::pla_extern_ritnummer, "4711"},
          {C::pla_datum, "2011-01-07 11:46:00"},
          {C::pla_tijdstip, "2011-01-07 11:46:00"},
          {C::pla_tekst, "\r\n"},
          {C::pla_ophstraat, ""},
          {C::pla_ophnummer, ""},
          {C::pla_ophstad, ""},
          {C::pla_ophpostcode, " "},
          {C::pla_bestpostcode, " "},
          {C::pla_besstraat, ""},
          {C::pla_bestnummer, ""},
          {C::pla_lopers, "0"},
          {C::pla_zone_aantal, "0"},
          {C::pla_zone_van, "0"},
          {C::pla_zone_naar, "0"},
          {C::pla_combineren, "1"},
          {C::pla_rolstoel, "0"},
          {C::pla_rollers, "0"},
          {C::pla_spoed, "0"},
          {C::pla_bellen, "0"},
          {C::pla_bedrag, kNull},
          {C::pla_bedrag_5, kNull},
          {C::pla_soortrit, "S"},
          {C::pla_soortvervoer, "Z"},
          {C::pla_soortwagen, "T"},
          {C::pla_filter, "W"},
          {C::pla_rc, "1"},
          {C::pla_status, "W"},
          {C::pla_mut, "1"},
          {C::pla_voorin, "0"},
          {C::pla_bdr_id, "0"},
          {C::pla_reiziger, "0"},
          {C::pla_opmerking, ""},
          {C::pla_telefoon, ""},
          {C::pla_km_sqr, "0.00"},
          {C::pla_txtext_vanaf, "2011-01-07 11:50:00"}}},
        {"full",
         "4711",
         kFull,
         [](Settings& s) {
             s.setText(Setting::Bedrijf, QStringLiteral("3"));
             s.setText(Setting::Debiteur, QStringLiteral(" 1024"));
             s.setText(Setting::SV, QStringLiteral("ZX"));
             s.setText(Setting::Filter, QStringLiteral("A"));
             s.setChecked(Setting::kor_oprek, false);
             s.setText(Setting::Tariefcode, QStringLiteral("12a"));
         },
         {{C::pla_bdr_id, "3"},
          {C::pla_reiziger, "1024"},
          {C::pla_lopers, "2"},
          {C::pla_tekst, "Graag bellen\r\n\r\nRollator\r\nGeen bus"},
          {C::pla_ophstraat, "Stationsplein"},
          {C::pla_ophnummer, "1a"},
          {C::pla_ophstad, "Stationsplein"},
          {C::pla_ophpostcode, "1012 AB"},
          {C::pla_besstraat, "Ziekenhuislaan"},
          {C::pla_bestnummer, "20"},
          {C::pla_beststad, "Ziekenhuislaan"},
          {C::pla_bestpostcode, "1066 CX"},
          {C::pla_zone_aantal, "3"},
          {C::pla_bedrag, "12.50"},
          {C::pla_bedrag_5, "0.75"},
          {C::pla_opmerking, "Mevr. de Vries"},
          {C::pla_telefoon, "020-1234567"},
          {C::pla_combineren, "0"},
          {C::pla_rolstoel, "1"},
          {C::pla_rollers, "1"},
          {C::pla_soortwagen, "R"},
          {C::pla_spoed, "1"},
          {C::pla_bellen, "1"},
          {C::pla_soortvervoer, "Z"},
          {C::pla_filter, "A"},
          {C::pla_rc, "0"},
          {C::pla_tarief_bedrijf, "12"}}},
        {"postcode_short",
         "1",
         "<ssec>201101071146</ssec><szip>1234</szip><dzip>1234 AB</dzip>",
         nullptr,
         {{C::pla_ophpostcode, "1234 "}, {C::pla_bestpostcode, "1234  A"}}},
        {"numbers_cut",
         "1",
         "<ssec>201101071146</ssec><dnumber>12345678</dnumber><snumber>12345678901</snumber>",
         nullptr,
         {{C::pla_bestnummer, "123456"}, {C::pla_ophnummer, "1234567890"}}},
        {"costs_taken",
         "1",
         "<ssec>201101071146</ssec><costs>1999</costs>",
         nullptr,
         {{C::pla_bedrag, "19.99"}, {C::pla_bedrag_5, kNull}}},
        {"costs_ignored",
         "1",
         "<ssec>201101071146</ssec><costs>1999</costs><costs2>5</costs2>",
         [](Settings& s) {
             s.setChecked(Setting::costs, true);
             s.setChecked(Setting::costs2, true);
         },
         {{C::pla_bedrag, "0.00"}, {C::pla_bedrag_5, "0.00"}}},
        {"costs_absent_ticked",
         "1",
         "<ssec>201101071146</ssec>",
         [](Settings& s) { s.setChecked(Setting::costs, true); },
         {{C::pla_bedrag, kNull}}},
        {"scooter_always_wheelchair",
         "1",
         "<ssec>201101071146</ssec><extra>a b</extra><wheelchair>0</wheelchair><scootmobile>1</scootmobile>",
         [](Settings& s) { s.setChecked(Setting::Scoot, true); },
         {{C::pla_rolstoel, "1"},
          {C::pla_rollers, "1"},
          {C::pla_soortwagen, "R"},
          {C::pla_tekst, "a b\r\n\r\nScootmobiel"}}},
        {"scooter_plain",
         "1",
         "<ssec>201101071146</ssec><wheelchair>0</wheelchair><scootmobile>1</scootmobile>",
         nullptr,
         {{C::pla_rolstoel, "0"},
          {C::pla_rollers, "0"},
          {C::pla_soortwagen, "T"},
          {C::pla_tekst, "\r\n\r\nScootmobiel"}}},
        {"id_with_letters", "4711x", "<ssec>201101071146</ssec>", nullptr, {{C::pla_extern, "4711"}}},
        {"flags_other_than_1",
         "1",
         "<ssec>201101071146</ssec><dontcombine>true</dontcombine><wheelchair> "
         "1</wheelchair><priority>yes</priority>",
         nullptr,
         {{C::pla_combineren, "1"}, {C::pla_rolstoel, "0"}, {C::pla_spoed, "0"}}},
        {"texts_cut_and_converted",
         "1",
         "<ssec>201101071146</ssec><passenger>" + QByteArray(60, 'p') +
             "</passenger><splace>\xC5\x81\xC3\xB3"
             "d\xC5\xBA '--;</splace><extra>\xE2\x82\xAC \xE2\x9C\x93</extra>",
         nullptr,
         {{C::pla_opmerking, QString(50, u'p')},
          {C::pla_ophstraat, QStringLiteral("L\u00F3dz '--;")},
          {C::pla_tekst, QStringLiteral("€ ✓\r\n")}}},
    };
    return cases;
}

TEST_P(OrderHandling, NewOrdersBecomeRowsColumnByColumn) {
    for (const NewOrderCase& c : newOrderCases()) {
        SCOPED_TRACE(c.name);
        MemorySettings defaults;
        for (const SettingInfo& s : settingTable()) {
            if (s.id != Setting::w2wInkomende && s.id != Setting::w2wUitgaande &&
                s.id != Setting::xLoginServer && s.id != Setting::xLoginDatabase &&
                s.id != Setting::xLoginSQL && s.id != Setting::xPaswoordSQL) {
                s.isTickBox() ? settings.setChecked(s.id, defaults.checked(s.id))
                              : settings.setText(s.id, defaults.text(s.id));
            }
        }
        if (c.settings) {
            c.settings(settings);
        }
        // the document as a UTF-8 file
        const QStringList lines = handle("\xEF\xBB\xBF" + document("ADD", c.id, c.elements));
        ASSERT_EQ(lines, QStringList{handledLine(QStringLiteral("ADD"))});
        EXPECT_EQ(ack(), acknowledgement("BOB", c.id));
        const std::vector<QSqlRecord> all = rows();
        ASSERT_FALSE(all.empty());
        expectColumns(all.back(), c.expected);
        EXPECT_EQ(transactions().last(), QStringLiteral("%1,%2,91,")
                                             .arg(settings.number(Setting::Gebruiker))
                                             .arg(all.back().value(0).toInt()));
    }
}

TEST_P(OrderHandling, AnInvalidPickupTimeRefusesTheOrderWithoutARow) {
    const QStringList lines = handle(document("ADD", "4711", "<ssec>201113071146</ssec>"));
    EXPECT_EQ(lines, QStringList{errorLine(QStringLiteral("Invalid argument to date encode"))});
    EXPECT_EQ(ack(), acknowledgement("WOB", "4711"));
    EXPECT_TRUE(rows().empty());
    EXPECT_TRUE(transactions().isEmpty());
}

TEST_P(OrderHandling, ASaveTheDatabaseRefusesIsAnsweredWithWob) {
    if (GetParam() == Backend::SQLite) {
        db.exec(
            QStringLiteral("CREATE TRIGGER weiger BEFORE INSERT ON planning WHEN NEW.pla_lopers > 50 "
                           "BEGIN SELECT RAISE(ABORT, 'te veel passagiers'); END"));
    } else {
        db.exec(QStringLiteral("ALTER TABLE planning ADD CONSTRAINT weiger CHECK (pla_lopers <= 50)"));
    }
    const QStringList lines =
        handle(document("ADD", "4711", "<ssec>201101071146</ssec><npassenger>99</npassenger>"));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().startsWith(errorLine(QString()))) << lines.first().toStdString();
    EXPECT_EQ(ack(), acknowledgement("WOB", "4711"));
    EXPECT_TRUE(rows().empty());

    // the next order goes through: the refused row does not linger
    handle(document("ADD", "4712", "<ssec>201101071146</ssec>"));
    EXPECT_EQ(ack(), acknowledgement("BOB", "4712"));
    EXPECT_EQ(rows().size(), 1u);
}

TEST_P(OrderHandling, AfterTheSaveFailuresAreOnlyLogged) {
    // the acknowledgement cannot be written (the outbound folder goes once the file is taken): the
    // order stays saved and is not refused
    pump.onPump = [this] { QDir(outbound).removeRecursively(); };
    QStringList lines = handle(document("ADD", "4711", "<ssec>201101071146</ssec>"));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(errorLine(QStringLiteral("Cannot create file"))))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], handledLine(QStringLiteral("ADD")));
    EXPECT_EQ(rows().size(), 1u);
    EXPECT_EQ(transactions().size(), 1);
    pump.onPump = nullptr;
    root.mkdir(QStringLiteral("C2S"));

    // without TRANSACTIES the order is saved and acknowledged; the log is first reduced to the
    // database's message
    db.exec(QStringLiteral("DROP TABLE TRANSACTIES"));
    lines = handle(document("ADD", "4712", "<ssec>201101071146</ssec>"));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(lines[0], errors.messages.first());
    EXPECT_EQ(lines[1], handledLine(QStringLiteral("ADD")));
    EXPECT_EQ(ack(), acknowledgement("BOB", "4712"));
    EXPECT_EQ(rows().size(), 2u);
}

struct UpdateCase {
    const char* name;
    QByteArray elements;
    std::function<void(Settings&)> settings;
    Expected expected;
    int code;  // of the TRANSACTIES row, 0 when none
};

const std::vector<UpdateCase>& updateCases() {
    using C = Column;
    static const std::vector<UpdateCase> cases{
        {"cancel",
         "<canceled>1</canceled>",
         nullptr,
         {{C::pla_opmerking, "(VERWIJDERD DOOR OPDRACHTGEVER)"},
          {C::pla_status, "S"},
          {C::pla_telefoon, "020-1234567"},
          {C::pla_bellen, "1"},
          {C::pla_lopers, "2"}},
         93},
        {"canceled_other_text",
         "<canceled>2</canceled><contact>x</contact>",
         nullptr,
         {{C::pla_opmerking, "Mevr. de Vries"}, {C::pla_status, "W"}, {C::pla_telefoon, "020-1234567"}},
         0},
        {"canceled_true", "<canceled>true</canceled>", nullptr, {{C::pla_status, "W"}}, 0},
        {"amend_minimal",
         "<canceled>0</canceled>",
         nullptr,
         {{C::pla_telefoon, ""},
          {C::pla_zone_aantal, "0"},
          {C::pla_combineren, "1"},
          {C::pla_rolstoel, "0"},
          {C::pla_rollers, "0"},
          {C::pla_soortwagen, "R"},
          {C::pla_bellen, "0"},
          {C::pla_status, "W"},
          {C::pla_opmerking, "Mevr. de Vries"},
          {C::pla_tekst, "Graag bellen\r\n\r\nRollator\r\nGeen bus"},
          {C::pla_bdr_id, "3"},
          {C::pla_extern, "4711"},
          {C::pla_spoed, "1"},
          {C::pla_rc, "1"},
          {C::pla_soortvervoer, "Z"},
          {C::pla_ophpostcode, "1012 AB"},
          {C::pla_bedrag, "12.50"},
          {C::pla_datum, "2011-01-07 11:46:00"}},
         92},
        {"amend_rollator_appends",
         "<rollator>1</rollator>",
         nullptr,
         {{C::pla_tekst, "Graag bellen\r\n\r\nRollator\r\nGeen bus\r\nRollator"}},
         92},
        {"amend_extra_without_line_break",
         "<extra>[nieuw]</extra><nobus>1</nobus>",
         nullptr,
         {{C::pla_tekst, "nieuw\r\nGeen bus"}},
         92},
        {"amend_pickup_place_alone",
         "<splace>Markt</splace>",
         nullptr,
         {{C::pla_ophstraat, "Markt"},
          {C::pla_ophstad, "Markt"},
          {C::pla_ophnummer, ""},
          {C::pla_ophpostcode, " "},
          {C::pla_besstraat, "Ziekenhuislaan"}},
         92},
        {"amend_destination",
         "<dplace>Kliniek</dplace><dnumber>12345678</dnumber><dzip>9999ZZ</dzip>",
         nullptr,
         {{C::pla_besstraat, "Kliniek"},
          {C::pla_beststad, "Kliniek"},
          {C::pla_bestnummer, "12345678"},
          {C::pla_bestpostcode, "9999 ZZ"}},
         92},
        {"amend_all",
         "<ssec>201102031415</ssec><npassenger>4</npassenger><zones>5</zones><costs>999</costs>"
         "<costs2>1</costs2><passenger>Dhr. Jansen</passenger><dontcombine>1</dontcombine>"
         "<wheelchair>1</wheelchair><contact>06</contact><callback>1</callback><priority>0</priority>",
         [](Settings& s) { s.setChecked(Setting::costs2, true); },
         {{C::pla_datum, "2011-02-03 14:15:00"},
          {C::pla_tijdstip, "2011-02-03 14:15:00"},
          {C::pla_lopers, "4"},
          {C::pla_zone_aantal, "5"},
          {C::pla_bedrag, "9.99"},
          {C::pla_bedrag_5, "0.00"},
          {C::pla_opmerking, "Dhr. Jansen"},
          {C::pla_combineren, "0"},
          {C::pla_rolstoel, "1"},
          {C::pla_telefoon, "06"},
          {C::pla_bellen, "1"},
          {C::pla_spoed, "1"}},
         92},
        {"amend_scooter",
         "<scootmobile>1</scootmobile>",
         [](Settings& s) { s.setChecked(Setting::Scoot, true); },
         {{C::pla_rolstoel, "1"},
          {C::pla_rollers, "1"},
          {C::pla_soortwagen, "R"},
          {C::pla_tekst, "Graag bellen\r\n\r\nRollator\r\nGeen bus\r\nScootmobiel"}},
         92},
    };
    return cases;
}

TEST_P(OrderHandling, AmendmentsAndCancellationsChangeTheRowOfTheOrderNumber) {
    for (const UpdateCase& c : updateCases()) {
        SCOPED_TRACE(c.name);
        db.exec(QStringLiteral("DELETE FROM planning"));
        db.exec(QStringLiteral("DELETE FROM TRANSACTIES"));
        MemorySettings defaults;
        settings.setChecked(Setting::Scoot, false);
        settings.setChecked(Setting::costs2, false);
        settings.setText(Setting::Bedrijf, QStringLiteral("3"));
        handle(document("ADD", "4711", kFull));
        ASSERT_EQ(ack(), acknowledgement("BOB", "4711"));
        const QSqlRecord before = rows().front();
        if (c.settings) {
            c.settings(settings);
        }
        clock.advanceMs(1000);
        const QStringList lines = handle(document("UPD", " 4711 ", c.elements));
        EXPECT_EQ(lines.size(), 1) << lines.join(u'\n').toStdString();
        EXPECT_EQ(ack(), acknowledgement("BOB", " 4711 "));
        const std::vector<QSqlRecord> after = rows();
        ASSERT_EQ(after.size(), 1u);
        expectColumns(after.front(), c.expected);
        const QStringList tra = transactions();
        if (c.code) {
            ASSERT_EQ(tra.size(), 2);
            EXPECT_EQ(tra.last(), QStringLiteral("0,%1,%2,").arg(before.value(0).toInt()).arg(c.code));
            EXPECT_NE(shown(after.front(), Column::pla_temp), shown(before, Column::pla_temp));
        } else {
            EXPECT_EQ(tra.size(), 1);
            for (const ColumnInfo& col : planningColumns()) {
                EXPECT_EQ(shown(after.front(), col.id), shown(before, col.id))
                    << col.name.toString().toStdString();
            }
        }
        clock.set(QDateTime(QDate(2011, 1, 7), QTime(11, 50, 0)));
    }
}

TEST_P(OrderHandling, TheLowestRowOfAnOrderNumberIsChanged) {
    handle(document("ADD", "4711", "<ssec>201101071146</ssec><passenger>eerste</passenger>"));
    handle(document("ADD", "4711", "<ssec>201101071146</ssec><passenger>tweede</passenger>"));
    handle(document("UPD", "4711", "<canceled>1</canceled>"));
    const std::vector<QSqlRecord> all = rows();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(shown(all[0], Column::pla_status), QStringLiteral("S"));
    EXPECT_EQ(shown(all[1], Column::pla_status), QStringLiteral("W"));
}

struct RefusedCase {
    const char* name;
    QByteArray id;
    QByteArray elements;
    const char* error;
};

TEST_P(OrderHandling, UpdatesThatFindNoRowOrHaveABadNumberAreRefusedAndChangeNothing) {
    handle(document("ADD", "4711", "<ssec>201101071146</ssec>"));
    ack();
    const RefusedCase cases[] = {
        {"unknown_order", "999", "<canceled>1</canceled>", "Geen planningsrij met ordernummer 999 gevonden"},
        {"unknown_order_amend", "999", "", "Geen planningsrij met ordernummer 999 gevonden"},
        {"letters", "47x11", "<canceled>1</canceled>", "Ongeldig ordernummer in <id>: \"47x11\""},
        {"empty", "", "", "Ongeldig ordernummer in <id>: \"\""},
        {"injection", "0 OR 1=1", "<canceled>1</canceled>", "Ongeldig ordernummer in <id>: \"0 OR 1=1\""},
        {"statement", "1; DELETE FROM planning", "",
         "Ongeldig ordernummer in <id>: \"1; DELETE FROM planning\""},
        {"bad_pickup", "4711", "<ssec>201101072400</ssec>", "Invalid argument to time encode"},
    };
    const std::vector<QSqlRecord> before = rows();
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList lines = handle(document("UPD", c.id, c.elements));
        EXPECT_EQ(lines, QStringList{errorLine(QString::fromUtf8(c.error))});
        EXPECT_EQ(ack(), acknowledgement("WOB", c.id));
        const std::vector<QSqlRecord> after = rows();
        ASSERT_EQ(after.size(), before.size());
        for (const ColumnInfo& col : planningColumns()) {
            EXPECT_EQ(shown(after[0], col.id), shown(before[0], col.id)) << col.name.toString().toStdString();
        }
    }
    EXPECT_EQ(transactions().size(), 1);
}

// An amendment never changes these thirteen columns, whatever the document and the settings say.
TEST_P(OrderHandling, AnAmendmentLeavesTheOrdersOwnColumnsAlone) {
    settings.setText(Setting::Bedrijf, QStringLiteral("3"));
    handle(document("ADD", "4711", kFull + "<priority>1</priority>"));
    ASSERT_EQ(ack(), acknowledgement("BOB", "4711"));
    const QSqlRecord before = rows().front();
    settings.setText(Setting::Bedrijf, QStringLiteral("8"));
    settings.setText(Setting::Debiteur, QStringLiteral("99"));
    settings.setText(Setting::SV, QStringLiteral("Q"));
    settings.setText(Setting::Filter, QStringLiteral("X"));
    settings.setChecked(Setting::kor_oprek, !settings.checked(Setting::kor_oprek));
    handle(
        document("UPD", "4711",
                 "<canceled>0</canceled><priority>0</priority><zones>9</zones><npassenger>3</npassenger>"));
    ASSERT_EQ(ack(), acknowledgement("BOB", "4711"));
    const QSqlRecord after = rows().front();
    for (const Column c :
         {Column::pla_bdr_id, Column::pla_reiziger, Column::pla_extern, Column::pla_extern_ritnummer,
          Column::pla_zone_van, Column::pla_zone_naar, Column::pla_soortrit, Column::pla_soortvervoer,
          Column::pla_voorin, Column::pla_rc, Column::pla_filter, Column::pla_spoed, Column::pla_status}) {
        EXPECT_EQ(shown(after, c), shown(before, c)) << columnName(c).toString().toStdString();
    }
    EXPECT_EQ(shown(after, Column::pla_lopers), QStringLiteral("3")) << "the amendment itself was applied";
}

// A new order's row carries a key of its own, not the one its insert defaults gave it: the second
// key drawn for it.
TEST_P(OrderHandling, ANewOrderIsSavedWithAFreshKey) {
    draws = 0;
    handle(document("ADD", "4711", "<ssec>201101071146</ssec>"));
    const QString key = shown(rows().front(), Column::pla_temp);
    EXPECT_EQ(key, TemporaryKeys::format(clock.now(), 1));
    EXPECT_NE(key, TemporaryKeys::format(clock.now(), 0)) << "the insert default's key";
}

struct AmendmentFailure {
    const char* name;
    QByteArray elements;
};

// An amendment or a cancellation that the database refuses, or that meets no database, is refused
// with "WOB" and changes nothing; one whose answer cannot be written only logs.
TEST_P(OrderHandling, AmendmentsTheDatabaseRefusesAreAnsweredWithWob) {
    for (const AmendmentFailure& c :
         {AmendmentFailure{"cancellation", "<canceled>1</canceled>"},
          AmendmentFailure{"amendment", "<canceled>0</canceled><npassenger>99</npassenger>"}}) {
        SCOPED_TRACE(c.name);
        db.exec(QStringLiteral("DELETE FROM planning"));
        handle(document("ADD", "4711", "<ssec>201101071146</ssec>"));
        ASSERT_EQ(ack(), acknowledgement("BOB", "4711"));
        const QString before = shown(rows().front(), Column::pla_temp);
        if (GetParam() == Backend::SQLite) {
            db.exec(
                QStringLiteral("CREATE TRIGGER weiger BEFORE UPDATE ON planning "
                               "BEGIN SELECT RAISE(ABORT, 'geweigerd'); END"));
        } else {
            db.exec(
                QStringLiteral("ALTER TABLE planning ADD CONSTRAINT weiger CHECK (pla_lopers <= 50 AND "
                               "pla_status <> 'S')"));
        }
        const QStringList lines = handle(document("UPD", "4711", c.elements));
        ASSERT_EQ(lines.size(), 1) << lines.join(u'\n').toStdString();
        EXPECT_TRUE(lines.first().startsWith(errorLine(QString())));
        EXPECT_EQ(ack(), acknowledgement("WOB", "4711"));
        EXPECT_EQ(shown(rows().front(), Column::pla_temp), before) << "nothing changed";
        db.exec(GetParam() == Backend::SQLite
                    ? QStringLiteral("DROP TRIGGER weiger")
                    : QStringLiteral("ALTER TABLE planning DROP CONSTRAINT weiger"));
    }

    // without a database
    settings.setText(Setting::xLoginServer,
                     QStringLiteral("odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1"));
    ado.Close();
    for (const QByteArray& elements :
         {QByteArray("<canceled>1</canceled>"), QByteArray("<canceled>0</canceled>")}) {
        const QStringList lines = handle(document("UPD", "4711", elements));
        ASSERT_EQ(lines.size(), 1);
        EXPECT_EQ(ack(), acknowledgement("WOB", "4711"));
    }
}

TEST_P(OrderHandling, AnAmendmentsAnswerThatCannotBeWrittenIsOnlyLogged) {
    handle(document("ADD", "4711", "<ssec>201101071146</ssec>"));
    ack();
    pump.onPump = [this] { QDir(outbound).removeRecursively(); };  // once the file is taken
    const QStringList lines = handle(document("UPD", "4711", "<canceled>1</canceled>"));
    ASSERT_EQ(lines.size(), 2) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith(errorLine(QStringLiteral("Cannot create file"))));
    EXPECT_EQ(lines[1], handledLine(QStringLiteral("UPD")));
    EXPECT_EQ(shown(rows().front(), Column::pla_status), QStringLiteral("S"));
    EXPECT_EQ(transactions().size(), 2);
}

TEST_P(OrderHandling, WithoutADatabaseEveryOrderIsRefusedAndKeptInTheBackups) {
    settings.setText(Setting::xLoginServer,
                     QStringLiteral("odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1"));
    ado.Close();
    const QStringList lines = handle(document("ADD", "4711", "<ssec>201101071146</ssec>"));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().startsWith(errorLine(QString())));
    EXPECT_EQ(ack(), acknowledgement("WOB", "4711"));
    EXPECT_TRUE(QFile::exists(inbound + QStringLiteral("/Backups/doc.s2c")));
}

INSTANTIATE_TEST_SUITE_P(Backends, OrderHandling, ::testing::Values(Backend::SQLite, Backend::PostgreSQLOdbc),
                         backendName);

}  // namespace
}  // namespace vk::w2w
