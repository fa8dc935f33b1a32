#include "platform/gui/dialogs.h"

#include <QInputDialog>
#include <QMessageBox>

namespace kormial::gui {

namespace {

class DesktopDialogs final : public Dialogs {
public:
    MsgAnswer msgBox(QWidget* owner, const QString& text, const QString& title, MsgIcon icon,
                     MsgButtons buttons) override
    {
        QMessageBox box(owner);
        box.setWindowTitle(title);
        box.setText(text);
        switch (icon) {
        case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
        case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
        case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
        case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
        }
        if (buttons == MsgButtons::Ok) {
            box.setStandardButtons(QMessageBox::Ok);
        } else {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(buttons == MsgButtons::YesNo ? QMessageBox::Yes : QMessageBox::No);
            box.setEscapeButton(QMessageBox::No);
        }
        const int answer = box.exec();
        if (buttons != MsgButtons::Ok) {
            return answer == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
        }
        return MsgAnswer::Ok;
    }

    QString inputBox(QWidget* owner, const QString& prompt, const QString& title,
                     const QString& proposed) override
    {
        bool ok = false;
        const QString text =
            QInputDialog::getText(owner, title, prompt, QLineEdit::Normal, proposed, &ok);
        return ok ? text : QString();
    }
};

}  // namespace

Dialogs& desktopDialogs()
{
    static DesktopDialogs d;
    return d;
}

QString appTitle()
{
    return QStringLiteral("Kormial");
}

MsgAnswer MsgBox(QWidget* owner, const QString& text, MsgIcon icon, const QString& title,
                 MsgButtons buttons)
{
    return dialogs().msgBox(owner, text, title.isEmpty() ? appTitle() : title, icon, buttons);
}

QString InputBox(QWidget* owner, const QString& prompt, const QString& title,
                 const QString& proposed)
{
    return dialogs().inputBox(owner, prompt, title.isEmpty() ? appTitle() : title, proposed);
}

}  // namespace kormial::gui
