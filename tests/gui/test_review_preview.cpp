// The picture preview of a clicked row: real pictures stretched to the box,
// the substitute picture for what cannot be read, no picture for other
// files, and the Preview switch.
#include "tests/gui/test_review.h"

#include <QCheckBox>
#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <sys/stat.h>

namespace kormial::test {

namespace {

class GuiReviewPreview : public ReviewTest {
protected:
    // Two copies of each file, so that every one is listed as a duplicate.
    void pair(const std::string& name, const std::string& content)
    {
        tmp.write("a/" + name, content);
        tmp.write("b/" + name, content);
    }

    // A picture file in `format`: red on the left half, blue on the right.
    std::string pictureBytes(const char* format, int width = 64, int height = 32)
    {
        QImage img(width, height, QImage::Format_RGB32);
        for (int x = 0; x < width; ++x) {
            for (int y = 0; y < height; ++y) {
                img.setPixel(x, y, x < width / 2 ? qRgb(220, 20, 20) : qRgb(20, 20, 220));
            }
        }
        const std::string path = tmp / "picture.tmp";
        EXPECT_TRUE(img.save(QString::fromStdString(path), format));
        std::string content = readFile(path);
        std::filesystem::remove(path);
        return content;
    }

    QImage shown() const
    {
        return window->imgPreview->pixmap().toImage();
    }

    // What the box shows when it shows the substitute picture.
    QImage substitute() const
    {
        const QImage sub(QCoreApplication::applicationDirPath() + "/err_read.bmp");
        EXPECT_FALSE(sub.isNull());
        return sub.scaled(window->imgPreview->contentsRect().size(), Qt::IgnoreAspectRatio,
                          Qt::SmoothTransformation);
    }

    static bool near(QRgb got, QRgb want)
    {
        return std::abs(qRed(got) - qRed(want)) < 40 && std::abs(qGreen(got) - qGreen(want)) < 40 &&
               std::abs(qBlue(got) - qBlue(want)) < 40;
    }

    void expectSubstitute(const char* what)
    {
        const QImage img = shown();
        ASSERT_FALSE(img.isNull()) << what;
        EXPECT_EQ(img.convertToFormat(QImage::Format_RGB32),
                  substitute().convertToFormat(QImage::Format_RGB32))
            << what;
    }

    void expectRedBlue(const char* what)
    {
        const QImage img = shown();
        ASSERT_FALSE(img.isNull()) << what;
        // Stretched to the whole box, whatever the picture's proportions.
        EXPECT_EQ(img.size(), window->imgPreview->contentsRect().size()) << what;
        EXPECT_TRUE(near(img.pixel(2, img.height() / 2), qRgb(220, 20, 20))) << what;
        EXPECT_TRUE(near(img.pixel(img.width() - 3, img.height() / 2), qRgb(20, 20, 220))) << what;
        EXPECT_TRUE(near(img.pixel(img.width() / 4, 1), qRgb(220, 20, 20))) << what;
        EXPECT_TRUE(near(img.pixel(img.width() / 4, img.height() - 2), qRgb(220, 20, 20))) << what;
    }
};

TEST_F(GuiReviewPreview, RealPicturesFillTheBox)
{
    pair("holiday.JPEG", pictureBytes("JPEG", 200, 40));
    pair("scan.bmp", pictureBytes("BMP"));
    pair("app.ico", pictureBytes("ICO", 32, 32));
    frmMain& w = searchAll({1});
    ASSERT_TRUE(w.chkPreview->isChecked());

    clickRow(kListDuplicates, "a/holiday.JPEG");
    expectRedBlue("JPEG, extension in capitals");
    clickRow(kListDuplicates, "b/scan.bmp");
    expectRedBlue("BMP");
    clickRow(kListDuplicates, "a/app.ico");
    expectRedBlue("ICO");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(GuiReviewPreview, UnreadablePicturesShowTheSubstitute)
{
    pair("notes.gif", "This is a text file, not a picture.\n");
    pair("clip.wmf", std::string("\xd7\xcd\xc6\x9a\x00\x00", 6) + bytes(4, 300));
    pair("cut.jpg", pictureBytes("JPEG").substr(0, 20));
    pair("gone.jpg", pictureBytes("JPEG", 50, 50));
    pair("photo.jpg", pictureBytes("JPEG"));
    frmMain& w = searchAll({1});
    ASSERT_TRUE(std::filesystem::remove(tmp / "a/gone.jpg"));

    clickRow(kListDuplicates, "a/notes.gif");
    expectSubstitute("a text file named .gif");
    clickRow(kListDuplicates, "a/photo.jpg");
    expectRedBlue("a picture between two substitutes");
    clickRow(kListDuplicates, "b/clip.wmf");
    expectSubstitute("a metafile, which the loader does not read");
    clickRow(kListDuplicates, "a/cut.jpg");
    expectSubstitute("a damaged JPEG");
    clickRow(kListDuplicates, "a/gone.jpg");
    expectSubstitute("a file deleted after the search");
    EXPECT_TRUE(dialogs.shown.empty());
    (void)w;
}

TEST_F(GuiReviewPreview, AFifoInAPicturesPlaceDoesNotBlock)
{
    pair("photo.jpg", pictureBytes("JPEG"));
    frmMain& w = searchAll({1});
    const std::string path = tmp / "a/photo.jpg";
    ASSERT_TRUE(std::filesystem::remove(path));
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    clickRow(kListDuplicates, "a/photo.jpg");  // returns: nothing waits on the FIFO
    expectSubstitute("a FIFO");
    (void)w;
}

TEST_F(GuiReviewPreview, OtherFilesEmptyTheBox)
{
    pair("photo.jpg", pictureBytes("JPEG"));
    pair("archive.jpg.zip", bytes(1, 600));
    tmp.write("a/docs.old/readme", bytes(2, 700));
    tmp.write("b/docs.old/readme", bytes(2, 700));
    frmMain& w = searchAll({1});

    clickRow(kListDuplicates, "a/photo.jpg");
    expectRedBlue("JPEG");
    clickRow(kListDuplicates, "a/archive.jpg.zip");
    EXPECT_TRUE(w.imgPreview->pixmap().isNull());
    clickRow(kListDuplicates, "b/photo.jpg");
    expectRedBlue("JPEG again");
    clickRow(kListDuplicates, "a/docs.old/readme");
    EXPECT_TRUE(w.imgPreview->pixmap().isNull());
}

TEST_F(GuiReviewPreview, SwitchedOffTheBoxKeepsWhatItShows)
{
    pair("photo.jpg", pictureBytes("JPEG"));
    pair("notes.gif", "not a picture");
    pair("plain.txt", "text");
    frmMain& w = searchAll({1});
    clickRow(kListDuplicates, "a/photo.jpg");
    expectRedBlue("before switching off");
    const qint64 key = w.imgPreview->pixmap().cacheKey();

    click(w.chkPreview);
    ASSERT_FALSE(w.chkPreview->isChecked());
    // Switching does not itself change the box, and rows clicked now leave it.
    EXPECT_EQ(w.imgPreview->pixmap().cacheKey(), key);
    clickRow(kListDuplicates, "a/notes.gif");
    clickRow(kListDuplicates, "b/plain.txt");
    EXPECT_EQ(w.imgPreview->pixmap().cacheKey(), key);

    click(w.chkPreview);
    ASSERT_TRUE(w.chkPreview->isChecked());
    clickRow(kListDuplicates, "b/notes.gif");
    expectSubstitute("switched on again");
}

}  // namespace

}  // namespace kormial::test
