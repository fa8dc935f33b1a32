#include "mainwindow/frmtip.h"

#include "mainwindow/fontunits.h"
#include "mainwindow/menus_help.h"
#include "platform/gui/dialogs.h"
#include "platform/settings.h"
#include "mainwindow/tipsfile.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMoveEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRadialGradient>
#include <QScreen>
#include <QStringDecoder>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <climits>

namespace kormial {

namespace {

// A line of the tips file as text: UTF-8 when it is valid UTF-8, otherwise
// taken as Latin-1 so that every byte still shows as a character.
QString decodeTip(const std::string& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError()) {
        text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    return text;
}

}  // namespace

QPixmap LightBulbPixmap()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    // Rays.
    p.setPen(QPen(QColor(0xf2, 0xb1, 0x1c), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 0.8), QPointF(16, 3.2));
    p.drawLine(QPointF(4.2, 5.2), QPointF(6.0, 7.0));
    p.drawLine(QPointF(27.8, 5.2), QPointF(26.0, 7.0));
    p.drawLine(QPointF(0.8, 14), QPointF(3.4, 14));
    p.drawLine(QPointF(31.2, 14), QPointF(28.6, 14));

    // Glass: a round top narrowing to the neck.
    QPainterPath glass;
    glass.moveTo(12.2, 23.0);
    glass.cubicTo(11.8, 20.0, 7.0, 18.0, 7.0, 13.0);
    glass.cubicTo(7.0, 7.6, 11.0, 4.6, 16.0, 4.6);
    glass.cubicTo(21.0, 4.6, 25.0, 7.6, 25.0, 13.0);
    glass.cubicTo(25.0, 18.0, 20.2, 20.0, 19.8, 23.0);
    glass.closeSubpath();
    QRadialGradient light(QPointF(14, 10), 12);
    light.setColorAt(0.0, QColor(0xff, 0xfd, 0xe8));
    light.setColorAt(0.45, QColor(0xff, 0xec, 0x5c));
    light.setColorAt(1.0, QColor(0xf5, 0xc2, 0x10));
    p.setBrush(light);
    p.setPen(QPen(QColor(0x9a, 0x6b, 0x00), 1.1));
    p.drawPath(glass);

    // Filament.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xc0, 0x5a, 0x00), 1.0));
    QPainterPath filament;
    filament.moveTo(13.6, 22.5);
    filament.lineTo(13.6, 16.5);
    filament.lineTo(14.8, 14.5);
    filament.lineTo(16.0, 16.5);
    filament.lineTo(17.2, 14.5);
    filament.lineTo(18.4, 16.5);
    filament.lineTo(18.4, 22.5);
    p.drawPath(filament);

    // Screw base and contact.
    p.setPen(QPen(QColor(0x4a, 0x4f, 0x55), 0.8));
    p.setBrush(QColor(0xa8, 0xb0, 0xb8));
    p.drawRoundedRect(QRectF(12.0, 23.0, 8.0, 5.2), 1.2, 1.2);
    p.drawLine(QPointF(12.0, 24.8), QPointF(20.0, 25.6));
    p.drawLine(QPointF(12.0, 26.4), QPointF(20.0, 27.2));
    p.setBrush(QColor(0x4a, 0x4f, 0x55));
    p.drawRoundedRect(QRectF(14.2, 28.0, 3.6, 2.6), 1.0, 1.0);
    return pixmap;
}

frmTip::frmTip(QWidget* owner, const QString& programFolder)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      programFolder_(programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder)
{
    setObjectName(QStringLiteral("frmTip"));
    setWindowTitle(QStringLiteral("Tip of the Day"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);

    picTip = new QFrame(this);
    picTip->setObjectName(QStringLiteral("picTip"));
    picTip->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picTip->setAutoFillBackground(true);
    QPalette white = picTip->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    picTip->setPalette(white);
    picTip->setMinimumSize(chars(this, 40), lines(this, 12));

    imgBulb = new QLabel(picTip);
    imgBulb->setObjectName(QStringLiteral("imgBulb"));
    imgBulb->setPixmap(LightBulbPixmap());

    lblDidYouKnow = new QLabel(QStringLiteral("Did you know..."), picTip);
    lblDidYouKnow->setObjectName(QStringLiteral("lblDidYouKnow"));
    QFont heading = lblDidYouKnow->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.25);
    lblDidYouKnow->setFont(heading);

    lblTipText = new QLabel(picTip);
    lblTipText->setObjectName(QStringLiteral("lblTipText"));
    // The file's text is shown as it stands, never as markup.
    lblTipText->setTextFormat(Qt::PlainText);
    lblTipText->setWordWrap(true);
    lblTipText->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdNextTip = new QPushButton(QStringLiteral("&Next Tip"), this);
    cmdNextTip->setObjectName(QStringLiteral("cmdNextTip"));
    chkLoadTipsAtStartup = new QCheckBox(QStringLiteral("&Show Tips at Startup"), this);
    chkLoadTipsAtStartup->setObjectName(QStringLiteral("chkLoadTipsAtStartup"));

    // The white box with the bulb, the heading beside it and the tip below;
    // OK and Next Tip at the right; the check box underneath.
    auto* box = new QGridLayout(picTip);
    box->setContentsMargins(chars(this, 1), lines(this, 0.4), chars(this, 2), lines(this, 0.8));
    box->setHorizontalSpacing(chars(this, 1));
    box->setVerticalSpacing(lines(this, 0.8));
    box->addWidget(imgBulb, 0, 0, Qt::AlignTop);
    box->addWidget(lblDidYouKnow, 0, 1, Qt::AlignVCenter);
    box->addWidget(lblTipText, 1, 1);
    box->setRowStretch(1, 1);
    box->setColumnStretch(1, 1);
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(lines(this, 0.5));
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdNextTip);
    buttons->addStretch(1);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(chars(this, 1), lines(this, 0.5), chars(this, 1), lines(this, 0.5));
    grid->setHorizontalSpacing(chars(this, 2));
    grid->addWidget(picTip, 0, 0);
    grid->addLayout(buttons, 0, 1);
    grid->addWidget(chkLoadTipsAtStartup, 1, 0, 1, 2);
    // One size for every tip, known before the window is placed.
    setFixedSize(sizeHint());
    SetHelpContextID(this, kHelpTips);
    SetHelpContextID(chkLoadTipsAtStartup, kHelpTips);

    connect(cmdOK, &QPushButton::clicked, this, &frmTip::cmdOK_Click);
    connect(cmdNextTip, &QPushButton::clicked, this, &frmTip::cmdNextTip_Click);
    connect(chkLoadTipsAtStartup, &QCheckBox::clicked, this, &frmTip::chkLoadTipsAtStartup_Click);

    if (owner != nullptr) {
        owner_ = owner->window();
        owner_->installEventFilter(this);
    }
}

void frmTip::ShowOverOwner()
{
    if (!owner_.isNull() && !owner_->isVisible()) {
        showWithOwner_ = true;
        return;
    }
    centreOverOwner();
    show();
    centreOverOwner();  // again with its frame, known once it is shown
}

void frmTip::centreOverOwner()
{
    if (owner_.isNull()) {
        return;
    }
    const QPoint place = gui::centredOver(frameGeometry(), owner_.data());
    placedAt_.append(place);
    if (placedAt_.size() > 8) {
        placedAt_.removeFirst();
    }
    move(place);
}

bool frmTip::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == owner_) {
        if (event->type() == QEvent::Show && showWithOwner_) {
            showWithOwner_ = false;
            centreOverOwner();
            show();
            centreOverOwner();
        } else if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && followOwner_ &&
                   isVisible()) {
            centreOverOwner();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmTip::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    // Somewhere it was not put: the user moved it, and there it stays. (The
    // reports of earlier places may come after a later one was asked for.)
    const bool placed = std::any_of(placedAt_.begin(), placedAt_.end(), [this](QPoint p) {
        return (p - pos()).manhattanLength() <= 2;
    });
    followOwner_ = followOwner_ && placed;
}

bool frmTip::Form_Load()
{
    if (ShowTipsAtStartupValue() == 0) {
        return false;
    }
    chkLoadTipsAtStartup->setChecked(true);
    random_.seed(static_cast<std::uint64_t>(
        std::chrono::system_clock::now().time_since_epoch().count()));
    if (!LoadTips(QDir(programFolder_).filePath(QLatin1String(kTipsFileName)))) {
        lblTipText->setText(QString::fromStdString(MissingTipsText()));
    }
    return true;
}

bool frmTip::LoadTips(const QString& sFile)
{
    const auto tips = ReadTipsFile(sFile.toStdString());
    if (!tips) {
        return false;
    }
    tipList_.clear();
    tipList_.reserve(static_cast<qsizetype>(tips->size()));
    for (const std::string& tip : *tips) {
        tipList_.append(decodeTip(tip));
    }
    ShowRandomTip();
    return true;
}

double frmTip::nextRandom()
{
    if (randomSource_) {
        return randomSource_();
    }
    return std::uniform_real_distribution<double>(0.0, 1.0)(random_);
}

void frmTip::ShowRandomTip()
{
    const int count = static_cast<int>(std::min<qsizetype>(tipList_.size(), INT_MAX));
    tipIndex_ = TipIndexFor(nextRandom(), count);
    DisplayCurrentTip();
}

void frmTip::DisplayCurrentTip()
{
    if (tipIndex_ < 1 || tipIndex_ > tipList_.size()) {
        return;
    }
    lblTipText->setText(tipList_.at(tipIndex_ - 1));
}

void frmTip::reject()
{
    cmdOK_Click();
}

void frmTip::cmdOK_Click()
{
    // Closing goes through QDialog's own reject so that the window is hidden
    // and, being a delete-on-close window, released.
    QDialog::reject();
}

void frmTip::cmdNextTip_Click()
{
    ShowRandomTip();
}

void frmTip::chkLoadTipsAtStartup_Click()
{
    SetShowTipsAtStartup(chkLoadTipsAtStartup->isChecked());
}

frmTip* ShowTipOfTheDay(QWidget* owner, const QString& programFolder)
{
    try {
        auto* tip = new frmTip(owner, programFolder);
        if (!tip->Form_Load()) {
            delete tip;
            return nullptr;
        }
        tip->ShowOverOwner();
        return tip;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace kormial
