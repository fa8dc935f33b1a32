#include "platform/gui/dialogs.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace kormial::gui {

namespace {

// `box` over the middle of its owner's window, whole on that screen.
void centreOverOwner(QWidget* box, QWidget* owner)
{
    if (owner != nullptr) {
        box->move(centredOver(box->frameGeometry(), owner));
    }
}

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
        // Wide enough for the title bar to show the whole title (beside its
        // buttons), and centred once its size is known.
        if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
            const int titleWidth = box.fontMetrics().horizontalAdvance(title) * 5 / 4 + 160;
            grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                          grid->rowCount(), 0, 1, grid->columnCount());
        }
        QTimer::singleShot(0, &box, [&box, owner] { centreOverOwner(&box, owner); });
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

    FileChoice saveFileName(QWidget* owner, const QString& title, const QString& proposed,
                            const QStringList& filters, int selected) override
    {
        QString chosen = filters.value(selected, filters.value(0));
        const QString path = QFileDialog::getSaveFileName(owner, title, proposed, filters.join(QStringLiteral(";;")),
                                                          &chosen);
        return {path, std::max<int>(0, static_cast<int>(filters.indexOf(chosen)))};
    }

    QString openFileName(QWidget* owner, const QString& title, const QString& folder,
                         const QString& filter) override
    {
        return QFileDialog::getOpenFileName(owner, title, folder, filter);
    }

    bool waitFor(QWidget* owner, const QString& text, const std::function<bool()>& ready) override
    {
        if (ready()) {
            return true;
        }
        QMessageBox box(QMessageBox::Information, appTitle(), text, QMessageBox::Cancel, owner);
        bool done = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &box, [&] {
            if (ready()) {
                done = true;
                box.done(0);
            }
        });
        poll.start(200);
        QTimer::singleShot(0, &box, [&box, owner] { centreOverOwner(&box, owner); });
        box.exec();
        return done;
    }
};

}  // namespace

FileChoice Dialogs::saveFileName(QWidget*, const QString&, const QString&, const QStringList&, int)
{
    return {};
}

QString Dialogs::openFileName(QWidget*, const QString&, const QString&, const QString&)
{
    return {};
}

bool Dialogs::waitFor(QWidget*, const QString&, const std::function<bool()>& ready)
{
    return ready();
}

QPoint centredOver(const QRect& frame, const QWidget* owner)
{
    QRect place = frame;
    place.moveCenter(owner->window()->frameGeometry().center());
    // the whole window on the owner's screen, its title bar first
    if (const QScreen* screen = owner->screen()) {
        const QRect room = screen->availableGeometry();
        place.moveRight(std::min(place.right(), room.right()));
        place.moveBottom(std::min(place.bottom(), room.bottom()));
        place.moveLeft(std::max(place.left(), room.left()));
        place.moveTop(std::max(place.top(), room.top()));
    }
    return place.topLeft();
}

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
