#include "mainwindow/statusbar.h"

#include "mainwindow/twips.h"

#include <QFrame>
#include <QLabel>

#include <algorithm>

namespace kormial {

namespace {

constexpr int kBarHeight = 255;    // twips
constexpr int kPanel1Width = 2400; // twips
constexpr int kGripRoom = 18;      // pixels kept free for the size grip

}  // namespace

PanelStatusBar::PanelStatusBar(QWidget* parent)
    : QStatusBar(parent), separator_(new QFrame(this)), text_(new QLabel(this))
{
    setFixedHeight(tw(kBarHeight));
    setSizeGripEnabled(true);
    separator_->setFrameShape(QFrame::VLine);
    separator_->setFrameShadow(QFrame::Sunken);
    text_->setIndent(4);
    text_->setTextFormat(Qt::PlainText);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    placePanels();
}

QRect PanelStatusBar::panelRect(int n) const
{
    const int w1 = tw(kPanel1Width);
    if (n == 1) {
        return QRect(0, 0, w1, height());
    }
    const int left = w1 + 2;
    return QRect(left, 0, std::max(0, width() - left - kGripRoom), height());
}

void PanelStatusBar::resizeEvent(QResizeEvent* event)
{
    QStatusBar::resizeEvent(event);
    placePanels();
}

void PanelStatusBar::placePanels()
{
    const QRect p1 = panelRect(1);
    separator_->setGeometry(p1.right() + 1, 2, 2, std::max(0, height() - 4));
    text_->setGeometry(panelRect(2));
}

}  // namespace kormial
