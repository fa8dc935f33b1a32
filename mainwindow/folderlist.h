// The folder list: the chain of folders from the root down to the current
// folder, then the current folder's sub-folders. A double-click (or Enter) on
// an entry opens it and makes it the current folder; a single click only
// highlights it.
#pragma once

#include <QTreeWidget>

#include <string>

namespace kormial {

class FolderList final : public QTreeWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr);

    // The current folder, as bytes, without a trailing "/" (the root is "/").
    const std::string& path() const { return path_; }
    // Makes `folder` the current folder and lists it.
    void setPath(const std::string& folder);
    // The folder an entry stands for.
    static std::string entryPath(const QTreeWidgetItem* item);
    // The entry of the current folder.
    QTreeWidgetItem* currentFolderItem() const { return currentFolder_; }
    // Opens an entry as a double-click does.
    void openEntry(QTreeWidgetItem* item);

signals:
    void pathChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The chain is always open: no expand arrows are drawn.
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

private:
    std::string path_;
    QTreeWidgetItem* currentFolder_ = nullptr;
};

}  // namespace kormial
