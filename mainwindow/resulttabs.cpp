// The result tabs: captions with their counts, switching, sorting by a header
// and the File menu over a list.
#include "mainwindow/frmmain.h"
#include "results/widgets/resultview.h"

#include <QFrame>
#include <QMenu>
#include <QTabWidget>

namespace kormial {

void frmMain::UpdateCount()
{
    for (int i = 0; i < kResultListCount; ++i) {
        QString caption = tabMain->tabText(i);
        const auto open = caption.indexOf(QLatin1Char('('));
        if (open >= 0) {
            caption.truncate(open);
        }
        tabMain->setTabText(i, caption + QStringLiteral("(%1)").arg(lists_[static_cast<std::size_t>(i)].count()));
    }
}

void frmMain::tabMain_Click(int index)
{
    if (index < 0 || index == CurTab) {
        return;
    }
    // The tab strip has shown frame `index` and hidden the one of CurTab.
    CurTab = index;
    Form_Resize();
}

void frmMain::lstResult_ColumnClick(int index, int column)
{
    SortResultList(lists_.at(static_cast<std::size_t>(index)), column + 1, 0);
}

void frmMain::lstResult_MouseUp(int /*index*/, const QPoint& globalPos)
{
    if (mnuFile_ != nullptr) {
        mnuFile_->popup(globalPos);
    }
}

}  // namespace kormial
