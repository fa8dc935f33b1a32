// The desktop services behind the window, without stand-ins.
#include "platform/gui/clock.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/drives.h"
#include "tests/gui/guitest.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace kormial::test {

TEST(GuiPlatform, DriveListHoldsTheCurrentVolumeAndNoKernelFileSystems)
{
    gui::DriveList& d = gui::drives();
    const std::string here = gui::currentFolder();
    const std::string vol = d.volumeOf(here);
    EXPECT_EQ(here.rfind(vol, 0), 0u) << here << " on " << vol;
    const auto volumes = d.volumes(here);
    bool found = false;
    for (const auto& v : volumes) {
        found = found || v.root == vol;
        EXPECT_NE(v.root, "/proc");
        EXPECT_NE(v.root, "/sys");
        EXPECT_NE(v.root, "/dev/pts");
    }
    EXPECT_TRUE(found);
}

TEST(GuiPlatform, FolderReadErrorSpeaksTheSystemsWords)
{
    TempTree t;
    EXPECT_FALSE(gui::folderReadError(t.path()).has_value());
    const auto missing = gui::folderReadError(t / "not-there");
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(*missing, std::strerror(ENOENT));
    t.write("file", "x");
    EXPECT_EQ(gui::folderReadError(t / "file").value_or(""), std::strerror(ENOTDIR));
}

TEST(GuiPlatform, SystemClockMovesForwardAndIdles)
{
    gui::Clock& c = gui::clock();
    const double a = c.now();
    c.idle(0.02);
    const double b = c.now();
    EXPECT_GE(b - a, 0.015);
}

TEST(GuiPlatform, MessageBoxWithoutATitleCarriesTheApplicationsTitle)
{
    FakeDialogs d;
    gui::setDialogs(&d);
    gui::MsgBox(nullptr, "x");
    gui::MsgBox(nullptr, "y", gui::MsgIcon::Critical, "Own");
    gui::setDialogs(nullptr);
    ASSERT_EQ(d.shown.size(), 2u);
    EXPECT_EQ(d.shown[0].title, "Kormial");
    EXPECT_EQ(d.shown[1].title, "Own");
}

}  // namespace kormial::test
