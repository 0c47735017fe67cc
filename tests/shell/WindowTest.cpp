#include "shell/LinkApplication.h"
#include "shell/ProgramFolderLock.h"
#include "shell/QtMessageRouting.h"
#include "shell/WindowFixture.h"
#include "shell/WindowRun.h"
#include "support/LoopbackHttp.h"
#include "support/StandardErrorCapture.h"
#include "update/QormAppUpdateNotify.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace vk {

// Shows a page elsewhere (a handler of its scheme), and says so as Qt's warning.
class PageHandler : public QObject {
    Q_OBJECT
public:
    QStringList shown;
public Q_SLOTS:
    void open(const QUrl& url) {
        shown << url.toString();
        qWarning("de pagina %s wordt elders getoond", qPrintable(url.toString()));
    }
};

namespace {

using test::exists;
using test::WindowTest;

QByteArray newOrder(int id) {
    return "<w2w><s2c><kind>ADD</kind><id>" + QByteArray::number(id) +
           "</id><ssec>201101071146</ssec><passenger>Dhr. Jansen</passenger></s2c></w2w>";
}

// Qt's own warnings are lines of Logboek, reached through the window's log view; those of the SQL
// classes are not (the link logs the failure itself).
TEST_F(WindowTest, QtWarningsAreLinesOfLogboek) {
    const QtMessageRouting routing;
    THoofdscherm& w = open();
    qWarning("a warning before Logboek takes them");
    const QtMessageRouting::LogAttachment attached(w.logView());
    qWarning("QSqlQuery::exec: database not open");
    qWarning("a warning of the toolkit");
    EXPECT_TRUE(QTest::qWaitFor([&] { return logText().contains(QStringLiteral("toolkit")); }, 2000));
    const QStringList lines = logText().split(u'\n');
    ASSERT_GE(lines.size(), 2) << logText().toStdString();
    EXPECT_TRUE(
        lines[lines.size() - 2].endsWith(QStringLiteral(" - Qt: a warning before Logboek takes them")));
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral(" - Qt: a warning of the toolkit")))
        << logText().toStdString();
    EXPECT_FALSE(logText().contains(QStringLiteral("QSql")));
}

TEST_F(WindowTest, FirstStartInAnEmptyProgramFolder) {
    THoofdscherm& w = open();
    for (const char* folder : {"W2W", "W2W/S2C", "W2W/S2C/Backups", "W2W/C2S", "W2W/C2S/Backups"}) {
        EXPECT_TRUE(QFileInfo(dir.file(QString::fromLatin1(folder))).isDir()) << folder;
    }
    EXPECT_EQ(form().w2wInkomende->text(), QDir::toNativeSeparators(dir.path() + QStringLiteral("/W2W/S2C")));
    EXPECT_EQ(form().w2wUitgaande->text(), QDir::toNativeSeparators(dir.path() + QStringLiteral("/W2W/C2S")));
    EXPECT_TRUE(w.W2WTimer().isArmed());
    EXPECT_TRUE(w.W2WTimer().isTicking());
    EXPECT_EQ(w.W2WTimer().intervalMs(), 10000);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.formShowCount(), 1);

    EXPECT_EQ(w.windowTitle(), QStringLiteral("Vindo Velora Karvex koppeling - v1.2.3.4"));
    EXPECT_EQ(w.trayHint(), w.windowTitle());
    EXPECT_EQ(w.updateVersion(), QStringLiteral("1.2.3.4"));
    // the other settings show their design values
    for (const SettingInfo& s : settingTable()) {
        if (s.isTickBox()) {
            EXPECT_EQ(w.settings().checked(s.id), s.defaultChecked()) << s.name.toString().toStdString();
        } else if (s.kind != SettingKind::Folder) {
            EXPECT_EQ(w.settings().text(s.id), s.defaultText.toString()) << s.name.toString().toStdString();
        }
    }
    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
}

TEST_F(WindowTest, StoredSettingsComeBackAndAStoredFolderIsNeverReplaced) {
    writeSettings(
        "<w2wInkomende_Text>/nergens/S2C</w2wInkomende_Text><Interval_Text>abc</Interval_Text>"
        "<SV_Text>ZX</SV_Text><Automatisch_Checked>TRUE</Automatisch_Checked>"
        "<xPaswoordSQL_Text>a&lt;b&amp;c\"d</xPaswoordSQL_Text>");
    THoofdscherm& w = open();
    EXPECT_EQ(form().w2wInkomende->text(), QStringLiteral("/nergens/S2C"));
    EXPECT_EQ(form().w2wUitgaande->text(), QDir::toNativeSeparators(dir.path() + QStringLiteral("/W2W/C2S")));
    EXPECT_EQ(form().Interval->text(), QStringLiteral("abc"));
    EXPECT_EQ(form().SV->text(), QStringLiteral("ZX"));
    EXPECT_EQ(form().xPaswoordSQL->text(), QStringLiteral("a<b&c\"d"));
    EXPECT_TRUE(form().Automatisch->isChecked());
    EXPECT_EQ(form().Filter->text(), QStringLiteral("W"));
    form().Filter->setText(QStringLiteral("A"));
    // "abc" reads as 0: armed without ticks
    EXPECT_TRUE(w.W2WTimer().isArmed());
    EXPECT_FALSE(w.W2WTimer().isTicking());
    endProgram();
    const MemorySettings stored = storedSettings();
    EXPECT_EQ(stored.text(Setting::Interval), QStringLiteral("abc"));
    EXPECT_EQ(stored.text(Setting::xPaswoordSQL), QStringLiteral("a<b&c\"d"));
    EXPECT_EQ(stored.text(Setting::Filter), QStringLiteral("W"));
}

struct IntervalCase {
    const char* name;
    const char* interval;
    int armedMs;  // 0: armed without ticks
};

class IntervalAtStart : public WindowTest, public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(IntervalAtStart, ArmsTheTimer) {
    writeSettings("<Interval_Text>" + QByteArray(GetParam().interval) + "</Interval_Text>");
    THoofdscherm& w = open();
    EXPECT_TRUE(w.W2WTimer().isArmed());
    EXPECT_EQ(w.W2WTimer().isTicking(), GetParam().armedMs != 0);
    EXPECT_EQ(w.W2WTimer().intervalMs(), GetParam().armedMs);
}

INSTANTIATE_TEST_SUITE_P(Cases, IntervalAtStart,
                         ::testing::Values(IntervalCase{"design", "10", 10000}, IntervalCase{"zero", "0", 0},
                                           IntervalCase{"no_digits", "abc", 0},
                                           IntervalCase{"digits_then_text", "5s", 5000},
                                           IntervalCase{"leading_blank", " 7", 7000},
                                           IntervalCase{"negative", "-3", 0},
                                           IntervalCase{"beyond_the_timer", "99999999", 2147483000}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(WindowTest, ZeroAtStartRunsNothingUntilDetailsShowsTheWindowWithANumber) {
    writeSettings("<Interval_Text>0</Interval_Text><Automatisch_Checked>TRUE</Automatisch_Checked>");
    THoofdscherm& w = open();
    EXPECT_FALSE(w.W2WTimer().isTicking());
    form().Interval->setText(QStringLiteral("3"));
    // Details on a visible window only brings it to the front
    w.PopupMenu1().findChild<QAction*>(QStringLiteral("Details1"))->trigger();
    EXPECT_EQ(w.formShowCount(), 1);
    EXPECT_FALSE(w.W2WTimer().isTicking());
    form().Button4->click();
    EXPECT_FALSE(w.isVisible());
    w.PopupMenu1().findChild<QAction*>(QStringLiteral("Details1"))->trigger();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.formShowCount(), 2);
    EXPECT_TRUE(w.W2WTimer().isTicking());
    EXPECT_EQ(w.W2WTimer().intervalMs(), 3000);
}

TEST_F(WindowTest, ATickTakesTheIntervalAnewAndZeroMeansTenSeconds) {
    writeSettings("<Interval_Text>5</Interval_Text>");
    THoofdscherm& w = open();
    QSignalSpy cycles(&w, &THoofdscherm::cycleStarting);
    w.W2WTimer().W2WTimerTimer();
    EXPECT_EQ(cycles.count(), 0) << "Automatisch is not ticked";
    EXPECT_TRUE(w.W2WTimer().isTicking());
    form().Automatisch->setChecked(true);
    w.W2WTimer().W2WTimerTimer();
    EXPECT_EQ(cycles.count(), 1);
    EXPECT_EQ(w.W2WTimer().intervalMs(), 5000);
    form().Interval->setText(QStringLiteral("0"));
    w.W2WTimer().W2WTimerTimer();
    EXPECT_EQ(w.W2WTimer().intervalMs(), 10000);
    EXPECT_EQ(cycles.count(), 2);
}

TEST_F(WindowTest, ArmingWithTheSameIntervalLeavesTheCountdownAlone) {
    THoofdscherm& w = open();
    // a coarse timer may fire up to 5% late: after 1.5 s a restarted countdown would be above 9.5 s
    const int start = w.W2WTimer().remainingMs();
    QTest::qWait(1500);
    const int before = w.W2WTimer().remainingMs();
    ASSERT_LE(before, start - 1400);
    form().Button4->click();
    w.PopupMenu1().findChild<QAction*>(QStringLiteral("Details1"))->trigger();
    EXPECT_EQ(w.formShowCount(), 2);
    EXPECT_LE(w.W2WTimer().remainingMs(), before);
    // another interval restarts it
    form().Interval->setText(QStringLiteral("20"));
    form().Button4->click();
    w.PopupMenu1().findChild<QAction*>(QStringLiteral("Details1"))->trigger();
    EXPECT_GT(w.W2WTimer().remainingMs(), 19000);
}

// A tick that sets the interval the timer already has leaves the running countdown alone.
TEST_F(WindowTest, ATickWithTheSameIntervalLeavesTheCountdownAlone) {
    writeSettings("<Automatisch_Checked>TRUE</Automatisch_Checked>");
    THoofdscherm& w = open();
    const int start = w.W2WTimer().remainingMs();
    QTest::qWait(1500);
    const int before = w.W2WTimer().remainingMs();
    ASSERT_LE(before, start - 1400);
    w.W2WTimer().W2WTimerTimer();  // Interval is 10: the interval it has
    EXPECT_LE(w.W2WTimer().remainingMs(), before);
    form().Interval->setText(QStringLiteral("20"));
    w.W2WTimer().W2WTimerTimer();
    EXPECT_GT(w.W2WTimer().remainingMs(), 19000) << "another interval starts the countdown again";
}

TEST_F(WindowTest, RealTicksRunCyclesOnceAutomatischIsTicked) {
    writeSettings("<Interval_Text>1</Interval_Text>");
    THoofdscherm& w = open();
    QSignalSpy cycles(&w, &THoofdscherm::cycleStarting);
    QTest::qWait(1300);
    EXPECT_EQ(cycles.count(), 0);
    EXPECT_EQ(form().Levensteken->text(), QStringLiteral("Nog geen cyclus"));
    form().Automatisch->setChecked(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return cycles.count() >= 1; }, 3000));
    EXPECT_TRUE(form().Levensteken->text().startsWith(QStringLiteral("Laatste cyclus ")));
}

// The whole road while the window is hidden: the timer finds the document, the engine saves the
// order into the embedded database and answers, the log and the packet view show it, and the
// settings are read from the fields at the moment of use.
TEST_F(WindowTest, ADocumentDroppedWhileHiddenIsHandledByTheTimer) {
    writeSettings(
        "<xLoginServer_Text>sqlite:planning.db</xLoginServer_Text><Interval_Text>1</Interval_Text>"
        "<Automatisch_Checked>TRUE</Automatisch_Checked>");
    THoofdscherm& w = open();
    form().Button4->click();
    ASSERT_FALSE(w.isVisible());
    form().Backups->setChecked(false);
    dir.write(QStringLiteral("W2W/S2C/4711.s2c"), newOrder(4711));
    dir.write(QStringLiteral("W2W/S2C/kapot.s2c"),
              "<w2w><s2c><kind>ADD</kind><id>12</id><ssec>201113071146</ssec>");
    const QString answer = dir.file(QStringLiteral("W2W/C2S/4711.c2s"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return exists(answer) && exists(dir.file("W2W/C2S/kapot.c2s")); }, 5000));
    EXPECT_TRUE(test::readAll(answer).contains("<kind>BOB</kind>"));
    EXPECT_TRUE(test::readAll(dir.file("W2W/C2S/kapot.c2s")).contains("<kind>WOB</kind>"));
    EXPECT_FALSE(exists(dir.file(QStringLiteral("W2W/S2C/Backups/4711.s2c"))));
    EXPECT_TRUE(logText().contains(QStringLiteral(" Verbinding W2W ADD XML: ")));
    EXPECT_TRUE(logText().contains(QStringLiteral(" - W2W XML: ")));
    EXPECT_TRUE(form().LP->toPlainText().contains(QStringLiteral("<kind>ADD</kind>")));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form().Levensteken->text().contains(QStringLiteral("1 geweigerd")); }, 3000));
    EXPECT_TRUE(form().Levensteken->text().contains(QStringLiteral("1 verwerkt")));
    EXPECT_TRUE(w.trayHint().startsWith(w.windowTitle() + QStringLiteral("\nLaatste cyclus ")));
    EXPECT_FALSE(w.isVisible());
}

TEST_F(WindowTest, AnErrorOfAButtonWipesTheLogAndACycleOnlyAppends) {
    writeSettings("<xLoginServer_Text>odbc:Driver={Geen Bestaande Driver}</xLoginServer_Text>");
    open();
    form().Logboek->appendPlainText(QStringLiteral("eerste regel"));
    form().Logboek->appendPlainText(QStringLiteral("tweede regel"));
    form().Button3->click();
    const QString message = logText();
    EXPECT_FALSE(message.contains(QStringLiteral("regel")));
    EXPECT_FALSE(message.isEmpty());
    EXPECT_TRUE(boxes.shown.empty());

    form().xLoginServer->setText(QStringLiteral("sqlite:planning.db"));
    form().Automatisch->setChecked(true);
    dir.write(QStringLiteral("W2W/S2C/onbekend.s2c"), "<kind>DEL</kind><id>1</id>");
    window->W2WTimer().W2WTimerTimer();
    const QStringList lines = logText().split(u'\n');
    ASSERT_EQ(lines.size(), message.split(u'\n').size() + 1);
    EXPECT_TRUE(logText().startsWith(message));
    EXPECT_TRUE(lines.last().contains(QStringLiteral(" Verbinding W2W DEL XML: ")));

    // an error of the tick itself is one more line
    const QMetaObject::Connection failing = QObject::connect(window.get(), &THoofdscherm::cycleStarting, [] {
        throw Error(QStringLiteral("Not enough timers available"));
    });
    window->W2WTimer().W2WTimerTimer();
    QObject::disconnect(failing);
    const QString expected = lines.join(u'\n') + QStringLiteral("\nNot enough timers available");
    EXPECT_TRUE(QTest::qWaitFor([&] { return logText() == expected; }, 1000)) << logText().toStdString();

    // the test that works reports in a message box, answered here
    form().Button3->click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Vindo Velora SQL werd database met succes geopend"));
    EXPECT_FALSE(window->ADO().isOpen());
}

// An object whose event handling fails, as any handler of the window might.
class FailingReceiver final : public QObject {
public:
    std::function<void()> fail;

protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            fail();
            return true;
        }
        return QObject::event(event);
    }
};

TEST_F(WindowTest, AnErrorThatEscapesAnEventReplacesTheLogAndTheProgramGoesOn) {
    THoofdscherm& w = open();
    form().Logboek->setPlainText(QStringLiteral("regel 1\nregel 2"));
    FailingReceiver receiver;
    const QString longMessage =
        QStringLiteral("De verbinding met de planningdatabase ging verloren. ").repeated(6);
    receiver.fail = [&] { throw Error(longMessage); };
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&receiver, &event);
    EXPECT_EQ(logText(), longMessage);
    form().RzPageControl1->setCurrentIndex(2);
    QCoreApplication::processEvents();
    const QTextBlock block = form().Logboek->document()->firstBlock();
    EXPECT_EQ(form().Logboek->document()->blockCount(), 1);
    EXPECT_GT(block.layout()->lineCount(), 1) << "the message wraps";

    receiver.fail = [] { throw SilentAbort(); };
    QCoreApplication::sendEvent(&receiver, &event);
    EXPECT_EQ(logText(), longMessage);
    EXPECT_TRUE(w.isVisible());
}

TEST_F(WindowTest, AnErrorInFormCreateIsLoggedAndStartUpGoesOn) {
    writeSettings("<Debiteur_Text>42</Debiteur_Text>");
    readVersion = [](const QString&) -> QString {
        throw Error(QStringLiteral("Versie-informatie onleesbaar"));
    };
    THoofdscherm& w = open();
    EXPECT_EQ(logText(), QStringLiteral("Versie-informatie onleesbaar"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Vindo Velora Karvex koppeling"));
    EXPECT_EQ(form().Debiteur->text(), QStringLiteral("42")) << "restored before the failing step";
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.formShowCount(), 1);
}

TEST_F(WindowTest, AnUnreadableSettingsFileIsReportedInTheLog) {
    dir.write(QStringLiteral("VeloraKarvex.xml"), "<Configuration><Hoofdscherm>");
    open();
    EXPECT_TRUE(logText().contains(QStringLiteral("VeloraKarvex.xml"))) << logText().toStdString();
    EXPECT_EQ(form().Interval->text(), QStringLiteral("10"));
}

TEST_F(WindowTest, SettingsChangedAfterAHideAreLostWhenTheProgramEndsWithoutAClose) {
    open();
    form().Debiteur->setText(QStringLiteral("42"));
    form().Button4->click();
    form().Debiteur->setText(QStringLiteral("43"));
    endProgram();  // as after an update hand-over
    EXPECT_EQ(storedSettings().text(Setting::Debiteur), QStringLiteral("42"));
}

TEST_F(WindowTest, AClosedWindowKeepsItsSettings) {
    THoofdscherm& w = open();
    QSignalSpy ends(&w, &THoofdscherm::endRequested);
    form().Debiteur->setText(QStringLiteral("42"));
    form().Button4->click();
    w.PopupMenu1().findChild<QAction*>(QStringLiteral("Details1"))->trigger();
    form().Debiteur->setText(QStringLiteral("43"));
    form().Button5->click();
    EXPECT_EQ(ends.count(), 1);
    EXPECT_FALSE(w.isVisible());
    endProgram();
    EXPECT_EQ(storedSettings().text(Setting::Debiteur), QStringLiteral("43"));
}

TEST_F(WindowTest, WithoutAHideOrCloseTheEndStillSavesTheSettings) {
    open();
    form().Tariefcode->setText(QStringLiteral("17"));
    endProgram();
    EXPECT_EQ(storedSettings().text(Setting::Tariefcode), QStringLiteral("17"));
}

TEST_F(WindowTest, SluitenInTheTrayMenuClosesAHiddenWindowAndItsConnection) {
    writeSettings("<xLoginServer_Text>sqlite:planning.db</xLoginServer_Text>");
    THoofdscherm& w = open();
    QSignalSpy ends(&w, &THoofdscherm::endRequested);
    w.ADO().open();
    form().Button4->click();
    form().Gebruiker->setText(QStringLiteral("9"));
    w.PopupMenu1().findChild<QAction*>(QStringLiteral("Sluirten1"))->trigger();
    EXPECT_EQ(ends.count(), 1);
    EXPECT_FALSE(w.ADO().isOpen());
    EXPECT_FALSE(w.isVisible());
    endProgram();
    EXPECT_EQ(storedSettings().text(Setting::Gebruiker), QStringLiteral("9"));
}

TEST_F(WindowTest, TheTrayMenuAndTheUpdateButtons) {
    THoofdscherm& w = open();
    QStringList items;
    for (const QAction* action : w.PopupMenu1().actions()) {
        items << (action->isSeparator() ? QStringLiteral("-") : action->objectName() + u'=' + action->text());
    }
    EXPECT_EQ(items, (QStringList{"Update1=Update", "Details1=Details", "-", "Sluirten1=Sluiten"}));
    EXPECT_EQ(w.PopupMenu1().actions().at(2)->objectName(), QStringLiteral("N1"));
    // the offscreen platform has no notification area: the program goes on without the icon
    EXPECT_EQ(w.RzTrayIcon1(), nullptr);

    int updates = 0;
    w.updateAction = [&] { ++updates; };
    form().SpeedButton4->click();
    w.PopupMenu1().findChild<QAction*>(QStringLiteral("Update1"))->trigger();
    EXPECT_EQ(updates, 2);

    // "UPDATE MANUEEL" does nothing at all
    form().Logboek->setPlainText(QStringLiteral("regel"));
    QSignalSpy ends(&w, &THoofdscherm::endRequested);
    form().Button1->click();
    EXPECT_EQ(updates, 2);
    EXPECT_EQ(logText(), QStringLiteral("regel"));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(ends.count(), 0);
}

// "UPDATE CONTROLE": the folders for backups and downloads, a copy of the program file, the check.
TEST_F(WindowTest, TheUpdateActionPreparesItsFoldersAndChecks) {
    programFile = dir.write(QStringLiteral("VeloraKarvexClient"), "het programma");
    THoofdscherm& w = open();
    EXPECT_EQ(w.QormAppUpdate1().Version, QStringLiteral("1.2.3.4"));
    w.QormAppUpdate1().UpdateFileURL.clear();
    w.PopupMenu1().findChild<QAction*>(QStringLiteral("Update1"))->trigger();
    EXPECT_TRUE(QFileInfo(dir.file(QStringLiteral("Backups"))).isDir());
    EXPECT_TRUE(QFileInfo(dir.file(QStringLiteral("TempDownloads"))).isDir());
    EXPECT_EQ(test::readAll(dir.file(QStringLiteral("Backups/VeloraKarvexClient"))), "het programma");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Er is geen nieuwe versie beschikbaar."));
    EXPECT_TRUE(openedUrls.isEmpty());
}

// The line that says that no browser took a page: the log's time stamp, then the link's own words.
bool isUnopenedPageLine(const QString& line, const QString& page) {
    const QString words = QStringLiteral(" - De webpagina \"%1\" kan niet geopend worden").arg(page);
    return line.size() == 19 + words.size() && line.endsWith(words) &&
           QDateTime::fromString(line.left(19), QStringLiteral("dd-MM-yyyy HH:mm:ss")).isValid();
}

// A page that no browser takes is one line of Logboek in the link's words, naming the page; what Qt
// says about it is on standard error and in the day's file, never in Logboek. The offscreen platform
// offers no shell services at all, so the page fails to open for real, whatever browser the machine
// has (BROWSER, xdg-open).
class UnopenedWebPage : public WindowTest {
protected:
    UnopenedWebPage() { openUrl = &openInDefaultBrowser; }  // what the window's run wires

    void expectOneLineAndQtAside(const QString& page) {
        ASSERT_EQ(openedUrls, QStringList{page});
        ASSERT_TRUE(QTest::qWaitFor([&] { return logText().contains(page); }, 2000));
        const QStringList naming = logText().split(u'\n').filter(page);
        ASSERT_EQ(naming.size(), 1) << logText().toStdString();
        EXPECT_TRUE(isUnopenedPageLine(naming[0], page)) << naming[0].toStdString();

        const QString qtAboutThePage = QStringLiteral(" - Qt: ");
        const auto saidByQt = [&](const QStringList& lines) {
            return lines.filter(qtAboutThePage).filter(u'\'' + page + u'\'').size();
        };
        const QStringList file =
            QString::fromUtf8(
                test::readAll(dir.file(QStringLiteral("Logboek/") +
                                       QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                                       QStringLiteral(".log"))))
                .split(u'\n');
        EXPECT_EQ(saidByQt(file), 1) << file.join(u'\n').toStdString();
        EXPECT_EQ(file.filter(page).size(), 2) << file.join(u'\n').toStdString();
        EXPECT_EQ(saidByQt(err.text().split(u'\n')), 1);
    }

    test::StandardErrorCapture err;
    const QtMessageRouting routing;
};

// "&Ja" to the question whether to open the web site (the manifest could not be fetched).
TEST_F(UnopenedWebPage, AfterJaToTheWebSite) {
    THoofdscherm& w = open();
    const QtMessageRouting::LogAttachment attached(w.logView());
    w.QormAppUpdate1().UpdateFileURL = QStringLiteral("http://127.0.0.1:1/Updates.txt");
    w.QormAppUpdate1().UpdatePageURL = QStringLiteral("http://www.vindovelora.example/");
    boxes.setNextAnswer(MessageBoxAnswer::Yes);
    form().SpeedButton4->click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              QStringLiteral("Er is geen nieuwe versie beschikbaar.\rWenst u de website te openen?"));
    expectOneLineAndQtAside(QStringLiteral("http://www.vindovelora.example/"));
}

// "Open webpagina" in the window of a newer version, on the manifest's page.
TEST_F(UnopenedWebPage, AfterOpenWebpagina) {
    test::LoopbackServer server;
    THoofdscherm& w = open();
    const QtMessageRouting::LogAttachment attached(w.logView());
    TQormAppUpdate& update = w.QormAppUpdate1();
    update.UpdateFileURL = server.url("/Updates.txt");
    server.replies["/Updates.txt"] = {
        "HTTP/1.0 200 OK", "[" + TQormAppUpdate::AppSectionName.toUtf8() +
                               "]\r\nVersion=1.2.3.5\r\nUpdatePageURL=http://www.vindovelora.example/"
                               "nieuw?versie=1.2.3.5\r\n"};
    update.showModal = [modal = update.showModal](TQormAppUpdateNotifyBox& box) {
        QTimer::singleShot(0, &box, [&box] {
            box.OpenWebPageButton->click();
            box.OKButton->click();
        });
        modal(box);
    };
    form().SpeedButton4->click();
    expectOneLineAndQtAside(QStringLiteral("http://www.vindovelora.example/nieuw?versie=1.2.3.5"));
}

// Whatever is said while a page is handed over stays out of Logboek, also what the page's handler
// says; a page that is taken gives no line of its own.
TEST_F(UnopenedWebPage, WhatIsSaidWhileAPageIsHandedOverStaysOutOfLogboek) {
    PageHandler handler;
    QDesktopServices::setUrlHandler(QStringLiteral("vk-proef"), &handler, "open");
    const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("vk-proef")); });
    THoofdscherm& w = open();
    const QtMessageRouting::LogAttachment attached(w.logView());
    w.openWebPage(QStringLiteral("vk-proef://pagina"));
    EXPECT_EQ(handler.shown, QStringList{QStringLiteral("vk-proef://pagina")});
    qWarning("daarna");
    ASSERT_TRUE(QTest::qWaitFor([&] { return logText().contains(QStringLiteral(" - Qt: daarna")); }, 2000));
    EXPECT_FALSE(logText().contains(QStringLiteral("vk-proef"))) << logText().toStdString();
    const QString printed = err.text();
    EXPECT_TRUE(printed.contains(QStringLiteral(" - Qt: de pagina vk-proef://pagina wordt elders getoond\n")))
        << printed.toStdString();
    EXPECT_FALSE(printed.contains(QStringLiteral("daarna"))) << printed.toStdString();
}

// The tray's "Update" and a second "UPDATE CONTROLE" while a check runs and while its download runs
// begin nothing again: one manifest request, one notification window, one download handed over
// once, and the copy in Backups stays the one the running check made.
TEST_F(WindowTest, UpdateWhileACheckOrItsDownloadRunsBeginsNothingAgain) {
    test::LoopbackServer server;
    programFile = dir.write(QStringLiteral("VeloraKarvexClient"), "het programma");
    QFile(dir.write(QStringLiteral("VeloraUpdater"), "#!/bin/sh\n"))
        .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    THoofdscherm& w = open();
    TQormAppUpdate& update = w.QormAppUpdate1();
    update.UpdateFileURL = server.url("/Updates.txt");
    server.replies["/Updates.txt"] = {
        "HTTP/1.0 200 OK",
        "[" + TQormAppUpdate::AppSectionName.toUtf8() +
            "]\r\nVersion=1.2.3.5\r\nDownloadFileURL=" + server.url("/VeloraKarvexClient").toUtf8() + "\r\n"};
    server.replies["/VeloraKarvexClient"] = {"HTTP/1.0 200 OK", QByteArray(4000, 'p'), 4};
    int windows = 0;
    update.showModal = [&windows, modal = update.showModal](TQormAppUpdateNotifyBox& box) {
        if (++windows > 1) {
            return;  // a second window would wait for a person
        }
        QTimer::singleShot(0, &box, [&box] { box.DownloadButton->click(); });
        modal(box);  // the real modal window
    };
    QStringList asked;      // the phases in which the update was asked for again
    QStringList whileBusy;  // those in which the check was still running then
    server.onRequest = [&](const QByteArray& request) {
        const QString phase = request.startsWith("GET /Updates.txt ")          ? QStringLiteral("controle")
                              : request.startsWith("GET /VeloraKarvexClient ") ? QStringLiteral("download")
                                                                               : QString();
        if (phase.isEmpty() || asked.contains(phase)) {
            return;
        }
        asked << phase;
        QTimer::singleShot(0, &w, [&, phase] {
            if (w.QormAppUpdate1().isChecking()) {
                whileBusy << phase;
            }
            // a newer program file: an update action begun again would copy it into Backups
            dir.write(QStringLiteral("VeloraKarvexClient"), "een latere");
            w.PopupMenu1().findChild<QAction*>(QStringLiteral("Update1"))->trigger();
            form().SpeedButton4->click();
        });
    };
    form().SpeedButton4->click();
    server.onRequest = nullptr;
    const auto requestsFor = [&](const char* start) {
        return std::count_if(server.requests.begin(), server.requests.end(),
                             [start](const QByteArray& r) { return r.startsWith(start); });
    };
    EXPECT_EQ(whileBusy.join(u' ').toStdString(), "controle download");
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(requestsFor("GET /Updates.txt "), 1);
    EXPECT_EQ(requestsFor("HEAD /VeloraKarvexClient "), 1);
    EXPECT_EQ(requestsFor("GET /VeloraKarvexClient "), 1);
    EXPECT_EQ(startedPrograms.size(), 1) << logText().toStdString();
    EXPECT_EQ(test::readAll(dir.file(QStringLiteral("Backups/VeloraKarvexClient"))).toStdString(),
              "het programma");
    EXPECT_FALSE(update.isChecking());
}

TEST_F(WindowTest, TheTrayHintStaysWithin127Characters) {
    readVersion = [](const QString&) { return QString(200, u'9'); };
    THoofdscherm& w = open();
    EXPECT_EQ(w.trayHint().size(), 127);
    EXPECT_TRUE(w.windowTitle().endsWith(QString(200, u'9')));
}

TEST_F(WindowTest, DetailsBringsBackThePageThatWasActive) {
    THoofdscherm& w = open();
    form().RzPageControl1->setCurrentIndex(3);
    form().Button4->click();
    EXPECT_FALSE(w.isVisible());
    w.PopupMenu1().findChild<QAction*>(QStringLiteral("Details1"))->trigger();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(form().RzPageControl1->currentIndex(), 3);
}

// The tray icon's gestures as the platform reports them (the offscreen platform has no
// notification area, so the report is made here), and the menu's "Details". Another window is
// in front when the gesture comes.
struct TrayGesture {
    const char* name;
    bool hiddenBefore;
    std::optional<QSystemTrayIcon::ActivationReason> reason;  // nothing: "Details" in the menu
    bool shownAfter;
    bool inFront;
    int formShows;
};

TEST_F(WindowTest, TheTrayIconsGestures) {
    const TrayGesture gestures[] = {
        {"double click on a hidden window", true, QSystemTrayIcon::DoubleClick, true, true, 1},
        {"single click on a hidden window", true, QSystemTrayIcon::Trigger, false, false, 1},
        {"single click on a shown window", false, QSystemTrayIcon::Trigger, true, false, 1},
        {"middle button", true, QSystemTrayIcon::MiddleClick, false, false, 1},
        {"menu over a hidden window", true, QSystemTrayIcon::Context, false, false, 1},
        {"menu over a shown window", false, QSystemTrayIcon::Context, true, true, 1},
        {"Details on a hidden window", true, std::nullopt, true, true, 2},
    };
    for (const TrayGesture& g : gestures) {
        SCOPED_TRACE(g.name);
        THoofdscherm& w = open();
        if (g.hiddenBefore) {
            form().Button4->click();
        }
        QWidget other;
        other.show();
        other.activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &other; }));
        if (g.reason) {
            w.trayActivated(*g.reason);
        } else {
            w.PopupMenu1().findChild<QAction*>(QStringLiteral("Details1"))->trigger();
        }
        if (g.inFront) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &w; }));
        } else {
            QCoreApplication::processEvents();
            EXPECT_EQ(QApplication::activeWindow(), &other);
        }
        EXPECT_EQ(w.isVisible(), g.shownAfter);
        EXPECT_EQ(w.formShowCount(), g.formShows);
        endProgram();
    }
}

// Qt's own texts that a person reads are Dutch, as Qt's translations have them: the context menu
// of a text field (a setting, Logboek, LP) and the folder picker's buttons.
TEST_F(WindowTest, QtsOwnTextsAreDutch) {
    open();
    const auto menuTexts = [](QMenu* menu) {
        QStringList texts;
        for (const QAction* action : menu->actions()) {
            if (!action->isSeparator()) {
                texts << action->text();
            }
        }
        delete menu;
        return texts;
    };
    const QStringList editing{"&Ongedaan maken\tCtrl+Z", "Opnie&uw\tCtrl+Y", "Kni&ppen\tCtrl+X",
                              "&Kopi\u00ebren\tCtrl+C",  "P&lakken\tCtrl+V", "Verwijderen",
                              "Alles selecteren\tCtrl+A"};
    form().Logboek->setPlainText(QStringLiteral("regel"));
    form().LP->setPlainText(QStringLiteral("<kind>ADD</kind>"));
    const std::unique_ptr<QFileDialog> picker =
        DialogFolderPicker::dialog(window.get(), form().w2wInkomende->text());
    picker->setOption(QFileDialog::DontUseNativeDialog);
    picker->show();
    QStringList pickerTexts;
    for (const QPushButton* button : picker->findChildren<QPushButton*>()) {
        pickerTexts << button->text();
    }
    pickerTexts << picker->findChild<QLabel*>(QStringLiteral("lookInLabel"))->text();
    const struct {
        const char* where;
        QStringList shown;
        QStringList dutch;
    } texts[] = {
        {"a setting's context menu", menuTexts(form().Debiteur->createStandardContextMenu()), editing},
        {"Logboek's context menu", menuTexts(form().Logboek->createStandardContextMenu()), editing},
        {"LP's context menu", menuTexts(form().LP->createStandardContextMenu()), editing},
        {"the folder picker", pickerTexts, {"&Kiezen", "Annuleren", "Zoeken in:"}},
    };
    for (const auto& t : texts) {
        EXPECT_EQ(t.shown, t.dutch) << t.where;
    }
}

// Without Qt's translations the window works in Qt's English; the run says why in one line.
TEST(QtTranslations, MissingOnesAreReportedNotFatal) {
    const test::TempFolder empty;
    const std::optional<QString> problem = installDutchQtTranslations(empty.path());
    ASSERT_TRUE(problem.has_value());
    EXPECT_TRUE(problem->contains(QStringLiteral("qtbase_nl.qm"))) << problem->toStdString();
    EXPECT_FALSE(problem->contains(u'\n'));
}

TEST_F(WindowTest, MinimisingHidesTheWindow) {
    THoofdscherm& w = open();
    w.setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 2000));
    w.restoreFromTray();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isMinimized());
    EXPECT_EQ(w.formShowCount(), 1);
}

TEST_F(WindowTest, EnterAloneInsertsNothingInThePacketView) {
    open();
    QPlainTextEdit* lp = form().LP;
    form().RzPageControl1->setCurrentIndex(4);
    QTest::keyClicks(lp, QStringLiteral("ab"));
    QTest::keyClick(lp, Qt::Key_Return);
    QTest::keyClick(lp, Qt::Key_Enter);
    QTest::keyClicks(lp, QStringLiteral("c"));
    EXPECT_EQ(lp->toPlainText(), QStringLiteral("abc"));
    QTest::keyClick(lp, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(lp, QStringLiteral("d"));
    EXPECT_EQ(lp->toPlainText(), QStringLiteral("abc\nd"));
    // in the log the user may type and break lines as in any text field
    QTest::keyClicks(form().Logboek, QStringLiteral("x"));
    QTest::keyClick(form().Logboek, Qt::Key_Return);
    EXPECT_EQ(logText(), QStringLiteral("x\n"));
}

TEST_F(WindowTest, TheFolderButtonPutsTheChosenFolderIntoTheField) {
    THoofdscherm& w = open();
    const QString before = form().w2wUitgaande->text();
    auto* pick = w.findChild<QAction*>(QStringLiteral("w2wUitgaandeKiezen"));
    ASSERT_NE(pick, nullptr);
    folders.answer.reset();
    pick->trigger();
    EXPECT_EQ(form().w2wUitgaande->text(), before);
    folders.answer = QStringLiteral("/srv/karvex/uit");
    pick->trigger();
    EXPECT_EQ(form().w2wUitgaande->text(), QStringLiteral("/srv/karvex/uit"));
    EXPECT_EQ(folders.asked, (QStringList{before, before}));
}

// "SLUITEN" clicked while a cycle pumps messages: the connection closes and the settings are saved
// at once, the cycle opens the connection again for the files that are left and handles all of
// them, and the program ends only when the tick has returned to the message loop.
TEST_F(WindowTest, ACloseDuringACycleLetsTheCycleFinishFirst) {
    writeSettings(
        "<xLoginServer_Text>sqlite:planning.db</xLoginServer_Text><Interval_Text>1</Interval_Text>"
        "<Automatisch_Checked>TRUE</Automatisch_Checked>");
    THoofdscherm& w = open();
    for (int id = 1; id <= 5; ++id) {
        dir.write(QStringLiteral("W2W/S2C/%1.s2c").arg(id), newOrder(id));
    }
    QObject::connect(&w, &THoofdscherm::endRequested, qApp, &QCoreApplication::quit);
    bool clicked = false;
    QObject::connect(&w, &THoofdscherm::cycleStarting, &w, [&] {
        if (!clicked) {
            clicked = true;
            form().Debiteur->setText(QStringLiteral("77"));
            QTimer::singleShot(0, form().Button5, &QPushButton::click);
        }
    });
    QTimer::singleShot(15000, qApp, &QCoreApplication::quit);  // a safety net only
    QCoreApplication::exec();
    ASSERT_TRUE(clicked);
    EXPECT_FALSE(w.engine().cycleRunning());
    EXPECT_EQ(w.engine().counts().handled, 5);
    for (int id = 1; id <= 5; ++id) {
        EXPECT_TRUE(
            test::readAll(dir.file(QStringLiteral("W2W/C2S/%1.c2s").arg(id))).contains("<kind>BOB</kind>"));
    }
    EXPECT_FALSE(w.isVisible());
    endProgram();
    EXPECT_EQ(storedSettings().text(Setting::Debiteur), QStringLiteral("77"));
}

// Lines that come in a burst reach the log together a little later, none lost and in order; a
// replacement takes effect at once and drops what had not been shown yet.
TEST(LogView, ABurstOfLinesArrivesWholeAndAReplacementWins) {
    QPlainTextEdit edit;
    PlainTextLog log(edit);
    log.appendLine(QStringLiteral("1"));
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("1")) << "after a quiet spell a line shows at once";
    log.appendLine(QStringLiteral("2"));
    log.appendLine(QStringLiteral("3"));
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("1"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit.toPlainText() == QStringLiteral("1\n2\n3"); }, 1000));
    log.appendLine(QStringLiteral("4"));
    log.replaceText(QStringLiteral("fout"));
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("fout"));
    QTest::qWait(2 * RefreshThrottle::kRefreshMs);
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("fout"));
    log.appendLine(QStringLiteral("5"));
    log.flush();
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("fout\n5"));
}

// Started for the window on a folder that another link holds: a message box says so and nothing
// of the window opens.
TEST(WindowRunLock, ASecondLinkOnTheFolderOnlyShowsAMessage) {
    test::TempFolder dir;
    const ProgramFolderLock holder(dir.path() + u'/');
    ASSERT_FALSE(holder.takenBy().has_value());
    test::ScriptedMessageBoxes boxes;
    CommandLine cl;
    cl.folder = dir.path();
    EXPECT_EQ(runWindow(cl, boxes), ProgramFolderLock::kTakenExitCode);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Vindo Velora\u00ae fout"));
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("De programmamap %1/ is al in gebruik door een "
                                                              "andere koppeling (proces %2 op ")
                                                   .arg(dir.path())
                                                   .arg(QCoreApplication::applicationPid())));
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    EXPECT_FALSE(exists(dir.file(QStringLiteral("VeloraKarvex.xml"))));
    EXPECT_FALSE(exists(dir.file(QStringLiteral("W2W"))));
}

// The window's run hands web pages to the default browser: on the offscreen platform none takes
// them, and Logboek of the run's own window says so in one line.
TEST(WindowRunWebPage, TheRunsWindowSaysAPageNoBrowserTakes) {
    const QtMessageRouting routing;
    test::TempFolder dir;
    test::ScriptedMessageBoxes boxes;
    CommandLine cl;
    cl.folder = dir.path();
    const QString page = QStringLiteral("http://www.vindovelora.example/");
    QString logboek;
    bool asked = false;
    QTimer inTheLoop;
    QObject::connect(&inTheLoop, &QTimer::timeout, [&] {
        if (asked || QThread::currentThread()->loopLevel() < 1) {
            return;  // not yet in the run's own loop
        }
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<THoofdscherm*>(widget)) {
                asked = true;
                window->openWebPage(page);
                EXPECT_TRUE(QTest::qWaitFor(
                    [&] { return window->form().Logboek->toPlainText().contains(page); }, 2000));
                logboek = window->form().Logboek->toPlainText();
                QCoreApplication::exit(0);
            }
        }
    });
    inTheLoop.start(20);
    EXPECT_EQ(runWindow(cl, boxes), 0);
    ASSERT_TRUE(asked);
    const QStringList naming = logboek.split(u'\n').filter(page);
    ASSERT_EQ(naming.size(), 1) << logboek.toStdString();
    EXPECT_TRUE(isUnopenedPageLine(naming[0], page)) << naming[0].toStdString();
}

}  // namespace
}  // namespace vk

#include "WindowTest.moc"
