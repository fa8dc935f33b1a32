#include "mainwindow/pathentry.h"

#include "platform/fs.h"
#include "platform/pathopen.h"

#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QStringListModel>

namespace kormial {

namespace {

QString expandHome(const QString& text)
{
    if (text == QStringLiteral("~") || text.startsWith(QStringLiteral("~/"))) {
        return QDir::homePath() + text.mid(1);
    }
    return text;
}

}  // namespace

PathEntry::PathEntry(QWidget* parent)
    : QLineEdit(parent), completer_(new QCompleter(this)), completions_(new QStringListModel(this))
{
    completer_->setModel(completions_);
    completer_->setCaseSensitivity(Qt::CaseSensitive);
    completer_->setCompletionMode(QCompleter::PopupCompletion);
    completer_->setMaxVisibleItems(12);
    setCompleter(completer_);
    setClearButtonEnabled(true);
    connect(this, &QLineEdit::textEdited, this, &PathEntry::offerSubFolders);
}

std::string PathEntry::folder(const std::string& base) const
{
    const std::string typed = QFile::encodeName(expandHome(text().trimmed())).toStdString();
    if (typed.empty() || typed.front() == '/') {
        return platform::lexicallyNormal(typed.empty() ? base : typed);
    }
    return platform::lexicallyNormal(base + "/" + typed);
}

void PathEntry::showFolder(const std::string& folder)
{
    setText(QFile::decodeName(QByteArray::fromStdString(folder)));
}

void PathEntry::offerSubFolders(const QString& text)
{
    const QString expanded = expandHome(text);
    const auto slash = expanded.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
        return;
    }
    const QString parent = expanded.left(slash + 1);
    if (parent == listed_) {
        return;
    }
    listed_ = parent;
    // Completions are written as the user began: with "~" when typed so.
    const QString shownParent = text.left(text.lastIndexOf(QLatin1Char('/')) + 1);
    QStringList offered;
    platform::Folder listing;
    if (listing.open(QFile::encodeName(parent).toStdString())) {
        for (const platform::FolderEntry& e : listing.entries()) {
            if (e.kind == platform::EntryKind::Folder) {
                offered << shownParent + QFile::decodeName(QByteArray::fromStdString(e.name));
            }
        }
    }
    completions_->setStringList(offered);
}

}  // namespace kormial
