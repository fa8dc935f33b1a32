// The status bar with its two panels: panel 1 holds the progress bar, panel 2
// the status text.
#pragma once

#include <QStatusBar>

class QFrame;
class QLabel;

namespace kormial {

class PanelStatusBar final : public QStatusBar {
    Q_OBJECT
public:
    explicit PanelStatusBar(QWidget* parent = nullptr);

    // Panel n (1 or 2) in the bar's coordinates: left edge, top 0, width and
    // the bar's height.
    QRect panelRect(int n) const;
    QLabel* textPanel() const { return text_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placePanels();

    QFrame* separator_;
    QLabel* text_;
};

}  // namespace kormial
