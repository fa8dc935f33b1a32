// The tip window: tips from the file, the random choice, the missing-file
// text, the start-up switch and the ways of closing it.
#include "mainwindow/frmoptions.h"
#include "mainwindow/frmtip.h"
#include "mainwindow/menus_help.h"
#include "platform/settings.h"
#include "search/tipsfile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace {

using kormial::frmTip;

class TipWindowTest : public ::testing::Test {
protected:
    QTemporaryDir config;   // the user's configuration folder
    QTemporaryDir program;  // the program's folder, where the tips file lies
    std::unique_ptr<QMainWindow> owner;

    void SetUp() override
    {
        ASSERT_TRUE(config.isValid());
        ASSERT_TRUE(program.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        owner = std::make_unique<QMainWindow>();
        owner->resize(400, 300);
        owner->show();
    }

    void TearDown() override
    {
        owner.reset();  // takes any tip window with it
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void writeTips(const QByteArray& bytes)
    {
        QFile f(QDir(program.path()).filePath("TIPOFDAY.TXT"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QPointer<frmTip> show()
    {
        return QPointer<frmTip>(kormial::ShowTipOfTheDay(owner.get(), program.path()));
    }

    static bool closed(QPointer<frmTip>& tip)
    {
        return QTest::qWaitFor([&] { return tip.isNull(); }, 2000);
    }
};

TEST_F(TipWindowTest, ShowsARandomTipBesideTheOwner)
{
    writeTips("Alpha\r\nBravo\r\nCharlie\r\n");
    QPointer<frmTip> tip = show();
    ASSERT_FALSE(tip.isNull());
    EXPECT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->windowTitle(), "Tip of the Day");
    EXPECT_EQ(tip->parentWidget(), owner.get());
    EXPECT_FALSE(tip->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(tip->chkLoadTipsAtStartup->isChecked());
    EXPECT_EQ(tip->TipList(), QStringList({"Alpha", "Bravo", "Charlie"}));
    ASSERT_GE(tip->TipIndex(), 1);
    ASSERT_LE(tip->TipIndex(), 3);
    EXPECT_EQ(tip->lblTipText->text(), tip->TipList().at(tip->TipIndex() - 1));
    EXPECT_EQ(tip->lblDidYouKnow->text(), "Did you know...");
    EXPECT_EQ(tip->cmdOK->text(), "OK");
    EXPECT_EQ(tip->cmdNextTip->text(), "&Next Tip");
    EXPECT_EQ(tip->chkLoadTipsAtStartup->text(), "&Show Tips at Startup");
}

TEST_F(TipWindowTest, EmptyLineIsATipThatCanBeDrawn)
{
    writeTips("one\n\nthree\n");
    frmTip tip(owner.get(), program.path());
    double r = 0.5;  // the middle of three tips
    tip.SetRandomSource([&] { return r; });
    ASSERT_TRUE(tip.Form_Load());
    ASSERT_EQ(tip.TipList().size(), 3);
    EXPECT_EQ(tip.TipIndex(), 2);
    EXPECT_EQ(tip.lblTipText->text(), "");
    r = 0.9;
    tip.cmdNextTip->click();
    EXPECT_EQ(tip.TipIndex(), 3);
    EXPECT_EQ(tip.lblTipText->text(), "three");
    r = 0.0;
    tip.cmdNextTip->click();
    EXPECT_EQ(tip.lblTipText->text(), "one");
}

TEST_F(TipWindowTest, NextTipStaysInRangeAndReachesEveryTip)
{
    writeTips("A\rB\rC\rD\rE");
    QPointer<frmTip> tip = show();
    ASSERT_FALSE(tip.isNull());
    std::set<QString> seen;
    for (int i = 0; i < 400; ++i) {
        tip->cmdNextTip->click();
        ASSERT_GE(tip->TipIndex(), 1);
        ASSERT_LE(tip->TipIndex(), 5);
        seen.insert(tip->lblTipText->text());
    }
    EXPECT_EQ(seen, (std::set<QString>{"A", "B", "C", "D", "E"}));
}

TEST_F(TipWindowTest, SingleTipComesEveryTime)
{
    writeTips("The only tip");
    QPointer<frmTip> tip = show();
    ASSERT_FALSE(tip.isNull());
    for (int i = 0; i < 20; ++i) {
        tip->cmdNextTip->click();
        EXPECT_EQ(tip->TipIndex(), 1);
        EXPECT_EQ(tip->lblTipText->text(), "The only tip");
    }
}

TEST_F(TipWindowTest, MissingFileShowsTheExplanation)
{
    QPointer<frmTip> tip = show();
    ASSERT_FALSE(tip.isNull());
    const QString expected = QString::fromStdString(kormial::MissingTipsText());
    EXPECT_EQ(tip->lblTipText->text(), expected);
    EXPECT_TRUE(tip->TipList().isEmpty());
    tip->cmdNextTip->click();
    EXPECT_EQ(tip->lblTipText->text(), expected);
    EXPECT_FALSE(tip->LoadTips(QString()));
}

TEST_F(TipWindowTest, EmptyFileShowsNoTip)
{
    writeTips("");
    QPointer<frmTip> tip = show();
    ASSERT_FALSE(tip.isNull());
    EXPECT_TRUE(tip->TipList().isEmpty());
    EXPECT_EQ(tip->TipIndex(), 1);
    EXPECT_EQ(tip->lblTipText->text(), "");
    tip->cmdNextTip->click();
    tip->DisplayCurrentTip();
    EXPECT_EQ(tip->lblTipText->text(), "");
}

TEST_F(TipWindowTest, TipTextIsShownAsItStands)
{
    writeTips("Use <b>bold</b> &amp; <img src=\"x.png\">\ncaf\xc3\xa9\ncaf\xe9\n");
    frmTip tip(owner.get(), program.path());
    int next = 0;
    tip.SetRandomSource([&] { return (next++ % 3) / 3.0 + 0.01; });
    ASSERT_TRUE(tip.Form_Load());
    EXPECT_EQ(tip.lblTipText->textFormat(), Qt::PlainText);
    EXPECT_EQ(tip.lblTipText->text(), "Use <b>bold</b> &amp; <img src=\"x.png\">");
    tip.cmdNextTip->click();
    EXPECT_EQ(tip.lblTipText->text(), QString::fromUtf8("caf\xc3\xa9"));
    // A line that is not UTF-8 is read byte by byte as Latin-1.
    tip.cmdNextTip->click();
    EXPECT_EQ(tip.lblTipText->text(), QString::fromUtf8("caf\xc3\xa9"));
}

TEST_F(TipWindowTest, SettingZeroKeepsTheWindowAway)
{
    writeTips("tip\n");
    kormial::SetShowTipsAtStartup(false);
    EXPECT_TRUE(show().isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(owner->findChildren<frmTip*>().isEmpty());
    for (QWidget* w : QApplication::topLevelWidgets()) {
        EXPECT_EQ(qobject_cast<frmTip*>(w), nullptr);
    }
}

TEST_F(TipWindowTest, SettingThatIsNoNumberShowsTheWindow)
{
    writeTips("tip\n");
    kormial::platform::SaveSetting("Options", "Show Tips at Startup", "yes please");
    QPointer<frmTip> tip = show();
    ASSERT_FALSE(tip.isNull());
    EXPECT_TRUE(tip->chkLoadTipsAtStartup->isChecked());
    // Nothing is written back just by showing it.
    EXPECT_EQ(kormial::platform::GetSetting("Options", "Show Tips at Startup"), "yes please");
}

TEST_F(TipWindowTest, CheckBoxWritesAtOnceAndCountsAtTheNextStart)
{
    writeTips("tip\n");
    QPointer<frmTip> tip = show();
    ASSERT_FALSE(tip.isNull());
    tip->chkLoadTipsAtStartup->click();
    EXPECT_EQ(kormial::platform::GetSetting("Options", "Show Tips at Startup"), "0");
    EXPECT_TRUE(tip->isVisible());
    tip->chkLoadTipsAtStartup->click();
    EXPECT_EQ(kormial::platform::GetSetting("Options", "Show Tips at Startup"), "1");
    tip->chkLoadTipsAtStartup->click();
    tip->cmdOK->click();
    ASSERT_TRUE(closed(tip));

    // The next start: no tip window, and the options show the box unticked.
    EXPECT_TRUE(show().isNull());
    kormial::frmOptions options(owner.get());
    EXPECT_FALSE(options.chkLoadTipsAtStartup->isChecked());
}

TEST_F(TipWindowTest, OkEnterAndEscCloseIt)
{
    writeTips("tip\n");
    QPointer<frmTip> tip = show();
    ASSERT_FALSE(tip.isNull());
    tip->cmdOK->click();
    EXPECT_TRUE(closed(tip));

    tip = show();
    ASSERT_FALSE(tip.isNull());
    QTest::keyClick(tip->chkLoadTipsAtStartup, Qt::Key_Return);
    EXPECT_TRUE(closed(tip));

    tip = show();
    ASSERT_FALSE(tip.isNull());
    QTest::keyClick(tip.data(), Qt::Key_Escape);
    EXPECT_TRUE(closed(tip));

    tip = show();
    ASSERT_FALSE(tip.isNull());
    tip->close();  // the close box
    EXPECT_TRUE(closed(tip));
    // Closing writes nothing.
    EXPECT_FALSE(kormial::platform::GetSetting("Options", "Show Tips at Startup"));
}

TEST_F(TipWindowTest, FixedWindowWithTheDesignLayout)
{
    writeTips("A tip that is long enough to need more than one line in the label of the tip window, "
              "so that the wrapping can be seen.\n");
    QPointer<frmTip> tip = show();
    ASSERT_FALSE(tip.isNull());
    EXPECT_EQ(tip->size(), QSize(361, 219));
    EXPECT_EQ(tip->minimumSize(), tip->maximumSize());
    EXPECT_FALSE(tip->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(tip->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(tip->picTip->geometry(), QRect(8, 8, 249, 181));
    EXPECT_EQ(tip->lblTipText->geometry(), QRect(12, 56, 217, 109));
    EXPECT_TRUE(tip->lblTipText->wordWrap());
    EXPECT_EQ(tip->cmdOK->geometry(), QRect(272, 8, 81, 25));
    EXPECT_EQ(tip->cmdNextTip->geometry(), QRect(272, 40, 81, 25));
    EXPECT_TRUE(tip->cmdOK->isDefault());
    for (QWidget* w : {static_cast<QWidget*>(tip->picTip), static_cast<QWidget*>(tip->cmdOK),
                       static_cast<QWidget*>(tip->cmdNextTip),
                       static_cast<QWidget*>(tip->chkLoadTipsAtStartup)}) {
        EXPECT_TRUE(tip->rect().contains(w->geometry())) << w->objectName().toStdString();
    }
    EXPECT_GE(tip->chkLoadTipsAtStartup->width(), tip->chkLoadTipsAtStartup->sizeHint().width());
    // F1 anywhere in the window opens the page on tips and options.
    EXPECT_EQ(kormial::HelpContextID(tip->chkLoadTipsAtStartup), 112);
    EXPECT_EQ(kormial::EffectiveHelpContextID(tip->cmdNextTip), 112);
}

TEST(TipWindowBulb, LightBulbIsYellowOnClear)
{
    const QImage bulb = kormial::LightBulbPixmap().toImage();
    ASSERT_EQ(bulb.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(bulb.pixel(0, 31)), 0);  // a clear corner
    const QColor glass = bulb.pixelColor(16, 12);
    EXPECT_GT(glass.red(), 200);
    EXPECT_GT(glass.green(), 180);
    EXPECT_LT(glass.blue(), 160);
}

}  // namespace
