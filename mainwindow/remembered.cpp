// The remembered setup, and the path-list rows it shares with [>] and with
// folders dropped on the path list.
#include "mainwindow/remembered.h"

#include "mainwindow/drivecombo.h"
#include "mainwindow/folderlist.h"
#include "mainwindow/frmmain.h"
#include "platform/gui/drives.h"
#include "platform/settings.h"
#include "results/widgets/resultview.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QSplitter>
#include <QTreeWidget>
#include <QUrl>

#include <string>
#include <utility>
#include <vector>

namespace kormial {

namespace {

constexpr int kRowPathRole = Qt::UserRole;
const char* const kSection = "Setup";

// Path bytes as settings text: readable where they are plain, exact where
// they are not (names need not be UTF-8).
std::string encodePath(const std::string& path)
{
    return QByteArray::fromStdString(path).toPercentEncoding(" !$&'()*+,-./:;=?@[]_~").toStdString();
}

std::string decodePath(const std::string& text)
{
    return QByteArray::fromPercentEncoding(QByteArray::fromStdString(text)).toStdString();
}

// The borders the user can drag: between the setup panel and the results,
// the folder side and the path list, the result lists and the preview.
std::vector<QSplitter*> splitters(const frmMain& window)
{
    return {window.splitMain, window.setup->splitFolders, window.results->splitResults};
}

std::string flag(bool on)
{
    return on ? "1" : "0";
}

std::optional<std::string> stored(const std::string& key)
{
    return platform::GetSetting(kSection, key);
}

QString storedText(const std::string& key, const QString& otherwise)
{
    const auto text = stored(key);
    return text ? QString::fromStdString(*text) : otherwise;
}

}  // namespace

std::string SetupPanel::rowPath(const QTreeWidgetItem* item)
{
    return item->data(0, kRowPathRole).toByteArray().toStdString();
}

void SetupPanel::addPathRow(const std::string& text, bool subFolders, const QString& minText,
                            const QString& maxText, bool keep)
{
    auto* item = new QTreeWidgetItem(QStringList{
        QString::fromUtf8(text), subFolders ? QStringLiteral("Yes") : QStringLiteral("No"), minText, maxText});
    item->setData(0, kRowPathRole, QByteArray::fromStdString(text));
    item->setToolTip(0, QString::fromUtf8(text));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(kKeepColumn, keep ? Qt::Checked : Qt::Unchecked);
    lstPath->addTopLevelItem(item);
}

// Local folders only: files and remote places are not taken.
bool SetupPanel::pathListDrop(QEvent* event)
{
    const auto type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return false;
    }
    auto* drop = static_cast<QDropEvent*>(event);
    std::vector<std::string> folders;
    for (const QUrl& url : drop->mimeData()->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir()) {
            folders.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        }
    }
    if (folders.empty()) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        for (const std::string& folder : folders) {
            addFolder(folder);
        }
    }
    return true;
}

void SaveWindowSetup(const frmMain& window)
{
    const SetupPanel& s = *window.setup;
    std::vector<std::pair<std::string, std::string>> values{
        {"Folder", encodePath(s.dirPath->path())},
        {"Pattern", s.txtExt->text().toStdString()},
        {"Exclude", s.txtExclude->text().toStdString()},
        {"Sub-Folder", flag(s.chkSubDir->isChecked())},
        {"Min Size", s.txtMinSz->text().toStdString()},
        {"Max Size", s.txtMaxSz->text().toStdString()},
        {"Tolerant", flag(s.chkTolerant->isChecked())},
        {"Geometry", window.saveGeometry().toBase64().toStdString()},
        {"Export Format", std::to_string(window.results->exportFormat())},
    };
    for (const QSplitter* split : splitters(window)) {
        values.emplace_back("Borders " + split->objectName().toStdString(), split->saveState().toBase64().toStdString());
    }
    std::string types;
    for (int i = 0; i < s.lstSrchType->count(); ++i) {
        types += flag(s.lstSrchType->item(i)->checkState() == Qt::Checked);
    }
    values.emplace_back("Search Types", types);
    const int rows = s.lstPath->topLevelItemCount();
    values.emplace_back("Paths", std::to_string(rows));
    for (int i = 0; i < rows; ++i) {
        // sub-folders, Keep, min. and max. size, then the path
        const QTreeWidgetItem* item = s.lstPath->topLevelItem(i);
        values.emplace_back("Path " + std::to_string(i + 1),
                            flag(item->text(1) == QStringLiteral("Yes")) + '\t' +
                                flag(item->checkState(SetupPanel::kKeepColumn) == Qt::Checked) + '\t' +
                                item->text(2).toStdString() + '\t' + item->text(3).toStdString() + '\t' +
                                encodePath(SetupPanel::rowPath(item)));
    }
    for (int i = 0; i < kResultListCount; ++i) {
        values.emplace_back("Columns " + std::to_string(i + 1),
                            window.results->lstResult[static_cast<std::size_t>(i)]->header()->saveState().toBase64().toStdString());
    }
    platform::ReplaceSettings(kSection, values);
}

bool RestoreWindowSetup(frmMain& window)
{
    SetupPanel& s = *window.setup;
    if (const auto folder = stored("Folder"); folder && !gui::folderReadError(decodePath(*folder))) {
        const std::string path = decodePath(*folder);
        s.drvPath->setVolumes(gui::drives().volumes(path), gui::drives().volumeOf(path));
        s.dirPath->setPath(path);
    }
    s.txtExt->setText(storedText("Pattern", s.txtExt->text()));
    s.txtExclude->setText(storedText("Exclude", s.txtExclude->text()));
    s.chkSubDir->setChecked(stored("Sub-Folder").value_or(flag(s.chkSubDir->isChecked())) == "1");
    s.txtMinSz->setText(storedText("Min Size", s.txtMinSz->text()));
    s.txtMaxSz->setText(storedText("Max Size", s.txtMaxSz->text()));
    s.chkTolerant->setChecked(stored("Tolerant").value_or(flag(s.chkTolerant->isChecked())) == "1");
    if (const auto types = stored("Search Types"); types && static_cast<int>(types->size()) == s.lstSrchType->count()) {
        for (int i = 0; i < s.lstSrchType->count(); ++i) {
            s.lstSrchType->item(i)->setCheckState((*types)[static_cast<std::size_t>(i)] == '1' ? Qt::Checked
                                                                                                : Qt::Unchecked);
        }
    }
    const int rows = platform::ParseWholeNumber(stored("Paths").value_or("0")).value_or(0);
    for (int i = 1; i <= rows; ++i) {
        const QStringList f = storedText("Path " + std::to_string(i), {}).split(QLatin1Char('\t'));
        if (f.size() == 5) {
            s.addPathRow(decodePath(f[4].toStdString()), f[0] == QStringLiteral("1"), f[2], f[3],
                         f[1] == QStringLiteral("1"));
        }
    }
    const auto geometry = stored("Geometry");
    const bool placed = geometry && window.restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(*geometry)));
    for (QSplitter* split : splitters(window)) {
        if (const auto state = stored("Borders " + split->objectName().toStdString())) {
            split->restoreState(QByteArray::fromBase64(QByteArray::fromStdString(*state)));
        }
    }
    window.results->setExportFormat(platform::ParseWholeNumber(stored("Export Format").value_or("0")).value_or(0));
    for (int i = 0; i < kResultListCount; ++i) {
        if (const auto state = stored("Columns " + std::to_string(i + 1))) {
            window.results->lstResult[static_cast<std::size_t>(i)]->header()->restoreState(
                QByteArray::fromBase64(QByteArray::fromStdString(*state)));
        }
    }
    return placed;
}

}  // namespace kormial
