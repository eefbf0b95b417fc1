// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/RankBarWidget.h"

#include "binding/SheetBinding.h"
#include "ui/Twips.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>

namespace keld {

namespace {

// How much of the text colour the cell marks and the border take, out of 255.
constexpr int kTickAlpha = 95;
constexpr int kBorderAlpha = 150;

// Points per rank: one 5% rank is 5 points, one 2% rank 2.
float Step(RankBar bar)
{
    return bar == RankBar::Five ? 5.0f : 2.0f;
}

// Screen readers see the bar as a progress bar with a value, as they would a native one.
class RankBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit RankBarAccessible(RankBarWidget* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return double(Bar()->Value()); }
    // Only the mouse rules change a bar.
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return double(Bar()->Maximum()); }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return double(Step(Bar()->Bar())); }

private:
    RankBarWidget* Bar() const { return static_cast<RankBarWidget*>(widget()); }
};

QAccessibleInterface* RankBarAccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("keld::RankBarWidget") && object && object->isWidgetType())
        return new RankBarAccessible(static_cast<RankBarWidget*>(object));
    return nullptr;
}

// Mouse buttons as the bar rules number them: 1 left, 2 right, 4 middle.
int ButtonCode(Qt::MouseButtons buttons)
{
    int code = 0;
    if (buttons & Qt::LeftButton)
        code |= 1;
    if (buttons & Qt::RightButton)
        code |= 2;
    if (buttons & Qt::MiddleButton)
        code |= 4;
    return code;
}

} // namespace

RankBarWidget::RankBarWidget(SheetBinding& binding, RankBar bar, int row, QWidget* parent)
    : QWidget(parent), m_binding(binding), m_bar(bar), m_row(row)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(RankBarAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    // Reached by Tab only: a click sets ranks, it should not leave a focus frame behind.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const auto refresh = [this] { Refresh(); };
    if (bar == RankBar::Five) {
        binding.Bind(FieldId::Ranks5, row, refresh);
    } else {
        binding.Bind(FieldId::Ranks2, row, refresh);
        binding.Bind(FieldId::Bar2Shown, row, refresh);
        binding.Bind(FieldId::Bar2Enabled, row, refresh);
    }
    Refresh();
}

QSize RankBarWidget::sizeHint() const
{
    return {TwipsToPx(BarWidthTwips(m_bar, m_row), this), TwipsToPx(140, this)};
}

void RankBarWidget::Refresh()
{
    const BarState state = m_binding.Model().Bar(m_bar, m_row);
    const bool changed = state.Value != m_value || state.Max != m_max;
    m_value = state.Value;
    m_max = state.Max;
    setVisible(state.Shown);
    setEnabled(state.Enabled);
    const float step = Step(m_bar);
    setAccessibleDescription(
        tr("%1 of %2")
            .arg(QString::number(double(m_value / step), 'g', 4), QString::number(double(m_max / step))));
    if (changed && QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, double(m_value));
        QAccessible::updateAccessibility(&event);
    }
    update();
}

double RankBarWidget::WidthTwips() const
{
    return PxToTwips(width(), this);
}

double RankBarWidget::XTwips(const QMouseEvent* event) const
{
    return PxToTwips(event->position().x(), this);
}

void RankBarWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    const QRect frame = rect();
    painter.fillRect(frame, palette().brush(group, QPalette::Base));

    const double share = m_max > 0 ? std::clamp(double(m_value) / double(m_max), 0.0, 1.0) : 0.0;
    const int filled = static_cast<int>(std::lround(share * frame.width()));
    painter.fillRect(QRect(frame.left(), frame.top(), filled, frame.height()),
                     palette().brush(group, QPalette::Highlight));

    // Light marks where the ranks fall, so a drag can aim at a rank. They and the border take
    // the text's colour, thinned: Mid and Dark all but vanish on the dark base of a dark theme.
    const int cells = m_max > 0 ? static_cast<int>(std::lround(m_max / Step(m_bar))) : 0;
    QColor tick = palette().color(group, QPalette::Text);
    tick.setAlpha(kTickAlpha);
    painter.setPen(tick);
    for (int cell = 1; cell < cells; ++cell) {
        const int x = frame.left() + static_cast<int>(std::lround(double(cell) * frame.width() / cells));
        painter.drawLine(x, frame.top() + 1, x, frame.bottom() - 1);
    }

    QColor border = palette().color(group, QPalette::Text);
    border.setAlpha(kBorderAlpha);
    painter.setPen(border);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame.adjusted(0, 0, -1, -1));

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = frame.adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void RankBarWidget::mousePressEvent(QMouseEvent* event)
{
    // Taking the press keeps the following moves and the release on this bar.
    event->accept();
    m_binding.Model().BarMouseDown(m_bar, m_row, ButtonCode(event->button()));
}

void RankBarWidget::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    m_binding.Model().BarMouseMove(m_bar, m_row, ButtonCode(event->buttons()), XTwips(event), WidthTwips());
}

void RankBarWidget::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    m_binding.Model().BarMouseUp(m_bar, m_row);
}

void RankBarWidget::keyPressEvent(QKeyEvent* event)
{
    // Keyboard users click the bar as a mouse would: right or plus adds a rank, left or minus
    // takes one away.
    int button = 0;
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Plus:
        button = 1;
        break;
    case Qt::Key_Left:
    case Qt::Key_Minus:
        button = 2;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    m_binding.Model().BarMouseDown(m_bar, m_row, button);
    m_binding.Model().BarMouseUp(m_bar, m_row);
}

} // namespace keld
