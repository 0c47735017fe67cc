#include "shell/DesignStyle.h"
#include "shell/WindowFixture.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>

#include <gmock/gmock.h>

namespace vk {
namespace {

using test::WindowTest;

struct Placement {
    const char* name;
    int page;  // 1 to 6 for the pages, 0 for the bottom panel
    QRect geometry;
};

// The design's positions: left, top, width, height inside the page (or the bottom panel). Login
// labels stand at 16 left of their fields, the other labels above theirs.
const Placement kPlacements[] = {
    {"xLoginServerLabel", 1, {16, 23, 130, 18}},
    {"xLoginDatabaseLabel", 1, {16, 50, 130, 18}},
    {"xLoginSQLLabel", 1, {16, 77, 130, 18}},
    {"xPaswoordSQLLabel", 1, {16, 106, 130, 18}},
    {"DebiteurLabel", 1, {32, 149, 120, 17}},
    {"FilterLabel", 1, {152, 149, 60, 17}},
    {"IntervalLabel", 1, {216, 149, 120, 17}},
    {"GebruikerLabel", 1, {360, 146, 120, 17}},
    {"BedrijfLabel", 1, {32, 203, 120, 17}},
    {"SVLabel", 1, {152, 203, 120, 17}},
    {"TariefcodeLabel", 1, {360, 203, 120, 17}},
    {"w2wInkomendeLabel", 4, {24, 21, 553, 17}},
    {"w2wUitgaandeLabel", 4, {24, 77, 553, 17}},
    {"Levensteken", 0, {372, 20, 421, 17}},
    {"xLoginServer", 1, {151, 20, 354, 24}},
    {"xLoginDatabase", 1, {151, 47, 121, 24}},
    {"xLoginSQL", 1, {151, 74, 121, 24}},
    {"xPaswoordSQL", 1, {151, 103, 121, 24}},
    {"Button3", 1, {288, 74, 75, 25}},
    {"Debiteur", 1, {32, 168, 97, 24}},
    {"Filter", 1, {152, 168, 33, 24}},
    {"Interval", 1, {216, 168, 65, 24}},
    {"Gebruiker", 1, {360, 165, 129, 24}},
    {"Bedrijf", 1, {32, 222, 97, 24}},
    {"SV", 1, {152, 222, 33, 24}},
    {"Tariefcode", 1, {360, 222, 129, 24}},
    {"Automatisch", 1, {16, 264, 393, 17}},
    {"Backups", 1, {16, 287, 393, 17}},
    {"SpeedButton4", 2, {15, 116, 466, 61}},
    {"Logboek", 3, {0, 0, 797, 376}},
    {"w2wInkomende", 4, {24, 40, 553, 24}},
    {"w2wUitgaande", 4, {24, 96, 553, 24}},
    {"LP", 5, {0, 0, 797, 376}},
    {"costs", 6, {16, 15, 393, 17}},
    {"costs2", 6, {16, 38, 393, 17}},
    {"Scoot", 6, {16, 61, 393, 17}},
    {"kor_oprek", 6, {16, 104, 393, 17}},
    {"Button1", 0, {8, 16, 106, 25}},
    {"Button4", 0, {120, 16, 159, 25}},
    {"Button5", 0, {285, 16, 75, 25}},
};

TEST_F(WindowTest, EveryControlStandsWhereTheDesignPutsIt) {
    THoofdscherm& w = open();
    EXPECT_EQ(w.size(), QSize(801, 459));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_EQ(form().RzPageControl1->geometry(), QRect(0, 0, 801, 402));
    EXPECT_EQ(form().Panel1->geometry(), QRect(0, 402, 801, 57));
    for (const Placement& p : kPlacements) {
        SCOPED_TRACE(p.name);
        const auto* control = w.findChild<QWidget*>(QString::fromLatin1(p.name));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->geometry(), p.geometry);
        const QWidget* expectedParent =
            p.page == 0 ? form().Panel1 : form().RzPageControl1->widget(p.page - 1);
        EXPECT_EQ(control->parentWidget(), expectedParent);
    }
    // the pages themselves are the size that the two views fill
    const QWidget* page = form().RzPageControl1->widget(0);
    EXPECT_EQ(QRect(page->mapTo(form().RzPageControl1, QPoint(0, 0)), page->size()), QRect(2, 24, 797, 376));
    EXPECT_EQ(form().RzPageControl1->tabBar()->tabRect(0).height(), 22);
}

// Where a text is read: a label's or button's own text, a field's hint, a page's tab, the caption.
enum class Shown { Text, Hint, Tab, Caption };

struct ShownText {
    const char* object;
    Shown where;
    const char* text;
};

// Every text of the window as a person reads it, written out as the design gives it.
const ShownText kTexts[] = {
    {"Hoofdscherm", Shown::Caption, "Vindo Velora Karvex koppeling - v1.2.3.4"},
    {"Instellingen", Shown::Tab, "Instellingen"},
    {"Bijwerken", Shown::Tab, "Bijwerken"},
    {"LogboekPanel", Shown::Tab, "LogboekPanel"},
    {"Bestanden", Shown::Tab, "Bestanden"},
    {"Pakket", Shown::Tab, "Pakket"},
    {"TabSheet1", Shown::Tab, "Overig"},
    {"xLoginServerLabel", Shown::Text, "SQL server"},
    {"xLoginDatabaseLabel", Shown::Text, "Database"},
    {"xLoginSQLLabel", Shown::Text, "Inlognaam"},
    {"xPaswoordSQLLabel", Shown::Text, "Paswoord"},
    {"w2wInkomendeLabel", Shown::Text, "Locatie inkomende bestanden"},
    {"w2wUitgaandeLabel", Shown::Text, "Locatie uitkomende bestanden"},
    {"DebiteurLabel", Shown::Text, "Debiteurnummer"},
    {"BedrijfLabel", Shown::Text, "Bedrijf"},
    {"SVLabel", Shown::Text, "Soort vervoer"},
    {"IntervalLabel", Shown::Text, "Interval ''"},
    {"GebruikerLabel", Shown::Text, "Gebruiker"},
    {"TariefcodeLabel", Shown::Text, "Tariefcode"},
    {"FilterLabel", Shown::Text, "Filter"},
    {"Automatisch", Shown::Text, "Communicatie automatisch inschakelen"},
    {"Backups", Shown::Text, "Backups bijhouden van de inkomende pakketten"},
    {"kor_oprek", Shown::Text, "Ontvangen ritopdrachten op rekening plaatsen"},
    {"costs2", Shown::Text, "Ontvangen bedrag in COSTS2 niet verwerken"},
    {"costs", Shown::Text, "Ontvangen bedrag in COSTS niet verwerken"},
    {"Scoot", Shown::Text, "Scootmobiel > altijd rolstoel"},
    {"Button3", Shown::Text, "TEST"},
    {"SpeedButton4", Shown::Text, "UPDATE CONTROLE"},
    {"Button1", Shown::Text, "UPDATE MANUEEL"},
    {"Button4", Shown::Text, "VERBERGEN NAAR TAAKBALK"},
    {"Button5", Shown::Text, "SLUITEN"},
    {"xLoginServer", Shown::Hint, "Locatie SQL database"},
    {"xLoginDatabase", Shown::Hint, "Databasenaam Vindo Velora database"},
    {"xLoginSQL", Shown::Hint, "Inlognaam SQL database"},
    {"xPaswoordSQL", Shown::Hint, "Paswoord SQL database"},
    {"Gebruiker", Shown::Hint, "Gebruikersnummer"},
    {"Tariefcode", Shown::Hint, "Standaard tariefcode (referentiesleutel)"},
    {"Debiteur", Shown::Hint, ""},
    {"Bedrijf", Shown::Hint, ""},
    {"SV", Shown::Hint, ""},
    {"Interval", Shown::Hint, ""},
    {"Filter", Shown::Hint, ""},
    {"w2wInkomende", Shown::Hint, ""},
    {"w2wUitgaande", Shown::Hint, ""},
};

QString shownText(THoofdscherm& w, const QTabWidget& pages, const ShownText& t) {
    QWidget* control = t.where == Shown::Caption ? &w : w.findChild<QWidget*>(QString::fromLatin1(t.object));
    if (control == nullptr) {
        return QStringLiteral("(no %1)").arg(QString::fromLatin1(t.object));
    }
    switch (t.where) {
        case Shown::Caption:
            return control->windowTitle();
        case Shown::Tab:
            return pages.tabText(pages.indexOf(control));
        case Shown::Hint:
            return control->statusTip();
        case Shown::Text:
            break;
    }
    if (const auto* label = qobject_cast<QLabel*>(control)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<QAbstractButton*>(control)) {
        return button->text();
    }
    return QStringLiteral("(no text on %1)").arg(control->objectName());
}

TEST_F(WindowTest, EveryTextIsTheDesignsText) {
    THoofdscherm& w = open();
    for (const ShownText& t : kTexts) {
        SCOPED_TRACE(t.object);
        EXPECT_EQ(shownText(w, *form().RzPageControl1, t), QString::fromUtf8(t.text));
    }
    // a label belongs to its field: a click on it puts the caret there
    for (const char* field :
         {"xLoginServer", "xLoginDatabase", "xLoginSQL", "xPaswoordSQL", "Debiteur", "Filter", "Interval",
          "Gebruiker", "Bedrijf", "SV", "Tariefcode", "w2wInkomende", "w2wUitgaande"}) {
        const QString name = QString::fromLatin1(field);
        EXPECT_EQ(w.findChild<QLabel*>(name + QStringLiteral("Label"))->buddy(),
                  w.findChild<QLineEdit*>(name))
            << field;
    }
    EXPECT_EQ(form().RzPageControl1->currentIndex(), 0);
    EXPECT_EQ(form().xPaswoordSQL->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(
        form().xPaswoordSQL->styleSheet().contains(QStringLiteral("lineedit-password-character: 42")));
}

TEST_F(WindowTest, FontsOfTheDesign) {
    THoofdscherm& w = open();
    EXPECT_EQ(w.font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(w.font().pixelSize(), 11);
    EXPECT_EQ(QFontInfo(w.font()).family(), QStringLiteral("Tahoma"));
    EXPECT_THAT(QFontInfo(form().Debiteur->font()).family().toStdString(),
                ::testing::AnyOf("Arial", "Liberation Sans"));
    EXPECT_EQ(form().Button5->font().family(), QStringLiteral("Tahoma"));
    for (QWidget* pageControl :
         {static_cast<QWidget*>(form().Debiteur), static_cast<QWidget*>(form().costs),
          static_cast<QWidget*>(form().Logboek), static_cast<QWidget*>(form().DebiteurLabel)}) {
        EXPECT_EQ(pageControl->font().family(), QStringLiteral("Arial"))
            << pageControl->objectName().toStdString();
        EXPECT_EQ(pageControl->font().pixelSize(), 13);
    }
    // the login labels are bold at 10 points; how bold they look is in HowTheFirstPageLooks
    for (QLabel* login : {form().xLoginServerLabel, form().xLoginDatabaseLabel, form().xLoginSQLLabel,
                          form().xPaswoordSQLLabel}) {
        EXPECT_EQ(login->font().pixelSize(), 13);
    }
}

// The width of the stem of an "l" drawn in the face of `font` at 100 pixels: about 10 pixels in a
// regular face, 14 and more in a bold one.
int stemWidth(QFont font) {
    font.setPixelSize(100);
    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QPoint baseline(60, 160);
    painter.drawText(baseline, QStringLiteral("l"));
    painter.end();
    const int row =
        QFontMetrics(font).tightBoundingRect(QStringLiteral("l")).translated(baseline).center().y();
    int dark = 0;
    for (int x = 0; x < image.width(); ++x) {
        dark += qGray(image.pixel(x, row)) < 128 ? 1 : 0;
    }
    return dark;
}

// What a person sees on the first page, as drawn: the login labels in strokes that are bold, and
// pages of the button face's colour, the same as the bottom panel's. A face or a palette that the
// platform silently replaces shows here.
TEST_F(WindowTest, HowTheFirstPageLooks) {
    THoofdscherm& w = open();
    const QImage drawn = w.grab().toImage();
    const QPoint emptyPage = form().Instellingen->mapTo(&w, QPoint(700, 330));
    const QPoint emptyPanel = form().Panel1->mapTo(&w, QPoint(790, 50));
    const auto colourAt = [&drawn](QPoint at) { return QColor(drawn.pixel(at)).name().toStdString(); };
    EXPECT_EQ(colourAt(emptyPage), colourAt(emptyPanel));
    EXPECT_EQ(colourAt(emptyPanel), w.palette().color(QPalette::Button).name().toStdString());
    EXPECT_LE(stemWidth(form().DebiteurLabel->font()), 11) << "a regular face, for comparison";
    for (const QLabel* login : {form().xLoginServerLabel, form().xLoginDatabaseLabel, form().xLoginSQLLabel,
                                form().xPaswoordSQLLabel}) {
        EXPECT_GE(stemWidth(login->font()), 13) << login->objectName().toStdString();
    }
}

// The whole window, frame included, stands in the middle of the screen's available area.
struct Centring {
    QRect available;
    QSize client;
    QMargins frame;
    QPoint frameTopLeft;
};

TEST_F(WindowTest, TheWindowIsCentredFrameAndAll) {
    const Centring cases[] = {
        {{0, 0, 1920, 1040}, {801, 459}, {1, 23, 1, 1}, {558, 278}},
        {{1920, 0, 1280, 1024}, {801, 459}, {4, 30, 4, 4}, {2155, 265}},
        {{0, 0, 800, 600}, {801, 459}, {0, 0, 0, 0}, {0, 70}},
    };
    for (const Centring& c : cases) {
        EXPECT_EQ(centredFramePosition(c.available, c.client, c.frame), c.frameTopLeft);
    }
    // on a platform without frames the window is its frame
    THoofdscherm& w = open();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((w.frameGeometry().center() - available.center()).manhattanLength(), 1)
        << w.frameGeometry().x() << "," << w.frameGeometry().y();
}

TEST_F(WindowTest, KeyboardOrderOfTheFirstPage) {
    THoofdscherm& w = open();
    const QStringList expected{"xLoginServer", "xLoginDatabase", "xLoginSQL", "xPaswoordSQL", "Button3",
                               "Debiteur",     "Filter",         "Interval",  "Bedrijf",      "SV",
                               "Automatisch",  "Backups",        "Gebruiker", "Tariefcode"};
    QStringList order;
    QWidget* widget = form().xLoginServer;
    for (int i = 0; i < expected.size(); ++i) {
        order << widget->objectName();
        do {
            widget = widget->nextInFocusChain();
        } while (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(&w) ||
                 widget->parentWidget() != form().Instellingen);
    }
    EXPECT_EQ(order, expected);
    EXPECT_EQ(form().RzPageControl1->tabBar()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(form().SpeedButton4->focusPolicy(), Qt::NoFocus);
}

TEST_F(WindowTest, TheTwoViews) {
    open();
    QPlainTextEdit* log = form().Logboek;
    EXPECT_EQ(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_FALSE(log->isReadOnly());
    EXPECT_TRUE(log->toPlainText().isEmpty());
    QPlainTextEdit* lp = form().LP;
    EXPECT_EQ(lp->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(lp->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(lp->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(lp->toPlainText().isEmpty());
    EXPECT_TRUE(log->tabChangesFocus());
    EXPECT_TRUE(lp->tabChangesFocus());
}

}  // namespace
}  // namespace vk
