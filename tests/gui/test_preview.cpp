// The preview of a clicked row: a picture stretched to the box, and the
// substitute picture for a picture file that cannot be read.
#include "tests/gui/guitest.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QLabel>
#include <QPainter>

namespace kormial::test {

using GuiPreview = GuiTest;

TEST_F(GuiPreview, ShowsPicturesAndTheSubstituteForWhatItCannotRead)
{
    QImage picture(64, 32, QImage::Format_RGB32);  // red on the left, blue on the right
    picture.fill(QColor(220, 20, 20));
    QPainter(&picture).fillRect(32, 0, 32, 32, QColor(20, 20, 220));
    QBuffer jpeg;
    jpeg.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&jpeg, "JPEG"));
    for (const char* folder : {"a/", "b/"}) {
        write(std::string(folder) + "photo.jpg", jpeg.data().toStdString());
        write(std::string(folder) + "notes.gif", "This is a text file, not a picture.\n");
    }
    frmMain& w = search({1});
    const auto near = [](QColor got, QColor want) {
        return std::abs(got.red() - want.red()) + std::abs(got.green() - want.green()) +
                   std::abs(got.blue() - want.blue()) < 60;
    };

    clickRow(kListDuplicates, "a/photo.jpg");
    QImage shown = w.results->imgPreview->pixmap().toImage();
    ASSERT_EQ(shown.size(), w.results->imgPreview->contentsRect().size());
    EXPECT_TRUE(near(shown.pixelColor(2, shown.height() / 2), QColor(220, 20, 20)));
    EXPECT_TRUE(near(shown.pixelColor(shown.width() - 3, shown.height() / 2), QColor(20, 20, 220)));

    clickRow(kListDuplicates, "b/notes.gif");
    const QImage substitute(QCoreApplication::applicationDirPath() + "/err_read.bmp");
    ASSERT_FALSE(substitute.isNull());
    EXPECT_EQ(w.results->imgPreview->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
              substitute.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(QImage::Format_RGB32));
}

}  // namespace kormial::test
