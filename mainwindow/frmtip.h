// "Tip of the Day": a random line of TIPOFDAY.TXT, shown at start over the
// main window without blocking it.
#pragma once

#include <QDialog>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <random>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace kormial {

class frmTip : public QDialog {
    Q_OBJECT

public:
    // `programFolder` is where TIPOFDAY.TXT is looked for; empty means the
    // folder of the running program.
    explicit frmTip(QWidget* owner, const QString& programFolder = QString());

    // The load step: false when the setting switches the window off (the
    // caller then closes it unseen). Otherwise ticks the check box and shows
    // a random tip, or the explanation when the tips file is missing.
    bool Form_Load();

    // Fills the tip list from `sFile` and shows a random tip; false (and no
    // tip list) when the path is empty or the file is missing or unreadable.
    bool LoadTips(const QString& sFile);
    // Draws TipIndex at random (1 to the number of tips) and shows that tip.
    void ShowRandomTip();
    // Puts tip TipIndex into lblTipText; nothing when there is no such tip.
    void DisplayCurrentTip();

    const QStringList& TipList() const { return tipList_; }
    int TipIndex() const { return tipIndex_; }

    // Shows the window centred over its owner: at once when the owner is on
    // screen, otherwise as soon as it comes up. Until the user moves the tip
    // window, it stays centred as the owner is moved or resized (the window
    // manager may place the owner only after it is shown).
    void ShowOverOwner();

    // Replaces the random generator: `source` returns values in [0, 1).
    void SetRandomSource(std::function<double()> source) { randomSource_ = std::move(source); }

    QFrame* picTip = nullptr;      // white box with the light bulb
    QLabel* imgBulb = nullptr;
    QLabel* lblDidYouKnow = nullptr;
    QLabel* lblTipText = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdNextTip = nullptr;
    QCheckBox* chkLoadTipsAtStartup = nullptr;

protected:
    void reject() override;  // Esc and the close box act as OK
    bool eventFilter(QObject* watched, QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void cmdOK_Click();
    void cmdNextTip_Click();
    void chkLoadTipsAtStartup_Click();
    double nextRandom();
    void centreOverOwner();

    QString programFolder_;
    QStringList tipList_;
    int tipIndex_ = 1;
    std::mt19937_64 random_;
    std::function<double()> randomSource_;
    QPointer<QWidget> owner_;   // the owner's top-level window
    bool showWithOwner_ = false;
    bool followOwner_ = true;
    QList<QPoint> placedAt_;    // the last places it was put in
};

// Shows the tip window owned by `owner` without waiting for it. Returns the
// window (it deletes itself when closed), or nullptr when the setting
// switches it off or anything went wrong: the start of the program never
// depends on it.
frmTip* ShowTipOfTheDay(QWidget* owner, const QString& programFolder = QString());

// The 32 x 32 light bulb of the tip window.
QPixmap LightBulbPixmap();

}  // namespace kormial
