// The preview of the current row: any picture the image plugins read,
// scaled to fit the box with its proportions and in its own colours (also
// a paletted one), the substitute picture for a picture file that cannot be
// read, following the arrow keys, and emptied by a new search.
#include "tests/gui/guitest.h"

#include <QBuffer>
#include <QLabel>
#include <QPainter>

namespace kormial::test {

using GuiPreview = GuiTest;

TEST_F(GuiPreview, FollowsTheCurrentRowAndFitsThePicture)
{
    QImage picture(64, 32, QImage::Format_RGB32);  // red on the left, blue on the right
    picture.fill(QColor(220, 20, 20));
    QPainter(&picture).fillRect(32, 0, 32, 32, QColor(20, 20, 220));
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&png, "PNG"));
    for (const char* folder : {"a/", "b/"}) {
        write(std::string(folder) + "photo.png", png.data().toStdString());
        write(std::string(folder) + "notes.gif", "This is a text file, not a picture.\n");
    }
    frmMain& w = search({1});
    QLabel* box = w.results->imgPreview;
    const QSize room = box->contentsRect().size();
    const auto near = [](QColor got, QColor want) {
        return std::abs(got.red() - want.red()) + std::abs(got.green() - want.green()) +
                   std::abs(got.blue() - want.blue()) < 60;
    };
    // What the box must show for row `row` of the duplicates.
    const auto check = [&](int row) {
        const std::string name = w.results->resultList(kListDuplicates).row(row).name;
        const QImage shown = box->pixmap().toImage();
        if (name == "photo.png") {
            ASSERT_EQ(shown.size(), QSize(64, 32).scaled(room, Qt::KeepAspectRatio));
            EXPECT_TRUE(near(shown.pixelColor(2, shown.height() / 2), QColor(220, 20, 20)));
            EXPECT_TRUE(near(shown.pixelColor(shown.width() - 3, shown.height() / 2), QColor(20, 20, 220)));
        } else {
            const QImage substitute(QCoreApplication::applicationDirPath() + "/err_read.bmp");
            ASSERT_FALSE(substitute.isNull());
            EXPECT_EQ(shown.size(), substitute.size().scaled(room, Qt::KeepAspectRatio)) << name;
        }
    };
    // Rows 1 and 2 belong to different groups: one a picture, one a text.
    clickRow(kListDuplicates, w.results->resultList(kListDuplicates).row(1).path().substr(root.size() + 1));
    check(1);
    QTest::keyClick(w.results->lstResult[kListDuplicates], Qt::Key_Down);
    check(2);
    QTest::keyClick(w.results->lstResult[kListDuplicates], Qt::Key_Up);
    check(1);

    click(w.setup->cmdNewSrch);
    EXPECT_TRUE(box->pixmap().isNull());
}

// A flat picture stored with a colour table: one colour, as 8-bit indices
// and as a 1-bit map.
TEST_F(GuiPreview, PalettedPicturesShowTheirOwnColours)
{
    const QColor orange(240, 140, 20);
    const QColor teal(20, 130, 140);
    QImage indexed(1600, 1600, QImage::Format_Indexed8);
    indexed.setColorTable({orange.rgb(), qRgb(0, 0, 0)});
    indexed.fill(0);
    QImage bitmap(1600, 1600, QImage::Format_Mono);
    bitmap.setColorTable({teal.rgb(), qRgb(255, 255, 255)});
    bitmap.fill(0);
    for (const auto& [name, picture] : {std::pair{"indexed.png", indexed}, std::pair{"bitmap.png", bitmap}}) {
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        ASSERT_TRUE(picture.save(&png, "PNG"));
        write(std::string("a/") + name, png.data().toStdString());
        write(std::string("b/") + name, png.data().toStdString());
    }
    frmMain& w = search({1});
    for (const auto& [name, colour] : {std::pair{"a/indexed.png", orange}, std::pair{"a/bitmap.png", teal}}) {
        clickRow(kListDuplicates, name);
        const QImage shown = w.results->imgPreview->pixmap().toImage();
        ASSERT_FALSE(shown.isNull()) << name;
        int wrong = 0;
        for (int y = 0; y < shown.height(); y += 7) {
            for (int x = 0; x < shown.width(); x += 7) {
                wrong += shown.pixelColor(x, y).rgb() != colour.rgb();
            }
        }
        EXPECT_EQ(wrong, 0) << name;
    }
}

}  // namespace kormial::test
