// The options dialog: what it loads, OK and Cancel, and the keys it ignores.
#include "mainwindow/frmoptions.h"
#include "platform/settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace {

using kormial::frmOptions;

class OptionsDialogTest : public ::testing::Test {
protected:
    QTemporaryDir config;
    std::unique_ptr<QMainWindow> owner;
    int generation = 0;

    void SetUp() override
    {
        ASSERT_TRUE(config.isValid());
        useFreshStore();
        owner = std::make_unique<QMainWindow>();
        owner->show();
    }

    void TearDown() override { owner.reset(); }

    // A store of its own for every stored text, so no cached file is read.
    void useFreshStore()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           config.filePath(QString::number(++generation)));
    }

    static std::optional<std::string> stored()
    {
        return kormial::platform::GetSetting("Options", "Show Tips at Startup");
    }

    // Opens the dialog as the menu entry does and lets `act` work on it while
    // it waits; returns whether the dialog was modal over the owner.
    bool runDialog(const std::function<void(frmOptions*)>& act)
    {
        bool sawIt = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<frmOptions*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                // Not modal after all: find it and end the wait anyway.
                dialog = owner->findChild<frmOptions*>();
            } else {
                sawIt = dialog->parentWidget() == owner.get();
            }
            if (dialog != nullptr) {
                act(dialog);
                if (dialog->isVisible()) {
                    dialog->reject();
                }
            }
        });
        kormial::ShowOptionsDialog(owner.get());
        return sawIt;
    }
};

TEST_F(OptionsDialogTest, LoadsTheStoredValue)
{
    EXPECT_TRUE(frmOptions(owner.get()).chkLoadTipsAtStartup->isChecked());  // absent
    struct Case {
        const char* text;
        bool ticked;
    };
    for (const Case& c : {Case{"0", false}, Case{"1", true}, Case{" 0", false}, Case{"2", true},
                          Case{"-1", true}, Case{"abc", true}, Case{"", true}, Case{"70000", true},
                          Case{"0.0", true}}) {
        useFreshStore();
        kormial::platform::SaveSetting("Options", "Show Tips at Startup", c.text);
        frmOptions dialog(owner.get());
        EXPECT_EQ(dialog.chkLoadTipsAtStartup->isChecked(), c.ticked) << '"' << c.text << '"';
    }
}

TEST_F(OptionsDialogTest, ModalFixedDialogOverTheOwner)
{
    bool checked = false;
    const bool modal = runDialog([&](frmOptions* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Options");
        EXPECT_EQ(dialog->size(), QSize(288, 79));
        EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
        EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
        EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
        EXPECT_EQ(dialog->chkLoadTipsAtStartup->text(), "&Show Tips at Startup");
        EXPECT_EQ(dialog->OKButton->text(), "OK");
        EXPECT_EQ(dialog->CancelButton->text(), "Cancel");
        EXPECT_EQ(dialog->OKButton->geometry(), QRect(200, 8, 81, 25));
        EXPECT_EQ(dialog->CancelButton->geometry(), QRect(200, 40, 81, 25));
        EXPECT_TRUE(dialog->isModal());
        checked = true;
        dialog->CancelButton->click();
    });
    EXPECT_TRUE(modal);
    EXPECT_TRUE(checked);
}

TEST_F(OptionsDialogTest, OkWritesTheBox)
{
    runDialog([](frmOptions* dialog) {
        ASSERT_TRUE(dialog->chkLoadTipsAtStartup->isChecked());
        dialog->chkLoadTipsAtStartup->click();
        dialog->OKButton->click();
        EXPECT_FALSE(dialog->isVisible());
    });
    EXPECT_EQ(stored(), "0");
    // The dialog shows the stored value each time it opens.
    runDialog([](frmOptions* dialog) {
        EXPECT_FALSE(dialog->chkLoadTipsAtStartup->isChecked());
        dialog->chkLoadTipsAtStartup->click();
        dialog->OKButton->click();
    });
    EXPECT_EQ(stored(), "1");
    // OK without a change still writes the box's state, replacing garbage.
    useFreshStore();
    kormial::platform::SaveSetting("Options", "Show Tips at Startup", "junk");
    runDialog([](frmOptions* dialog) { dialog->OKButton->click(); });
    EXPECT_EQ(stored(), "1");
}

TEST_F(OptionsDialogTest, CancelAndCloseBoxWriteNothing)
{
    runDialog([](frmOptions* dialog) {
        dialog->chkLoadTipsAtStartup->click();
        dialog->CancelButton->click();
        EXPECT_FALSE(dialog->isVisible());
    });
    EXPECT_FALSE(stored().has_value());

    kormial::platform::SaveSetting("Options", "Show Tips at Startup", "0");
    runDialog([](frmOptions* dialog) {
        dialog->chkLoadTipsAtStartup->click();
        dialog->close();
    });
    EXPECT_EQ(stored(), "0");
}

TEST_F(OptionsDialogTest, EnterAndEscapeDoNothing)
{
    runDialog([](frmOptions* dialog) {
        dialog->chkLoadTipsAtStartup->click();  // untick
        QTest::keyClick(dialog, Qt::Key_Escape);
        EXPECT_TRUE(dialog->isVisible());
        QTest::keyClick(dialog, Qt::Key_Return);
        QTest::keyClick(dialog->chkLoadTipsAtStartup, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(dialog->OKButton, Qt::Key_Return);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_FALSE(dialog->OKButton->isDefault());
        EXPECT_FALSE(dialog->CancelButton->isDefault());
        dialog->CancelButton->click();
    });
    EXPECT_FALSE(stored().has_value());
}

}  // namespace
