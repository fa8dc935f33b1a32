// The setup panel's controls and how they are laid out: the folder side
// (drive list, path entry, folder list, pattern line and the [>] [<] buttons)
// and the path list share the panel's width at a border the user can drag;
// the search frame keeps to the right end. Every size comes from the font.
#include "mainwindow/setuppanel.h"

#include "mainwindow/drivecombo.h"
#include "mainwindow/folderlist.h"
#include "mainwindow/fontunits.h"
#include "mainwindow/menus_help.h"
#include "mainwindow/pathentry.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kormial {

namespace {

const char* const kSearchTypes[] = {"Zero Size", "Duplicates", "Same File Name", "Portions"};

// A black arrow `side` pixels square: up and to the right ("more"), or down
// and to the left ("less"), drawn on an 18-pixel grid.
QIcon arrowPicture(bool more, int side, qreal ratio)
{
    QPixmap pm(QSize(side, side) * ratio);
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 18.0, side / 18.0);
    p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::black);
    if (!more) {
        p.translate(18, 18);
        p.rotate(180);
    }
    p.drawLine(QPointF(4, 14), QPointF(12.5, 5.5));
    QPainterPath head;
    head.moveTo(14.5, 3.5);
    head.lineTo(14.5, 10.5);
    head.lineTo(7.5, 3.5);
    head.closeSubpath();
    p.drawPath(head);
    p.end();
    return QIcon(pm);
}

QVBoxLayout* column(QWidget* owner, int spacing)
{
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

}  // namespace

SetupPanel::SetupPanel(QWidget* parent) : FrameBox(QStringLiteral("Select one or more path:"), parent)
{
    setObjectName(QStringLiteral("frmPath"));
    const int arrowSide = std::max(18, lines(this, 1.2));
    imgMore = arrowPicture(true, arrowSide, devicePixelRatioF());
    imgLess = arrowPicture(false, arrowSide, devicePixelRatioF());

    frmSelectPath = named(new QWidget(this), "frmSelectPath");
    fraSrch = named(new QWidget(this), "fraSrch");
    splitFolders = named(new QSplitter(Qt::Horizontal, frmSelectPath), "splitFolders");
    splitFolders->setChildrenCollapsible(false);
    splitFolders->addWidget(buildFolderSide());
    splitFolders->addWidget(buildPathSide());
    // The path list takes the width the window gains; the folder side keeps
    // its own unless the user drags the border.
    splitFolders->setStretchFactor(0, 0);
    splitFolders->setStretchFactor(1, 1);
    column(frmSelectPath, 0)->addWidget(splitFolders);
    buildSearchFrame();

    auto* panel = new QHBoxLayout(this);
    const int margin = chars(this, 1);
    panel->setContentsMargins(margin, lines(this, 0.6), margin, margin);
    panel->setSpacing(chars(this, 2));
    panel->addWidget(frmSelectPath, 1);
    panel->addWidget(fraSrch, 0);
    SetHelpContextID(this, kHelpSearchPaths);

    // Ctrl+L, as in the file managers, goes to the path entry.
    auto* toEntry = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    connect(toEntry, &QShortcut::activated, this, [this] {
        txtFolder->setFocus(Qt::ShortcutFocusReason);
        txtFolder->selectAll();
    });
    flashTimer_.setInterval(500);
    connect(&flashTimer_, &QTimer::timeout, this, [this] { flashStep(); });

    connect(cmdAdd, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
    connect(cmdRemove, &QPushButton::clicked, this, [this] { cmdRemove_Click(); });
    connect(cmdCriteria, &QPushButton::clicked, this, [this] { cmdCriteria_Click(); });
    connect(lstPath, &QTreeWidget::itemDoubleClicked, this, [this] { lstPath_DblClick(); });
    connect(drvPath, &QComboBox::activated, this, [this] { drvPath_Change(); });
    connect(dirPath, &FolderList::pathChanged, this, [this] { dirPath_Change(); });
    connect(lstPath->model(), &QAbstractItemModel::rowsInserted, this, &SetupPanel::keepChanged);
    connect(lstPath->model(), &QAbstractItemModel::rowsRemoved, this, &SetupPanel::keepChanged);
    connect(lstPath, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
        if (column == kKeepColumn) {
            emit keepChanged();
        }
    });
}

// The drive list, the path entry, the folder list and the pattern line in
// one column; [>], [<] and the criteria toggle beside it.
QWidget* SetupPanel::buildFolderSide()
{
    auto* side = named(new QWidget(frmSelectPath), "frmFolderSide");
    drvPath = named(new DriveCombo(side), "drvPath");
    // The desktop offers no dialog for mapping a network drive: the button
    // stays hidden and the drive list takes its room.
    cmdNetwork = named(new QPushButton(QStringLiteral("Net&work"), side), "cmdNetwork");
    cmdNetwork->setToolTip(QStringLiteral("Map network drive"));
    cmdNetwork->hide();
    txtFolder = named(new PathEntry(side), "txtFolder");
    txtFolder->setPlaceholderText(QStringLiteral("Type or paste a folder (Ctrl+L)"));
    txtFolder->setToolTip(QStringLiteral("Type or paste a folder and press Enter to open it below."));
    dirPath = named(new FolderList(side), "dirPath");
    dirPath->setToolTip(QStringLiteral("Double-click to select a path and click [>] to add."));
    dirPath->setMinimumSize(chars(this, 16), lines(this, 5));

    lblExt = named(new QLabel(QStringLiteral("&File type:"), side), "lblExt");
    txtExt = named(new QLineEdit(QStringLiteral("*.*"), side), "txtExt");
    txtExt->setToolTip(QStringLiteral(
        "Type *.* for all file types, *.mp3 for MP3 files, *.mpg for MPEG movies, *.jpg for JPEG images"));
    txtExt->setMinimumWidth(chars(this, 8));
    lblExt->setBuddy(txtExt);
    chkSubDir = named(new QCheckBox(QStringLiteral("S&ub-Folder"), side), "chkSubDir");
    chkSubDir->setChecked(true);
    lblExclude = named(new QLabel(QStringLiteral("E&xclude:"), side), "lblExclude");
    txtExclude = named(new QLineEdit(side), "txtExclude");
    txtExclude->setPlaceholderText(QStringLiteral(".git; node_modules"));
    txtExclude->setToolTip(QStringLiteral(
        "Names or paths to leave out of every folder, separated by \";\": .git leaves out every file and folder "
        "of that name, src/build the path below the folder searched, cache/ folders alone"));
    lblExclude->setBuddy(txtExclude);
    // One labelled line per pattern setting.
    auto* patternLines = new QGridLayout;
    patternLines->setContentsMargins(0, 0, 0, 0);
    patternLines->addWidget(lblExt, 0, 0);
    patternLines->addWidget(txtExt, 0, 1);
    patternLines->addWidget(chkSubDir, 0, 2);
    patternLines->addWidget(lblExclude, 1, 0);
    patternLines->addWidget(txtExclude, 1, 1, 1, 2);
    patternLines->setColumnStretch(1, 1);

    auto* folders = column(nullptr, lines(this, 0.2));
    folders->addWidget(drvPath);
    folders->addWidget(txtFolder);
    folders->addWidget(dirPath, 1);
    folders->addSpacing(lines(this, 0.2));
    folders->addLayout(patternLines);

    QFont bold = font();
    bold.setBold(true);
    const int square = std::max(lines(this, 1.7), 22);
    // Alt+> and Alt+< without an underline, which would read as >= and <=.
    cmdAdd = named(new QPushButton(QStringLiteral(">"), side), "cmdAdd");
    cmdAdd->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Greater));
    cmdAdd->setFont(bold);
    cmdAdd->setToolTip(QStringLiteral("Add selected folder"));
    cmdRemove = named(new QPushButton(QStringLiteral("<"), side), "cmdRemove");
    cmdRemove->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Less));
    cmdRemove->setToolTip(QStringLiteral("Remove selected folder"));
    cmdCriteria = named(new QPushButton(side), "cmdCriteria");
    cmdCriteria->setIcon(imgMore);
    cmdCriteria->setIconSize(QSize(square, square) * 2 / 3);
    cmdCriteria->setToolTip(QStringLiteral("More Search Criteria"));
    for (QPushButton* b : {cmdAdd, cmdRemove}) {
        b->setFixedSize(std::max(square, b->fontMetrics().horizontalAdvance(b->text()) + chars(this, 2)), square);
    }
    const int iconRoom = cmdCriteria->iconSize().width() +
                         2 * style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, cmdCriteria) + 2;
    cmdCriteria->setFixedSize(std::max(square, iconRoom), square * 4 / 3);
    auto* buttons = column(nullptr, lines(this, 0.5));
    buttons->addStretch(2);
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdRemove);
    buttons->addStretch(3);
    buttons->addWidget(cmdCriteria);

    auto* row = new QHBoxLayout(side);
    row->setContentsMargins(0, 0, chars(this, 1), 0);
    row->setSpacing(chars(this, 1));
    row->addLayout(folders, 1);
    row->addLayout(buttons);
    return side;
}

// The path list, with the "More Criteria" frame drawn over its lower left
// part while it is open.
QWidget* SetupPanel::buildPathSide()
{
    auto* side = named(new QWidget(frmSelectPath), "frmPathSide");
    lstPath = named(new QTreeWidget(side), "lstPath");
    lstPath->setColumnCount(5);
    lstPath->setHeaderLabels({QStringLiteral("Path"), QStringLiteral("Sub-folder"), QStringLiteral("Min. Size"),
                              QStringLiteral("Max. Size"), QStringLiteral("Keep")});
    lstPath->headerItem()->setToolTip(kKeepColumn, QStringLiteral("Files found here are never marked"));
    lstPath->viewport()->setAcceptDrops(true);
    lstPath->viewport()->installEventFilter(this);
    lstPath->setRootIsDecorated(false);
    lstPath->setItemsExpandable(false);
    lstPath->setUniformRowHeights(true);
    lstPath->setSelectionMode(QAbstractItemView::SingleSelection);
    lstPath->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstPath->setAllColumnsShowFocus(true);
    // Path takes what the other columns leave, so Keep is always in view.
    QHeaderView* header = lstPath->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    int others = 0;
    for (int c = 1; c < lstPath->columnCount(); ++c) {
        header->setSectionResizeMode(c, QHeaderView::Fixed);
        lstPath->setColumnWidth(c, std::max(header->sectionSizeHint(c), chars(this, 7)));
        others += lstPath->columnWidth(c);
    }
    lstPath->setMinimumSize(others + chars(this, 6) + 2 * lstPath->frameWidth(), lines(this, 5));

    buildCriteria();
    auto* grid = new QGridLayout(side);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(lstPath, 0, 0);
    grid->addWidget(FrmMoreCriteria, 0, 0, Qt::AlignLeft | Qt::AlignBottom);
    FrmMoreCriteria->raise();  // drawn above the path list
    FrmMoreCriteria->hide();
    return side;
}

void SetupPanel::buildCriteria()
{
    FrmMoreCriteria = named(new FrameBox(QStringLiteral("More Criteria"), nullptr), "FrmMoreCriteria");
    FrmMoreCriteria->setAutoFillBackground(true);
    lblMinSz = named(new QLabel(QStringLiteral("Min File Size:"), FrmMoreCriteria), "lblMinSz");
    txtMinSz = named(new QLineEdit(FrmMoreCriteria), "txtMinSz");
    lblMinKB = named(new QLabel(QStringLiteral("KB"), FrmMoreCriteria), "lblMinKB");
    lblMaxSz = named(new QLabel(QStringLiteral("Max File Size:"), FrmMoreCriteria), "lblMaxSz");
    txtMaxSz = named(new QLineEdit(FrmMoreCriteria), "txtMaxSz");
    lblMaxKB = named(new QLabel(QStringLiteral("KB"), FrmMoreCriteria), "lblMaxKB");
    auto* grid = new QGridLayout(FrmMoreCriteria);
    grid->setContentsMargins(chars(this, 1), lines(this, 1), chars(this, 1), lines(this, 0.4));
    grid->setVerticalSpacing(lines(this, 0.3));
    int row = 0;
    for (QLineEdit* box : {txtMinSz, txtMaxSz}) {
        box->setMaxLength(9);
        box->setAlignment(Qt::AlignRight);
        box->installEventFilter(this);
        box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("000000000")) + chars(this, 2));
        grid->addWidget(row == 0 ? lblMinSz : lblMaxSz, row, 0);
        grid->addWidget(box, row, 1);
        grid->addWidget(row == 0 ? lblMinKB : lblMaxKB, row, 2);
        ++row;
    }
}

// Search and New Search, the search types and the tolerance box.
void SetupPanel::buildSearchFrame()
{
    QFont bold = font();
    bold.setBold(true);
    cmdSrch = named(new QPushButton(QStringLiteral("&Search"), fraSrch), "cmdSrch");
    cmdSrch->setFont(bold);
    cmdSrch->setToolTip(QStringLiteral("Start the search"));
    cmdSrch->setDefault(true);
    cmdNewSrch = named(new QPushButton(QStringLiteral("&New Search"), fraSrch), "cmdNewSrch");
    cmdNewSrch->setToolTip(QStringLiteral("Start a new search, clearing current settings"));
    // Both buttons as wide as the widest caption needs ("&Cancel" included).
    const int buttonWidth =
        std::max({cmdSrch->sizeHint().width(), cmdNewSrch->sizeHint().width(),
                  cmdSrch->fontMetrics().horizontalAdvance(QStringLiteral("Cancel")) + chars(this, 4),
                  cmdNewSrch->fontMetrics().horizontalAdvance(QStringLiteral("New Search")) + chars(this, 4)});
    cmdSrch->setMinimumSize(buttonWidth, std::max(cmdSrch->sizeHint().height(), lines(this, 2.2)));
    cmdNewSrch->setMinimumWidth(buttonWidth);

    lblSrchType = named(new QLabel(QStringLiteral("Search &type:"), fraSrch), "lblSrchType");
    lstSrchType = named(new QListWidget(fraSrch), "lstSrchType");
    lstSrchType->setToolTip(QStringLiteral(
        "Note: Searching file portions can be slow, be patient.\n"
        "Portions: a file whose leading 50,000-byte blocks begin a larger file with the same first "
        "400 bytes (files of more than 50,000 bytes)."));
    lstSrchType->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstSrchType->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstSrchType->setUniformItemSizes(true);
    lblSrchType->setBuddy(lstSrchType);
    for (const char* text : kSearchTypes) {
        auto* item = new QListWidgetItem(QString::fromLatin1(text), lstSrchType);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    // Exactly the four types, whole.
    const int frame = 2 * lstSrchType->frameWidth();
    lstSrchType->setFixedHeight(lstSrchType->count() * lstSrchType->sizeHintForRow(0) + frame);
    lstSrchType->setFixedWidth(lstSrchType->sizeHintForColumn(0) + frame + chars(this, 1));

    chkTolerant = named(new QCheckBox(QStringLiteral("To&lerate little diff."), fraSrch), "chkTolerant");
    chkTolerant->setToolTip(QStringLiteral(
        "Fuzzy matching in duplictes and portions search type. WARNING: This may not correctly "
        "duplicated files (especially for small file)"));
    SetHelpContextID(lstSrchType, kHelpSearchTypes);
    SetHelpContextID(chkTolerant, kHelpSearchTypes);

    auto* layout = column(fraSrch, lines(this, 0.3));
    layout->addWidget(cmdSrch, 0, Qt::AlignHCenter);
    layout->addWidget(cmdNewSrch, 0, Qt::AlignHCenter);
    layout->addSpacing(lines(this, 0.4));
    layout->addWidget(lblSrchType);
    layout->addWidget(lstSrchType);
    layout->addWidget(chkTolerant);
    layout->addStretch(1);

    connect(cmdSrch, &QPushButton::clicked, this, [this] { cmdSrch_Click(); });
    connect(cmdNewSrch, &QPushButton::clicked, this, [this] { cmdNewSrch_Click(); });
}

}  // namespace kormial
