// The status bar with its panels: panel 1 holds the progress bar, panel 2
// the status text, panel 3 at the right what the list in front holds.
#pragma once

#include <QPointer>
#include <QStatusBar>

class QFrame;
class QLabel;

namespace kormial {

class PanelStatusBar final : public QStatusBar {
    Q_OBJECT
public:
    explicit PanelStatusBar(QWidget* parent = nullptr);

    // Panel n (1, 2 or 3) in the bar's coordinates: left edge, top 0, width
    // and the bar's height.
    QRect panelRect(int n) const;
    QLabel* textPanel() const { return text_; }
    QLabel* countPanel() const { return counts_; }
    // Shows `text` in panel 3, which takes the room its text needs while the
    // status text keeps the room its own needs; when both cannot, panel 3
    // gets half and its text is shortened with "...", whole in its tooltip.
    void setCounts(const QString& text);
    QString counts() const;
    // Places `control` inside panel `panel`, inset by a small margin, and
    // keeps it there as the bar resizes.
    void dock(QWidget* control, int panel);

protected:
    void resizeEvent(QResizeEvent* event) override;
    // A panel's new text asks for layout: the panels are placed again.
    bool event(QEvent* event) override;

private:
    void placePanels();

    QFrame* separator_;
    QLabel* text_;
    QFrame* separator3_;
    QLabel* counts_;
    QPointer<QWidget> docked_;
    int dockedPanel_ = 1;
};

}  // namespace kormial
