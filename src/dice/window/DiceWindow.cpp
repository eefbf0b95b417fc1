// SPDX-License-Identifier: GPL-3.0-or-later
#include "dice/window/DiceWindow.h"

#include "settings/SettingsStore.h"
#include "ui/BusyGuard.h"
#include "ui/NamedComboBox.h"
#include "ui/TextDrag.h"
#include "ui/Twips.h"
#include "ui/WindowPlace.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace keld {

namespace {

constexpr int kSlotColumns = 3;
constexpr double kValueWidthTwips = 1200;
constexpr double kValueHeightTwips = 480;

QString QtText(const std::string& text)
{
    return QString::fromStdString(text);
}

// The spins bar with its keyboard focus shown, as a frame in the highlight colour: the styles
// draw no focus on a scroll bar.
class SpinsBar : public QScrollBar {
    Q_OBJECT

public:
    using QScrollBar::QScrollBar;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QScrollBar::paintEvent(event);
        if (!hasFocus())
            return;
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
};

// Enter presses the focused button, as Space does (a window that is no dialog leaves it off).
QPushButton* MakeButton(const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setAutoDefault(true);
    return button;
}

} // namespace

DiceWindow::DiceWindow(SettingsStore& settings, QWidget* parent)
    : DiceWindow(settings, MakeClockSeededSource(), parent)
{
}

DiceWindow::DiceWindow(SettingsStore& settings, UniformSource uniform, QWidget* parent)
    : QWidget(parent, Qt::Window), m_settings(settings), m_roller(std::move(uniform)),
      m_dragStarter(&StartCaptionDrag)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("KELD Dice Roller"));
    setAccessibleName(windowTitle());

    auto* grid = new QGridLayout;
    for (int i = 0; i < DiceRoller::kSlotCount; ++i)
        grid->addWidget(BuildSlot(i), i / kSlotColumns, i % kSlotColumns);

    m_rollAll = MakeButton(QStringLiteral("&ROLL ALL"), this);
    m_rollAll->setObjectName(QStringLiteral("Command1"));
    m_rollAll->setAccessibleName(QStringLiteral("Roll all"));
    connect(m_rollAll, &QPushButton::clicked, this, [this] {
        const BusyGuard busy;
        Rolling([this] { m_roller.RollAll(); });
    });

    m_percentile = MakeButton(QStringLiteral("%-ILES"), this);
    m_percentile->setObjectName(QStringLiteral("Command3"));
    m_percentile->setAccessibleName(QStringLiteral("Percentile dice in every slot"));
    connect(m_percentile, &QPushButton::clicked, this, [this] { m_roller.SetAllPercentile(); });

    m_globalReroll = new QCheckBox(QStringLiteral("Reroll < 20"), this);
    m_globalReroll->setObjectName(QStringLiteral("gblchkMin"));
    m_globalReroll->setAccessibleName(QStringLiteral("Reroll up to 20 in every slot"));
    connect(m_globalReroll, &QCheckBox::clicked, this,
            [this](bool checked) { m_roller.SetGlobalReroll(checked); });

    m_spinsCaption = new QLabel(this);
    m_spinsCaption->setObjectName(QStringLiteral("Label2"));
    m_spinsCaption->setAccessibleDescription(QStringLiteral("Dice spins"));
    m_spins = new SpinsBar(Qt::Horizontal, this);
    m_spins->setObjectName(QStringLiteral("HScroll1"));
    m_spins->setAccessibleName(QStringLiteral("Dice spins"));
    m_spins->setRange(DiceRoller::kMinSpins, DiceRoller::kMaxSpins);
    m_spins->setSingleStep(1);
    m_spins->setPageStep(10);
    // Reachable by Tab and moved by the arrows, PgUp/PgDn and Home/End like any slider.
    m_spins->setFocusPolicy(Qt::StrongFocus);
    m_spins->installEventFilter(this);
    m_spinsCaption->setBuddy(m_spins);
    connect(m_spins, &QScrollBar::valueChanged, this, [this](int value) { m_roller.SetSpins(value); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_rollAll);
    buttons->addWidget(m_percentile);
    buttons->addWidget(m_globalReroll);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addWidget(m_spinsCaption);
    layout->addWidget(m_spins);

    for (int i = 0; i < DiceRoller::kSlotCount; ++i)
        for (DiceField field : {DiceField::Expression, DiceField::Reroll, DiceField::Value, DiceField::Look})
            ShowSlot(i, field);
    ShowSlot(-1, DiceField::Spins);
    ShowSlot(-1, DiceField::GlobalReroll);
    m_roller.SetObserver(this);
}

DiceWindow::~DiceWindow()
{
    m_roller.SetObserver(nullptr);
}

QWidget* DiceWindow::BuildSlot(int slot)
{
    const QString number = QString::number(slot + 1);
    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("frmDice_%1").arg(slot));
    frame->setAccessibleName(QStringLiteral("Slot %1").arg(number));
    SlotControls& c = m_slots[slot];

    c.dice = new NamedComboBox(frame);
    c.dice->setObjectName(QStringLiteral("lstDice_%1").arg(slot));
    c.dice->setAccessibleName(QStringLiteral("Slot %1 dice").arg(number));
    c.dice->setEditable(true);
    c.dice->setInsertPolicy(QComboBox::NoInsert);
    // Inline completion would turn a typed "1D1" into "1D10".
    c.dice->setCompleter(nullptr);
    for (std::string_view entry : DiceRoller::kExpressionList)
        c.dice->addItem(QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size())));
    c.dice->setMaxVisibleItems(static_cast<int>(DiceRoller::kExpressionList.size()));
    // A value dragged from this window is meant for a stat of the sheet; dropped here it would
    // silently become a dice expression.
    c.dice->setAcceptDrops(false);
    if (QLineEdit* edit = c.dice->lineEdit())
        edit->setAcceptDrops(false);
    connect(c.dice, &QComboBox::editTextChanged, this,
            [this, slot](const QString& text) { m_roller.SetExpression(slot, text.toStdString()); });

    c.roll = MakeButton(QStringLiteral("Roll Me"), frame);
    c.roll->setObjectName(QStringLiteral("Command2_%1").arg(slot));
    c.roll->setAccessibleName(QStringLiteral("Roll slot %1").arg(number));
    connect(c.roll, &QPushButton::clicked, this,
            [this, slot] { Rolling([this, slot] { (void)m_roller.RollSlot(slot); }); });

    c.value = new QLabel(frame);
    c.value->setObjectName(QStringLiteral("lblValue_%1").arg(slot));
    c.value->setAccessibleDescription(QStringLiteral("Slot %1 value").arg(number));
    c.value->setAlignment(Qt::AlignCenter);
    c.value->setMinimumSize(TwipsToPx(kValueWidthTwips, this), TwipsToPx(kValueHeightTwips, this));
    c.value->setAutoFillBackground(true);
    c.value->setCursor(Qt::OpenHandCursor);
    QFont font = c.value->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.4);
    c.value->setFont(font);
    c.value->installEventFilter(this);

    c.reroll = new QCheckBox(QStringLiteral("Reroll <20 "), frame);
    c.reroll->setObjectName(QStringLiteral("chkMin_%1").arg(slot));
    c.reroll->setAccessibleName(QStringLiteral("Slot %1 reroll up to 20").arg(number));
    // A hidden box keeps its place, so the slots do not jump.
    QSizePolicy policy = c.reroll->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    c.reroll->setSizePolicy(policy);
    connect(c.reroll, &QCheckBox::clicked, this,
            [this, slot](bool checked) { m_roller.SetReroll(slot, checked); });

    auto* layout = new QVBoxLayout(frame);
    layout->addWidget(c.dice);
    layout->addWidget(c.roll);
    layout->addWidget(c.value);
    layout->addWidget(c.reroll);
    return frame;
}

void DiceWindow::DiceFieldChanged(int slot, DiceField field)
{
    ShowSlot(slot, field);
    // Each roll is painted the moment it is made; clicks wait until the roll is over.
    if (field == DiceField::Value)
        ProcessPaintEvents();
}

void DiceWindow::ShowSlot(int slot, DiceField field)
{
    if (field == DiceField::Spins) {
        const QSignalBlocker blocker(m_spins);
        m_spins->setValue(m_roller.Spins());
        m_spinsCaption->setText(QtText(m_roller.SpinsCaption()));
        // A screen reader speaks the bar's value; the caption says what it means.
        m_spins->setAccessibleDescription(m_spinsCaption->text());
        return;
    }
    if (field == DiceField::GlobalReroll) {
        const QSignalBlocker blocker(m_globalReroll);
        m_globalReroll->setChecked(m_roller.GlobalReroll());
        return;
    }
    if (slot < 0 || slot >= DiceRoller::kSlotCount)
        return;
    const DiceSlot& state = m_roller.Slot(slot);
    const SlotControls& c = m_slots[slot];
    switch (field) {
    case DiceField::Expression:
        if (c.dice->currentText() != QtText(state.expression)) {
            const QSignalBlocker blocker(c.dice);
            c.dice->setEditText(QtText(state.expression));
        }
        break;
    case DiceField::Reroll: {
        const QSignalBlocker blocker(c.reroll);
        c.reroll->setChecked(state.rerollChecked);
        c.reroll->setVisible(state.rerollVisible);
        break;
    }
    case DiceField::Value:
        c.value->setText(QtText(state.value));
        c.value->repaint();
        break;
    case DiceField::Look:
        // Fresh: framed on the window's text background; used: flat on the button face.
        c.value->setFrameStyle(state.fresh ? QFrame::Box | QFrame::Plain : QFrame::NoFrame);
        c.value->setBackgroundRole(state.fresh ? QPalette::Base : QPalette::Button);
        c.value->setForegroundRole(state.fresh ? QPalette::Text : QPalette::ButtonText);
        break;
    default:
        break;
    }
}

void DiceWindow::Rolling(const std::function<void()>& roll)
{
    ++m_rollDepth;
    roll();
    --m_rollDepth;
    if (m_rollDepth == 0 && m_closeWhenDone) {
        m_closeWhenDone = false;
        close();
    }
}

bool DiceWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A scroll bar leaves the arrow keys to the view it scrolls; this one has none, so they move it.
    if (watched == m_spins && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            const bool back = isRightToLeft() ? key->key() == Qt::Key_Right : key->key() == Qt::Key_Left;
            const bool forward = isRightToLeft() ? key->key() == Qt::Key_Left : key->key() == Qt::Key_Right;
            if (back || key->key() == Qt::Key_Down) {
                m_spins->triggerAction(QAbstractSlider::SliderSingleStepSub);
                return true;
            }
            if (forward || key->key() == Qt::Key_Up) {
                m_spins->triggerAction(QAbstractSlider::SliderSingleStepAdd);
                return true;
            }
        }
    }
    if (event->type() == QEvent::MouseButtonPress) {
        for (int i = 0; i < DiceRoller::kSlotCount; ++i) {
            if (watched != m_slots[i].value)
                continue;
            // Any button drags the value away and gives the label its plain look back.
            m_roller.MarkValueUsed(i);
            m_dragStarter(m_slots[i].value, m_slots[i].value->text());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

Status DiceWindow::Open()
{
    const std::string app = ApplicationName();
    // Nothing is defined for a stored value that is not a number: the default place stands.
    const auto top = LoadWindowCoordinate(m_settings, app, "FORM1TOP", 0, this);
    const auto left = LoadWindowCoordinate(m_settings, app, "FORM1LEFT", 0, this);
    QPoint place(left ? *left : 0, top ? *top : 0);
    if (QLayout* own = layout())
        own->activate();
    // A place left behind by a screen that is gone could never be reached.
    if (!OnSomeScreen(QRect(place, frameGeometry().size().expandedTo(sizeHint()))))
        place = QPoint(0, 0);
    move(place);
    // A place stored at another display scale may reach past the screen's edge.
    FitOnScreenWhenShown(this);
    show();
    raise();
    return Success();
}

void DiceWindow::SavePosition()
{
    SaveWindowPlace(m_settings, ApplicationName(), "FORM1", pos(), this);
}

void DiceWindow::closeEvent(QCloseEvent* event)
{
    // A close that arrives while a roll paints its results waits for the roll to end, so the
    // window is never taken away under it.
    if (m_rollDepth > 0) {
        m_closeWhenDone = true;
        event->ignore();
        return;
    }
    SavePosition();
    event->accept();
}

} // namespace keld

#include "DiceWindow.moc"
