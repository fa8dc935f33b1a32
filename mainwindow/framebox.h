// A frame with its caption set into the top border line, as the setup panel
// is laid out for: the contents start just below the caption's middle.
#pragma once

#include <QGroupBox>

namespace kormial {

class FrameBox : public QGroupBox {
    Q_OBJECT
public:
    explicit FrameBox(const QString& caption, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kormial
