// "Options": the switch for the tip window at start. OK stores it, Cancel
// and the close box leave the stored value as it was.
#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace kormial {

class frmOptions : public QDialog {
    Q_OBJECT

public:
    // Builds the dialog and loads the stored value into the check box.
    explicit frmOptions(QWidget* owner);

    QCheckBox* chkLoadTipsAtStartup = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    // Neither button answers Enter or Esc.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void OKButton_Click();
    void CancelButton_Click();
};

// Shows the options dialog modal over `owner` and returns when it closes.
void ShowOptionsDialog(QWidget* owner);

}  // namespace kormial
