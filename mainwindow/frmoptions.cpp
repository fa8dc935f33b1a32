#include "mainwindow/frmoptions.h"

#include "mainwindow/fontunits.h"
#include "platform/settings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPushButton>

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
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    for (QPushButton* button : {OKButton, CancelButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    // The check box at the left, OK and Cancel above each other at the right.
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(chars(this, 1), lines(this, 0.5), chars(this, 1), lines(this, 0.5));
    grid->setHorizontalSpacing(chars(this, 4));
    grid->addWidget(chkLoadTipsAtStartup, 0, 0, Qt::AlignTop);
    grid->addWidget(OKButton, 0, 1);
    grid->addWidget(CancelButton, 1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

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
