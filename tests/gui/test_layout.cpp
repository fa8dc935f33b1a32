// The window's layout as a user meets it: the first start fills about two
// thirds of the screen, nothing is cut or overlaps (also at twice the scale,
// see CMakeLists.txt, and with a large font), and the panes grow with the
// window.
#include "tests/gui/guitest.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>

namespace kormial::test {

namespace {

QString shown(QString text)
{
    return text.remove(QLatin1Char('&'));
}

// The controls a user reads or clicks; the insides of lists, boxes and
// entries are theirs.
bool isControl(const QWidget* w)
{
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w) ||
           qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QTabBar*>(w);
}

std::vector<QWidget*> controlsOf(QWidget& window)
{
    std::vector<QWidget*> out;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != &window || !isControl(w)) {
            continue;
        }
        bool inner = false;
        for (QWidget* p = w->parentWidget(); p != &window && p != nullptr; p = p->parentWidget()) {
            inner = inner || isControl(p);
        }
        if (!inner) {
            out.push_back(w);
        }
    }
    return out;
}

std::string nameOf(const QWidget* w)
{
    return (w->objectName().isEmpty() ? std::string(w->metaObject()->className()) : w->objectName().toStdString());
}

// What a user would find cut or covered: a caption wider than its control,
// a tab or a frame's caption out of sight, two controls on top of each
// other, a control beyond the window's edge.
std::vector<std::string> layoutFaults(QWidget& window)
{
    std::vector<std::string> faults;
    const std::vector<QWidget*> controls = controlsOf(window);
    for (QWidget* w : controls) {
        const QFontMetrics fm = w->fontMetrics();
        const QRect place(w->mapTo(&window, QPoint()), w->size());
        if (!window.rect().contains(place)) {
            faults.push_back(nameOf(w) + " reaches beyond the window");
        }
        int need = 0;
        int room = 0;
        if (auto* label = qobject_cast<QLabel*>(w); label && label->pixmap().isNull()) {
            need = fm.horizontalAdvance(shown(label->text())) + (label->indent() > 0 ? label->indent() : 0);
            room = label->contentsRect().width();
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            need = box->sizeHint().width();
            room = box->width();
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            need = fm.horizontalAdvance(shown(button->text())) + button->iconSize().width() * !button->icon().isNull() +
                   2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
            room = button->width();
        } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                if (!tabs->rect().contains(tabs->tabRect(i))) {
                    faults.push_back("tab " + shown(tabs->tabText(i)).toStdString() + " is cut");
                }
            }
        }
        if (need > room || (need > 0 && fm.height() > w->height())) {
            faults.push_back(nameOf(w) + " cuts its text: " + std::to_string(need) + " > " + std::to_string(room));
        }
    }
    for (QGroupBox* frame : window.findChildren<QGroupBox*>()) {
        if (frame->isVisible() && frame->fontMetrics().horizontalAdvance(shown(frame->title())) > frame->width()) {
            faults.push_back(nameOf(frame) + " cuts its caption");
        }
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            const QRect a(controls[i]->mapTo(&window, QPoint()), controls[i]->size());
            const QRect b(controls[j]->mapTo(&window, QPoint()), controls[j]->size());
            if (a.intersects(b)) {
                faults.push_back(nameOf(controls[i]) + " overlaps " + nameOf(controls[j]));
            }
        }
    }
    return faults;
}

// The Keep column of the path list lies whole inside the list.
bool keepInView(const QTreeWidget* list)
{
    const QHeaderView* h = list->header();
    return h->sectionViewportPosition(SetupPanel::kKeepColumn) >= 0 &&
           h->sectionViewportPosition(SetupPanel::kKeepColumn) + h->sectionSize(SetupPanel::kKeepColumn) <=
               list->viewport()->width();
}

}  // namespace

class GuiLayout : public GuiTest {
protected:
    // Copies with names and folders of 40 characters, so that the lists
    // have rows to show.
    void writeLongNames()
    {
        for (const char* folder : {"Holiday pictures from the summer of 2023", "Backup of the phone taken in August 2023"}) {
            write(std::string(folder) + "/IMG_20230801_seaside_with_the_family.jpg", bytes(7, 3000));
        }
    }
};

TEST_F(GuiLayout, FirstStartFillsTwoThirdsOfTheScreenWithNothingCut)
{
    writeLongNames();
    const QFont normal = QApplication::font();
    for (const double points : {normal.pointSizeF(), 14.0}) {
        SCOPED_TRACE(points);
        QFont font = normal;
        font.setPointSizeF(points);
        QApplication::setFont(font);
        window.reset();
        frmMain& w = search({1});
        const QRect room = w.screen()->availableGeometry();
        EXPECT_TRUE(room.contains(w.frameGeometry()));
        const double area = static_cast<double>(w.width()) * w.height() / (room.width() * room.height());
        EXPECT_GT(area, 0.6);
        EXPECT_LT(area, 0.75);
        for (const std::string& fault : layoutFaults(w)) {
            ADD_FAILURE() << fault;
        }
        EXPECT_TRUE(keepInView(w.setup->lstPath));
        click(w.setup->cmdCriteria);
        ASSERT_TRUE(w.setup->FrmMoreCriteria->isVisible());
        for (QWidget* part : std::vector<QWidget*>{w.setup->lblMinSz, w.setup->lblMaxSz, w.setup->lblMinKB,
                                                   w.setup->txtMaxSz, w.setup->lblMaxKB}) {
            const QRect place(part->mapTo(&w, QPoint()), part->size());
            EXPECT_TRUE(QRect(w.setup->lstPath->mapTo(&w, QPoint()), w.setup->lstPath->size()).contains(place))
                << nameOf(part);
            EXPECT_GE(part->width(), part->sizeHint().width()) << nameOf(part);
        }

        // At 1920 x 1080 a review shows 25 rows, and names and folders of
        // 40 characters whole.
        if (points != normal.pointSizeF()) {
            continue;
        }
        ResultListView* list = w.results->lstResult[kListDuplicates];
        EXPECT_GE(list->viewport()->height() / list->sizeHintForRow(0), 25);
        const QString forty = QString::fromStdString(w.results->resultList(kListDuplicates).row(0).name);
        ASSERT_EQ(forty.size(), 40);
        const int checkBox = list->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, list);
        EXPECT_GT(list->columnWidth(kColName), list->fontMetrics().horizontalAdvance(forty) + checkBox);
        EXPECT_GT(list->columnWidth(kColFolder), list->fontMetrics().horizontalAdvance(forty));
    }
    QApplication::setFont(normal);
}

TEST_F(GuiLayout, PanesGrowWithTheWindowAndShrinkWithoutCuts)
{
    writeLongNames();
    QImage picture(400, 100, QImage::Format_RGB32);  // four times as wide as high
    picture.fill(Qt::darkCyan);
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&png, "PNG"));
    write("a/wide.png", png.data().toStdString());
    write("b/wide.png", png.data().toStdString());
    frmMain& w = search({1});
    clickRow(kListDuplicates, "a/wide.png");
    QLabel* box = w.results->imgPreview;
    ASSERT_FALSE(box->pixmap().isNull());
    const auto sizes = [&] {
        return std::vector<QSize>{box->size(), w.setup->dirPath->size(), w.setup->lstPath->size(),
                                  w.results->lstResult[kListDuplicates]->size()};
    };
    const std::vector<QSize> before = sizes();
    const int pictureWidth = box->pixmap().width();

    w.showMaximized();
    const auto allHigher = [&] {
        const std::vector<QSize> now = sizes();
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (now[i].height() <= before[i].height() || now[i].width() < before[i].width()) {
                return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(QTest::qWaitFor(allHigher, 3000));
    EXPECT_GE(box->contentsRect().width(), 240);
    EXPECT_GE(box->contentsRect().height(), 240);
    // the picture is read again for the larger box, as wide as it, four
    // times wider than high
    ASSERT_TRUE(QTest::qWaitFor([&] { return box->pixmap().width() > pictureWidth; }, 3000));
    const QSize pixels = box->pixmap().deviceIndependentSize().toSize();
    EXPECT_EQ(pixels.width(), box->contentsRect().width());
    EXPECT_NEAR(pixels.height() * 4, pixels.width(), 4);
    EXPECT_TRUE(keepInView(w.setup->lstPath));

    w.showNormal();
    w.resize(1, 1);  // as small as it goes
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.isMaximized() && w.size() == w.minimumSize(); }));
    for (const std::string& fault : layoutFaults(w)) {
        ADD_FAILURE() << "smallest: " << fault;
    }
    EXPECT_TRUE(keepInView(w.setup->lstPath));
}

}  // namespace kormial::test
