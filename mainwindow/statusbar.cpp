#include "mainwindow/statusbar.h"

#include "mainwindow/fontunits.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>

#include <algorithm>

namespace kormial {

namespace {

// In lines and characters of the bar's font.
constexpr double kBarLines = 1.35;
constexpr double kPanel1Chars = 22;
constexpr double kGripLines = 1.2;     // kept free for the size grip
constexpr double kDockMarginLines = 0.2;

}  // namespace

PanelStatusBar::PanelStatusBar(QWidget* parent)
    : QStatusBar(parent), separator_(new QFrame(this)), text_(new QLabel(this)),
      separator3_(new QFrame(this)), counts_(new QLabel(this))
{
    setFixedHeight(lines(this, kBarLines));
    setSizeGripEnabled(true);
    separator_->setFrameShape(QFrame::VLine);
    separator_->setFrameShadow(QFrame::Sunken);
    text_->setIndent(4);
    text_->setTextFormat(Qt::PlainText);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    separator3_->setFrameShape(QFrame::VLine);
    separator3_->setFrameShadow(QFrame::Sunken);
    counts_->setObjectName(QStringLiteral("CountPanel"));
    counts_->setIndent(4);
    counts_->setTextFormat(Qt::PlainText);
    counts_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    placePanels();
}

void PanelStatusBar::setCounts(const QString& text)
{
    counts_->setToolTip(text);
    placePanels();
}

QString PanelStatusBar::counts() const
{
    return counts_->toolTip();
}

QRect PanelStatusBar::panelRect(int n) const
{
    const int w1 = chars(this, kPanel1Chars);
    if (n == 1) {
        return QRect(0, 0, w1, height());
    }
    const int left = w1 + 2;
    const int room = std::max(0, width() - left - lines(this, kGripLines));
    const QString counts = counts_->toolTip();
    const int countsNeed = counts.isEmpty() ? 0 : counts_->fontMetrics().horizontalAdvance(counts) + 16;
    const int textNeed = text_->sizeHint().width();
    const int w3 = std::min(countsNeed, std::max(room - textNeed, room / 2));
    if (n == 2) {
        return QRect(left, 0, room - w3, height());
    }
    return QRect(left + room - w3, 0, w3, height());
}

void PanelStatusBar::resizeEvent(QResizeEvent* event)
{
    QStatusBar::resizeEvent(event);
    placePanels();
}

bool PanelStatusBar::event(QEvent* event)
{
    if (event->type() == QEvent::LayoutRequest) {
        placePanels();
    }
    return QStatusBar::event(event);
}

void PanelStatusBar::dock(QWidget* control, int panel)
{
    control->hide();
    control->setParent(this);
    docked_ = control;
    dockedPanel_ = panel;
    placePanels();
    control->show();
    control->raise();
}

void PanelStatusBar::placePanels()
{
    const QRect p1 = panelRect(1);
    if (!docked_.isNull()) {
        // In from the panel's sides and the bar's top by the margin, down to
        // the bar's bottom edge.
        const int m = lines(this, kDockMarginLines);
        const QRect p = panelRect(dockedPanel_);
        docked_->setGeometry(p.left() + m, m, p.width() - 2 * m, height() - m);
    }
    separator_->setGeometry(p1.right() + 1, 2, 2, std::max(0, height() - 4));
    text_->setGeometry(panelRect(2));
    const QRect p3 = panelRect(3);
    counts_->setGeometry(p3);
    counts_->setText(counts_->fontMetrics().elidedText(counts_->toolTip(), Qt::ElideRight, p3.width() - 10));
    separator3_->setGeometry(p3.left() - 2, 2, 2, std::max(0, height() - 4));
    separator3_->setVisible(p3.width() > 0);
    counts_->setVisible(p3.width() > 0);
}

}  // namespace kormial
