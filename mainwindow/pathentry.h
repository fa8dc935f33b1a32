// The path entry above the folder list: a folder typed or pasted, completed
// from the sub-folders of what is typed so far. "~" stands for the home
// folder; a relative path is taken from the folder the list shows.
#pragma once

#include <QLineEdit>

#include <string>

class QCompleter;
class QStringListModel;

namespace kormial {

class PathEntry final : public QLineEdit {
    Q_OBJECT
public:
    explicit PathEntry(QWidget* parent = nullptr);

    // The folder the text names, as bytes: "~" expanded, relative to `base`,
    // without "." and ".." steps.
    std::string folder(const std::string& base) const;
    // Shows `folder` (bytes) without offering completions.
    void showFolder(const std::string& folder);

private:
    // The sub-folders of the folder the text ends in, as completions.
    void offerSubFolders(const QString& text);

    QCompleter* completer_;
    QStringListModel* completions_;
    QString listed_;  // the folder whose sub-folders are offered
};

}  // namespace kormial
