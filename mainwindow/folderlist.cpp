#include "mainwindow/folderlist.h"

#include "platform/fs.h"
#include "platform/pathopen.h"
#include "platform/textfold.h"

#include <QKeyEvent>
#include <QStyle>

#include <algorithm>
#include <vector>

namespace kormial {

namespace {

constexpr int kPathRole = Qt::UserRole;

QTreeWidgetItem* makeEntry(const std::string& name, const std::string& fullPath, const QIcon& icon)
{
    auto* item = new QTreeWidgetItem(QStringList(QString::fromUtf8(name)));
    item->setIcon(0, icon);
    item->setData(0, kPathRole, QByteArray::fromStdString(fullPath));
    item->setToolTip(0, QString::fromUtf8(fullPath));
    return item;
}

}  // namespace

FolderList::FolderList(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setIndentation(10);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { openEntry(item); });
}

std::string FolderList::entryPath(const QTreeWidgetItem* item)
{
    return item == nullptr ? std::string() : item->data(0, kPathRole).toByteArray().toStdString();
}

void FolderList::setPath(const std::string& folder)
{
    path_ = platform::lexicallyNormal(folder);
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain from the root down to the current folder.
    QTreeWidgetItem* node = makeEntry("/", "/", openIcon);
    addTopLevelItem(node);
    std::string sofar;
    std::size_t i = 1;
    while (i < path_.size()) {
        const std::size_t slash = path_.find('/', i);
        const std::size_t end = slash == std::string::npos ? path_.size() : slash;
        const std::string name = path_.substr(i, end - i);
        sofar += "/" + name;
        QTreeWidgetItem* child = makeEntry(name, sofar, openIcon);
        node->addChild(child);
        node = child;
        i = end + 1;
    }
    currentFolder_ = node;

    // Its sub-folders: ordinary names first, then the dot-folders, each part
    // ordered with case ignored.
    std::vector<std::string> subs;
    platform::Folder listing;
    if (listing.open(path_)) {
        for (const auto& e : listing.entries()) {
            if (e.kind == platform::EntryKind::Folder) {
                subs.push_back(e.name);
            }
        }
    }
    std::stable_sort(subs.begin(), subs.end(), [](const std::string& a, const std::string& b) {
        const bool da = !a.empty() && a[0] == '.';
        const bool db = !b.empty() && b[0] == '.';
        if (da != db) {
            return db;
        }
        return platform::compareFolded(a, b) < 0;
    });
    const std::string prefix = path_ == "/" ? "/" : path_ + "/";
    for (const std::string& name : subs) {
        node->addChild(makeEntry(name, prefix + name, closedIcon));
    }
    expandAll();
    setCurrentItem(currentFolder_);
    scrollToItem(currentFolder_);
    emit pathChanged();
}

void FolderList::openEntry(QTreeWidgetItem* item)
{
    if (item != nullptr) {
        setPath(entryPath(item));
    }
}

void FolderList::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem() != nullptr) {
        openEntry(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace kormial
