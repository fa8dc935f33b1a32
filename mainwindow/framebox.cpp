#include "mainwindow/framebox.h"

#include <QPainter>
#include <QStyle>

namespace kormial {

FrameBox::FrameBox(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

void FrameBox::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    const QFontMetrics fm = fontMetrics();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::Window).darker(140), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect().adjusted(0, fm.height() / 2, 0, 0)).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    p.setRenderHint(QPainter::Antialiasing, false);

    const QString caption = title();
    const int textWidth = fm.horizontalAdvance(QString(caption).remove(QLatin1Char('&')));
    const QRect band(6, 0, textWidth + 6, fm.height());
    p.fillRect(band, palette().brush(QPalette::Window));
    style()->drawItemText(&p, band, Qt::AlignCenter | Qt::TextShowMnemonic, palette(), isEnabled(),
                          caption, QPalette::WindowText);
}

}  // namespace kormial
