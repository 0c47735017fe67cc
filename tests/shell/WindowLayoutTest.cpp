#include "shell/WindowFixture.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
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

// The design's positions: left, top, width, height inside the page (or the bottom panel).
const Placement kPlacements[] = {
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

TEST_F(WindowTest, PagesCaptionsAndLabelsAreTheDesignsTexts) {
    THoofdscherm& w = open();
    QStringList tabs;
    QStringList pages;
    for (int i = 0; i < form().RzPageControl1->count(); ++i) {
        tabs << form().RzPageControl1->tabText(i);
        pages << form().RzPageControl1->widget(i)->objectName();
    }
    EXPECT_EQ(tabs,
              (QStringList{"Instellingen", "Bijwerken", "LogboekPanel", "Bestanden", "Pakket", "Overig"}));
    EXPECT_EQ(pages.at(0), QStringLiteral("Instellingen"));
    EXPECT_EQ(pages.at(2), QStringLiteral("LogboekPanel"));
    EXPECT_EQ(pages.at(5), QStringLiteral("TabSheet1"));
    EXPECT_EQ(form().RzPageControl1->currentIndex(), 0);

    for (const SettingInfo& s : settingTable()) {
        SCOPED_TRACE(s.name.toString().toStdString());
        if (s.isTickBox()) {
            EXPECT_EQ(w.findChild<QCheckBox*>(s.name.toString())->text(), s.label.toString());
        } else {
            const auto* label = w.findChild<QLabel*>(s.name.toString() + QStringLiteral("Label"));
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->text(), s.label.toString());
            EXPECT_EQ(label->buddy(), w.findChild<QLineEdit*>(s.name.toString()));
        }
    }
    EXPECT_EQ(form().IntervalLabel->text(), QStringLiteral("Interval ''"));
    EXPECT_EQ(form().Button1->text(), QStringLiteral("UPDATE MANUEEL"));
    EXPECT_EQ(form().Button4->text(), QStringLiteral("VERBERGEN NAAR TAAKBALK"));
    EXPECT_EQ(form().Button5->text(), QStringLiteral("SLUITEN"));
    EXPECT_EQ(form().Button3->text(), QStringLiteral("TEST"));
    EXPECT_EQ(form().SpeedButton4->text(), QStringLiteral("UPDATE CONTROLE"));
    EXPECT_EQ(form().xPaswoordSQL->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(
        form().xPaswoordSQL->styleSheet().contains(QStringLiteral("lineedit-password-character: 42")));
    EXPECT_EQ(form().xLoginServer->statusTip(), QStringLiteral("Locatie SQL database"));
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
    for (QLabel* login : {form().xLoginServerLabel, form().xLoginDatabaseLabel, form().xLoginSQLLabel,
                          form().xPaswoordSQLLabel}) {
        EXPECT_EQ(login->font().family(), QStringLiteral("Tahoma"));
        EXPECT_TRUE(login->font().bold());
        EXPECT_EQ(login->font().pixelSize(), 13);
        EXPECT_EQ(login->x(), 16);
        // the face is really there, not a stand-in of the font system
        const QFontInfo shown(login->font());
        EXPECT_EQ(shown.family(), QStringLiteral("Tahoma"));
        EXPECT_TRUE(shown.bold());
    }
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
