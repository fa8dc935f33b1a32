#include "mainwindow/frmoptions.h"

#include "mainwindow/twips.h"
#include "platform/settings.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>

#include <algorithm>

namespace kormial {

frmOptions::frmOptions(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);

    chkLoadTipsAtStartup = new QCheckBox(QStringLiteral("&Show Tips at Startup"), this);
    chkLoadTipsAtStartup->setObjectName(QStringLiteral("chkLoadTipsAtStartup"));
    const QRect chkRect = twRect(120, 240, 2055, 315);
    chkLoadTipsAtStartup->setGeometry(chkRect.x(), chkRect.y(),
                                      std::max(chkRect.width(), chkLoadTipsAtStartup->sizeHint().width()),
                                      chkRect.height());

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(twRect(3000, 120, 1215, 375));
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(twRect(3000, 600, 1215, 375));
    for (QPushButton* button : {OKButton, CancelButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    setFixedSize(twRect(0, 0, 4320, 1185).size());

    connect(OKButton, &QPushButton::clicked, this, &frmOptions::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &frmOptions::CancelButton_Click);

    Form_Load();
}

void frmOptions::Form_Load()
{
    // Anything but a stored 0 (garbage and unknown numbers included) shows
    // the box ticked, as when nothing is stored.
    chkLoadTipsAtStartup->setChecked(ShowTipsAtStartupValue() != 0);
}

void frmOptions::OKButton_Click()
{
    SetShowTipsAtStartup(chkLoadTipsAtStartup->isChecked());
    accept();
}

void frmOptions::CancelButton_Click()
{
    reject();
}

void frmOptions::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            return;
        default:
            break;
        }
    }
    QDialog::keyPressEvent(event);
}

void ShowOptionsDialog(QWidget* owner)
{
    frmOptions dialog(owner);
    dialog.exec();
}

}  // namespace kormial
