// Reviewing the results: the File menu with its enabling, marking, opening,
// deleting to the trash and renaming the files of the current list,
// exporting the lists and opening a saved result, and the picture preview
// of the current row.
#include "mainwindow/resultpane.h"

#include "mainwindow/menus_help.h"
#include "mainwindow/qtext.h"
#include "platform/fs.h"
#include "platform/inputstream.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/shell.h"
#include "results/fileops.h"
#include "results/keep.h"
#include "results/marking.h"
#include "results/preview_ext.h"
#include "results/resultfile.h"
#include "results/resultrows.h"
#include "results/widgets/resultview.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <optional>

namespace kormial {

namespace {

// The whole content of a regular file, or nothing when it cannot be read.
// Only regular files are opened, so a FIFO named like a picture never
// blocks the window.
std::optional<QByteArray> readWholeFile(const std::string& path)
{
    platform::ReadFile file;
    if (!file.open(path)) {
        return std::nullopt;
    }
    QByteArray data;
    if (const auto length = platform::fileLength(path); length && *length > 0 &&
                                                        *length < (std::int64_t{1} << 40)) {
        data.reserve(static_cast<qsizetype>(*length) + 1);
    }
    constexpr std::size_t kChunk = 1 << 20;
    std::int64_t pos = 0;
    for (;;) {
        data.resize(static_cast<qsizetype>(pos) + static_cast<qsizetype>(kChunk));
        const std::int64_t got = file.readAt(pos, data.data() + pos, kChunk);
        if (got < 0) {
            return std::nullopt;
        }
        pos += got;
        if (got == 0) {
            break;
        }
    }
    data.resize(static_cast<qsizetype>(pos));
    return data;
}

// A name the preview tries: an extension of a format the installed image
// plugins read, or one of the picture extensions that shows the substitute.
bool isPictureName(const std::string& path)
{
    static const QList<QByteArray> readable = QImageReader::supportedImageFormats();
    const QByteArray ext = QByteArray::fromStdString(GetFileExt(path)).toLower();
    return IsPicExt(path) || (!ext.isEmpty() && readable.contains(ext));
}

// Formats whose pixels are indices into a colour table.
bool isPaletted(QImage::Format format)
{
    return format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
           format == QImage::Format_MonoLSB;
}

// The picture in a file, told by its content, scaled to fit `box` with its
// proportions kept; a null image when the file is missing, unreadable or in
// a format no plugin reads (WMF, EMF). A true-colour picture is read at that
// size where the format allows; a paletted one is read whole and turned into
// true colour first, since scaling its colour indices mixes them.
QImage loadPicture(const std::string& path, QSize box)
{
    std::optional<QByteArray> data = readWholeFile(path);
    if (!data || data->isEmpty()) {
        return QImage();
    }
    QBuffer buffer(&*data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QImage::Format stored = reader.imageFormat();
    if (reader.size().isValid() && stored != QImage::Format_Invalid && !isPaletted(stored)) {
        reader.setScaledSize(reader.size().scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    QImage picture = reader.read();
    if (picture.isNull()) {
        return picture;
    }
    if (isPaletted(picture.format())) {
        picture = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
    // read whole, or turned (Exif) after a read at its unturned proportions
    const QSize fit = picture.size().scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    if (picture.size() != fit) {
        picture = picture.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return picture;
}

}  // namespace

// ---------------------------------------------------------------------------
// The menu

void ResultPane::buildFileMenu()
{
    mnuFile = new QMenu(QStringLiteral("&File"), this);
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    auto entry = [this](const char* name, const char* caption, const QKeySequence& key, int help) {
        QAction* a = mnuFile->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        a->setMenuRole(QAction::NoRole);
        if (!key.isEmpty()) {
            a->setShortcut(key);
        }
        SetHelpContextID(a, help);
        return a;
    };
    mnuOpen = entry("mnuOpen", "&Open", QKeySequence(Qt::CTRL | Qt::Key_O), kHelpOpen);
    mnuDelete = entry("mnuDelete", "&Delete", QKeySequence(Qt::Key_Delete), 0);
    mnuRen = entry("mnuRen", "&Rename", QKeySequence(Qt::CTRL | Qt::Key_R), kHelpRename);
    mnuLinkHard = entry("mnuLinkHard", "Replace marked with links to the kept copy…", QKeySequence(), 0);
    mnuShareBlocks = entry("mnuShareBlocks", "Share blocks of marked with the kept copy…", QKeySequence(), 0);
    mnuSeparator = mnuFile->addSeparator();
    mnuSeparator->setObjectName(QStringLiteral("mnuSeparator"));
    mnuMarkAll = entry("mnuMarkAll", "Mark &all", QKeySequence(Qt::CTRL | Qt::Key_A), kHelpMarking);
    mnuMarkOld = entry("mnuMarkOld", "Mark &Older files for deletion", QKeySequence(), kHelpMarking);
    mnuMarkNewer = entry("mnuMarkNewer", "Mark &Newer files for deletion", QKeySequence(), kHelpMarking);
    mnuMarkSmaller =
        entry("mnuMarkSmaller", "Mark &Smaller files for deletion", QKeySequence(), kHelpMarking);
    mnuMarkLarger = entry("mnuMarkLarger", "Mark &Larger files for deletion", QKeySequence(), kHelpMarking);
    mnuKeepNewest = entry("mnuKeepNewest", "Mark all but the ne&west", QKeySequence(), kHelpMarking);
    mnuKeepOldest = entry("mnuKeepOldest", "Mark all but the oldes&t", QKeySequence(), kHelpMarking);
    mnuKeepFirst = entry("mnuKeepFirst", "Mark all but the &first in each group", QKeySequence(), kHelpMarking);
    mnuClearMarks = entry("mnuClearMarks", "&Clear all marks", QKeySequence(Qt::CTRL | Qt::Key_C),
                          kHelpMarking);
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuSeparatorFiles"));
    mnuExport = entry("mnuExport", "&Export...", QKeySequence(), kHelpResults);
    mnuOpenResult = entry("mnuOpenResult", "Open Res&ult...", QKeySequence(), kHelpResults);

    connect(mnuFile, &QMenu::aboutToShow, this, [this] { mnuFile_Popup(); });
    connect(mnuOpen, &QAction::triggered, this, [this] { OpenFile(); });
    connect(mnuDelete, &QAction::triggered, this, [this] { mnuDelete_Click(); });
    connect(mnuRen, &QAction::triggered, this, [this] { RenFile(); });
    connect(mnuLinkHard, &QAction::triggered, this, [this] { LinkMarked(false); });
    connect(mnuShareBlocks, &QAction::triggered, this, [this] { LinkMarked(true); });
    connect(mnuMarkAll, &QAction::triggered, this, [this] { Marks(true); });
    connect(mnuMarkOld, &QAction::triggered, this, [this] { MarkDel(true, "Date"); });
    connect(mnuMarkNewer, &QAction::triggered, this, [this] { MarkDel(false, "Date"); });
    connect(mnuMarkSmaller, &QAction::triggered, this, [this] { MarkDel(false, "Size"); });
    connect(mnuMarkLarger, &QAction::triggered, this, [this] { MarkDel(true, "Size"); });
    connect(mnuKeepNewest, &QAction::triggered, this, [this] { MarkAllButOne(Keep::Newest); });
    connect(mnuKeepOldest, &QAction::triggered, this, [this] { MarkAllButOne(Keep::Oldest); });
    connect(mnuKeepFirst, &QAction::triggered, this, [this] { MarkAllButOne(Keep::First); });
    connect(mnuClearMarks, &QAction::triggered, this, [this] { Marks(false); });
    connect(mnuExport, &QAction::triggered, this, [this] { ExportResults(); });
    connect(mnuOpenResult, &QAction::triggered, this, [this] { OpenResult(); });

    // The Task button and the right mouse button over a list pop it up.
    connect(cmdTask, &QPushButton::clicked, this, [this] { mnuFile->popup(QCursor::pos()); });
}

// Each time the menu opens, from the bar or popped up. The shortcuts keep
// the state of the last opening.
void ResultPane::mnuFile_Popup()
{
    const FileMenuState s = FileMenuEnabling(lists_.at(static_cast<std::size_t>(CurTab)), CurTab);
    mnuOpen->setEnabled(s.open);
    mnuDelete->setEnabled(s.del);
    mnuRen->setEnabled(s.ren);
    mnuLinkHard->setEnabled(s.link);
    mnuShareBlocks->setEnabled(s.link);
    mnuMarkAll->setEnabled(s.markAll);
    mnuMarkOld->setEnabled(s.markOld);
    mnuMarkNewer->setEnabled(s.markNewer);
    mnuMarkSmaller->setEnabled(s.markSmaller);
    mnuMarkLarger->setEnabled(s.markLarger);
    // the lists of groups, as for the pair rules by date
    for (QAction* keepOne : {mnuKeepNewest, mnuKeepOldest, mnuKeepFirst}) {
        keepOne->setEnabled(s.markOld);
    }
    mnuClearMarks->setEnabled(s.clearMarks);
    mnuExport->setEnabled(std::any_of(lists_.begin(), lists_.end(), [](const ResultList& l) { return l.count() > 0; }));
}

// ---------------------------------------------------------------------------
// Marking

void ResultPane::Marks(bool isAllMarks)
{
    kormial::Marks(lists_.at(static_cast<std::size_t>(CurTab)), isAllMarks);
}

void ResultPane::MarkDel(bool MarkOld, std::string_view CompType)
{
    kormial::MarkDel(lists_.at(static_cast<std::size_t>(CurTab)), CurTab, MarkOld, CompType);
}

void ResultPane::MarkAllButOne(Keep keep)
{
    kormial::MarkAllButOne(lists_.at(static_cast<std::size_t>(CurTab)), CurTab, keep);
}

// ---------------------------------------------------------------------------
// Open, delete, rename

void ResultPane::OpenFile()
{
    const std::optional<std::string> path = SelectedPath(lists_.at(static_cast<std::size_t>(CurTab)));
    if (!path) {
        gui::MsgBox(this, fromText(kMsgSelectFile), gui::MsgIcon::Exclamation, fromText(kTitleSelectFile));
        return;
    }
    gui::ShellOpen(*path, this);
}

void ResultPane::RenFile()
{
    const RenResult r = kormial::RenFile(lists_.data(), CurTab, [this](const RenamePrompt& p) {
        const QString proposed = fromBytes(p.proposed);
        const QString typed = gui::InputBox(this, fromBytes(p.prompt), fromText(p.title), proposed);
        if (typed.isEmpty()) {
            return std::string();
        }
        // A name that is not valid UTF-8 cannot be shown as it is: taken
        // unchanged, it keeps its own bytes.
        if (typed == proposed) {
            return p.proposed;
        }
        return QFile::encodeName(typed).toStdString();
    });
    switch (r.outcome) {
    case RenOutcome::NoSelection:
    case RenOutcome::Failed:
        gui::MsgBox(this, fromBytes(r.message), gui::MsgIcon::Exclamation, fromText(r.title));
        break;
    case RenOutcome::Cancelled:
    case RenOutcome::Renamed:
        break;
    }
}

// ---------------------------------------------------------------------------
// The lists' clicks

// A click on the row the preview already shows (it followed the current
// row there) reads nothing again.
void ResultPane::lstResult_Click(int /*index*/)
{
    const std::optional<std::string> path = SelectedPath(lists_.at(static_cast<std::size_t>(CurTab)));
    if (!path || *path != previewPath_) {
        Preview();
    }
}

void ResultPane::lstResult_DblClick(int /*index*/)
{
    OpenFile();
}

// ---------------------------------------------------------------------------
// Preview

QString ResultPane::substitutePicturePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("err_read.bmp"));
}

void ResultPane::Preview()
{
    const std::optional<std::string> path = SelectedPath(lists_.at(static_cast<std::size_t>(CurTab)));
    if (!path || !chkPreview->isChecked()) {
        return;  // the box keeps what it shows
    }
    clearPreview();
    previewPath_ = *path;
    showPreview(*path);
}

void ResultPane::showPreview(const std::string& path)
{
    if (path.empty() || !isPictureName(path)) {
        return;
    }
    const QSize box = imgPreview->contentsRect().size() * imgPreview->devicePixelRatioF();
    if (box.isEmpty()) {
        return;
    }
    QImage picture = loadPicture(path, box);
    if (picture.isNull()) {
        picture = loadPicture(QFile::encodeName(substitutePicturePath()).toStdString(), box);
    }
    if (!picture.isNull()) {
        QPixmap shown = QPixmap::fromImage(picture);
        shown.setDevicePixelRatio(imgPreview->devicePixelRatioF());
        imgPreview->setPixmap(shown);
    }
}

void ResultPane::clearPreview()
{
    imgPreview->clear();
    previewPath_.clear();
}

// ---------------------------------------------------------------------------
// Export and open

void ResultPane::ExportResults()
{
    const QStringList filters = {QStringLiteral("CSV, the tab shown (*.csv)"), QStringLiteral("CSV, all tabs (*.csv)"),
                                 QStringLiteral("JSON, the tab shown (*.json)"), QStringLiteral("JSON, all tabs (*.json)")};
    const gui::FileChoice choice = gui::dialogs().saveFileName(
        this, QStringLiteral("Export"), QDir::home().filePath(QStringLiteral("kormial-result")), filters, exportFilter_);
    if (choice.path.isEmpty()) {
        return;
    }
    exportFilter_ = choice.filter;
    const bool json = choice.filter >= 2;
    const int only = choice.filter % 2 == 0 ? CurTab : -1;
    QString path = choice.path;
    if (QFileInfo(path).suffix().isEmpty()) {
        path += json ? QStringLiteral(".json") : QStringLiteral(".csv");
    }
    const std::string text = json ? formatJson(lists_.data(), listsComplete_, only, leftOut_) : formatCsv(lists_.data(), only);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !file.commit()) {
        gui::MsgBox(this, QStringLiteral("Could not write %1:\n%2").arg(path, file.errorString()), gui::MsgIcon::Exclamation);
    }
}

// A result saved by the export or by kormial-cli -f json, in place of the
// lists. Each row keeps the identity and times it was saved with, so a file
// changed or replaced since is not deleted; the Keep rows of the path list
// protect its rows below them.
void ResultPane::OpenResult()
{
    const QString path = gui::dialogs().openFileName(this, QStringLiteral("Open Result"), QDir::homePath(),
                                                     QStringLiteral("Results (*.json);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    // read a block at a time: the reader keeps the rows and refuses a
    // document beyond its limits before it takes much memory
    // (a link to a saved result opens, as in any program; the CLI reads
    // the same way)
    platform::InputStream file;
    platform::Error readError;
    const ResultSource source = [&](char* buf, std::size_t len) { return file.read(buf, len, &readError); };
    std::array<ResultList, kResultListCount> loaded;
    std::string error;
    if (!file.open(QFile::encodeName(path).toStdString(), &readError) || !loadResults(source, loaded.data(), error)) {
        const QString why = readError.code != 0 ? QStringLiteral("cannot be read: ") + fromText(readError.describe())
                                                : fromText(error);
        gui::MsgBox(this, path + QStringLiteral(":\n") + why, gui::MsgIcon::Exclamation);
        return;
    }
    KeepLoaded(loaded.data(), keepFolders_);
    for (int i = 0; i < kResultListCount; ++i) {
        lists_[static_cast<std::size_t>(i)].takeRows(std::move(loaded[static_cast<std::size_t>(i)]));
    }
    listsComplete_ = true;
    leftOut_.clear();
    clearPreview();
    UpdateCount();
    showFirstTabWithRows();
}

}  // namespace kormial
