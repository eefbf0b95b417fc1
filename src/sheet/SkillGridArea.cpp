// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/SkillGridArea.h"

#include "sheet/RankBarWidget.h"
#include "sheet/SheetLayout.h"
#include "sheet/SheetView.h"
#include "sheet/StatCodeLabel.h"
#include "sheet/ValueLabel.h"
#include "binding/SheetBinding.h"
#include "ui/TextDrag.h"
#include "ui/Twips.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>

namespace keld {

namespace {

// Layout in twips. The bars end at one line; the value columns follow it.
constexpr double kLeft = 45;
constexpr double kNameWidth = 1185;
constexpr double kBarGap = 45;
constexpr double kBarsRight = 3855;
constexpr double kColumnsLeft = 3915;
constexpr double kColumnGap = 15;
// Thirty-six rows in the panel's height need a face smaller than the panel's.
constexpr double kCompactFontPoints = 7.5;

enum Column : int {
    kRankColumn,
    kCodeColumn,
    kStatColumn,
    kProfColumn,
    kItem1Column,
    kItem2Column,
    kSpec1Column,
    kSpec2Column,
    kTotalColumn,
    kColumnCount
};
constexpr std::array<double, kColumnCount> kColumnWidth{420, 285, 375, 420, 435, 435, 435, 435, 600};

constexpr double ColumnLeft(int column)
{
    double x = kColumnsLeft;
    for (int c = 0; c < column; ++c)
        x += kColumnWidth[c] + kColumnGap;
    return x;
}

constexpr double kPanelRight = SheetView::kPanelWidthTwips;
static_assert(ColumnLeft(kTotalColumn) + kColumnWidth[kTotalColumn] <= kPanelRight - kLeft);

constexpr double kHeadingHeight = 210;
constexpr double kRowPitch = 200;
constexpr double kGroupGap = 90;
constexpr double kSecondaryHeadingHeight = 210;
// The secondary rows' names are boxes, so those rows stand a little further apart.
constexpr double kSecondaryExtra = 40;
constexpr double kBoxHeight = 185;
constexpr double kBarHeight = 140;
constexpr std::array<int, 6> kGroupStarts{5, 11, 15, 19, 22, 29};

constexpr bool IsSecondaryRow(int row)
{
    return row >= kFirstSecondaryRow && row <= kLastSecondaryRow;
}

constexpr double RowTop(int row)
{
    double y = kHeadingHeight;
    for (int r = 0; r < row; ++r)
        y += kRowPitch + (IsSecondaryRow(r) && IsSecondaryRow(r + 1) ? kSecondaryExtra : 0);
    for (const int start : kGroupStarts)
        if (row >= start)
            y += kGroupGap;
    if (row >= kFirstSecondaryRow)
        y += kSecondaryHeadingHeight;
    return y;
}

static_assert(RowTop(kSkillCount - 1) + kRowPitch <= SkillGridArea::kHeightTwips);

constexpr std::array<BonusBox, 4> kBonusBoxes{BonusBox::Item1, BonusBox::Item2, BonusBox::Spec1,
                                              BonusBox::Spec2};

// What a screen reader calls the row: its caption without the trailing colon, or the secondary
// skill's place, since its name is whatever the user types.
QString RowName(int row)
{
    if (IsSecondaryRow(row))
        return SkillGridArea::tr("Secondary skill %1").arg(row - kFirstSecondaryRow + 1);
    QString caption = ToQt(std::string(SkillCaption(row)));
    if (caption.endsWith(QLatin1Char(':')))
        caption.chop(1);
    return caption;
}

// The armour penalties and row 23's second special bonus are the program's, not the user's.
bool IsFixedSpec2(int row)
{
    return row < kArmorRowCount || row == 23;
}

} // namespace

SkillGridArea::SkillGridArea(SheetBinding& binding, QWidget* parent) : QWidget(parent), m_binding(binding)
{
    setObjectName(QStringLiteral("SkillGridArea"));
    SetFontPoints(this, kCompactFontPoints);
    setFixedHeight(TwipsToPx(kHeightTwips, this));
    setMinimumWidth(TwipsToPx(kPanelRight, this));

    BuildHeadings();
    for (int row = 0; row < kSkillCount; ++row)
        BuildRow(row);
}

void SkillGridArea::Place(QWidget* widget, double x, double y, double width, double height)
{
    // Edges are rounded, not sizes, so neighbouring cells meet the same pixel.
    const int left = TwipsToPx(x, this);
    const int top = TwipsToPx(y, this);
    widget->setGeometry(left, top, TwipsToPx(x + width, this) - left, TwipsToPx(y + height, this) - top);
}

void SkillGridArea::BuildHeadings()
{
    struct Heading {
        const char* text;
        int first;
        int last;
    };
    static constexpr Heading kHeadings[] = {
        {QT_TR_NOOP("Rank"), kRankColumn, kRankColumn},   {QT_TR_NOOP("Stat"), kCodeColumn, kStatColumn},
        {QT_TR_NOOP("Prof"), kProfColumn, kProfColumn},   {QT_TR_NOOP("Item"), kItem1Column, kItem1Column},
        {QT_TR_NOOP("Item"), kItem2Column, kItem2Column}, {QT_TR_NOOP("Spec"), kSpec1Column, kSpec1Column},
        {QT_TR_NOOP("Spec"), kSpec2Column, kSpec2Column}, {QT_TR_NOOP("TOTAL"), kTotalColumn, kTotalColumn},
    };
    QFont bold = font();
    bold.setBold(true);
    int index = 0;
    for (const Heading& heading : kHeadings) {
        auto* label = new QLabel(tr(heading.text), this);
        label->setObjectName(QStringLiteral("lblHeading_%1").arg(index++));
        label->setFont(bold);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        const double left = ColumnLeft(heading.first);
        Place(label, left, 0, ColumnLeft(heading.last) + kColumnWidth[heading.last] - left,
              kHeadingHeight - 15);
    }

    auto* secondary = new QLabel(tr("Secondary Skills"), this);
    secondary->setObjectName(QStringLiteral("lblSecondaryHeading"));
    secondary->setFont(bold);
    secondary->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    Place(secondary, kLeft, RowTop(kFirstSecondaryRow) - kSecondaryHeadingHeight, kBarsRight - kLeft,
          kSecondaryHeadingHeight - 15);
}

QLabel* SkillGridArea::AddValueLabel(const QString& objectName, FieldId id, int row,
                                     const QString& description, int column, ValueLabel* made)
{
    ValueLabel* label = made ? made : new ValueLabel(this);
    label->setObjectName(QStringLiteral("%1_%2").arg(objectName).arg(row));
    label->setAlignment(Qt::AlignCenter);
    // A screen reader speaks what the value is and the value itself.
    label->setAccessibleName(description);
    label->setAccessibleDescription(description);
    m_binding.BindLabel(label, id, row);
    Place(label, ColumnLeft(column), RowTop(row), kColumnWidth[column], kRowPitch);
    return label;
}

QLineEdit* SkillGridArea::AddBonusBox(BonusBox box, int row)
{
    static constexpr const char* kNames[] = {"txtItem1", "txtItem2", "txtSpec1", "txtSpec2"};
    static constexpr const char* kSpoken[] = {
        QT_TR_NOOP("%1 first item bonus"), QT_TR_NOOP("%1 second item bonus"),
        QT_TR_NOOP("%1 first special bonus"), QT_TR_NOOP("%1 second special bonus")};
    const int i = static_cast<int>(box);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(kNames[i])).arg(row));
    edit->setAccessibleName(tr(kSpoken[i]).arg(RowName(row)));
    edit->setFrame(false);
    edit->setAlignment(Qt::AlignCenter);
    m_binding.BindLineEdit(edit, BoxField(box), row);
    Place(edit, ColumnLeft(kItem1Column + i), RowTop(row) + (kRowPitch - kBoxHeight) / 2,
          kColumnWidth[kItem1Column + i], kBoxHeight);
    return edit;
}

void SkillGridArea::BuildRow(int row)
{
    RowControls& controls = m_rows[row];
    const double top = RowTop(row);
    const QString name = RowName(row);

    if (IsSecondaryRow(row)) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("txtSecondary_%1").arg(row));
        edit->setAccessibleName(tr("%1 name").arg(name));
        edit->setFrame(false);
        m_binding.BindLineEdit(edit, FieldId::SecondaryName, row);
        // A long name written by the program (a loaded file) shows its start, not its end.
        m_binding.Bind(FieldId::SecondaryName, row, [edit] {
            if (!edit->hasFocus())
                edit->setCursorPosition(0);
        });
        const double barsLeft =
            kBarsRight - BarWidthTwips(RankBar::Two, row) - kBarGap - BarWidthTwips(RankBar::Five, row);
        Place(edit, kLeft, top + (kRowPitch - kBoxHeight) / 2, barsLeft - kBarGap - kLeft, kBoxHeight);
        controls.name = edit;
    } else {
        auto* caption = new QLabel(ToQt(std::string(SkillCaption(row))), this);
        const bool hasBars = row < kBarRowCount;
        caption->setObjectName(QStringLiteral("%1_%2")
                                   .arg(hasBars ? QLatin1String("lbldesc") : QLatin1String("Label1"))
                                   .arg(row));
        caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        Place(caption, kLeft, top, hasBars ? kNameWidth : kBarsRight - kLeft, kRowPitch);
        controls.name = caption;
    }

    if (row < kBarRowCount) {
        const double width5 = BarWidthTwips(RankBar::Five, row);
        const double width2 = BarWidthTwips(RankBar::Two, row);
        const double left2 = kBarsRight - width2;
        // The armour rows' shorter bars start where every other 5% bar starts.
        const double left5 = row < kArmorRowCount ? kBarsRight - BarWidthTwips(RankBar::Two, kArmorRowCount) -
                                                        kBarGap - BarWidthTwips(RankBar::Five, kArmorRowCount)
                                                  : left2 - kBarGap - width5;
        const double barTop = top + (kRowPitch - kBarHeight) / 2;

        controls.bar5 = new RankBarWidget(m_binding, RankBar::Five, row, this);
        controls.bar5->setObjectName(QStringLiteral("barSkill5_%1").arg(row));
        controls.bar5->setAccessibleName(tr("%1 5% ranks").arg(name));
        controls.bar5->setToolTip(tr("5% Skill Ranks"));
        controls.bar5->setCursor(Qt::ArrowCursor);
        Place(controls.bar5, left5, barTop, width5, kBarHeight);

        controls.bar2 = new RankBarWidget(m_binding, RankBar::Two, row, this);
        controls.bar2->setObjectName(QStringLiteral("barSkill2_%1").arg(row));
        controls.bar2->setAccessibleName(tr("%1 2% ranks").arg(name));
        controls.bar2->setToolTip(tr("2% Skill Ranks"));
        controls.bar2->setCursor(Qt::ArrowCursor);
        Place(controls.bar2, left2, barTop, width2, kBarHeight);
    }

    controls.rank = AddValueLabel(QStringLiteral("lblRank"), FieldId::Rank, row,
                                  tr("%1 rank bonus").arg(name), kRankColumn);
    if (row < kBarRowCount) {
        // A click takes the rank bonus from the bars again.
        controls.rank->setCursor(Qt::PointingHandCursor);
        controls.rank->installEventFilter(this);
    }
    // A dropped chip or text, or a chip chosen by keyboard, becomes the code verbatim; the model
    // takes any text as a code.
    auto setCode = [this, row](const QString& text) {
        (void)m_binding.Model().SetSkillStatCode(row, FromQt(text));
    };
    auto* code = new StatCodeLabel(setCode, this);
    controls.statCode = AddValueLabel(QStringLiteral("lblStatIDENT"), FieldId::StatCode, row,
                                      tr("%1 stat code").arg(name), kCodeColumn, code);
    new TextDropTarget(controls.statCode, setCode);
    code->setAccessibleDescription(tr("Type a stat's two letters, or press Space to choose it"));
    controls.stat = AddValueLabel(QStringLiteral("lblStat"), FieldId::SkillStat, row,
                                  tr("%1 stat bonus").arg(name), kStatColumn);
    controls.prof = AddValueLabel(QStringLiteral("lblProf"), FieldId::SkillProf, row,
                                  tr("%1 profession bonus").arg(name), kProfColumn);
    for (const BonusBox box : kBonusBoxes)
        controls.bonus[static_cast<int>(box)] = AddBonusBox(box, row);
    controls.total = AddValueLabel(QStringLiteral("lblSkillTotal"), FieldId::SkillTotal, row,
                                   tr("%1 total").arg(name), kTotalColumn);
    QFont bold = font();
    bold.setBold(true);
    controls.total->setFont(bold);

    QLineEdit* item1 = controls.bonus[static_cast<int>(BonusBox::Item1)];
    m_binding.Bind(FieldId::Item1Locked, row,
                   [this, item1, row] { ShowReadOnly(item1, m_binding.Model().Item1Locked(row)); });
    if (IsFixedSpec2(row))
        ShowReadOnly(controls.bonus[static_cast<int>(BonusBox::Spec2)], true);
}

void SkillGridArea::ShowReadOnly(QLineEdit* edit, bool readOnly)
{
    edit->setReadOnly(readOnly);
    // Tab passes over a box that cannot be changed; a click still selects its text to copy.
    edit->setFocusPolicy(readOnly ? Qt::ClickFocus : Qt::StrongFocus);
    if (!readOnly) {
        edit->setPalette(QPalette());
        return;
    }
    // A box the user cannot change looks like the panel, as the computed values do.
    QPalette look = edit->palette();
    look.setBrush(QPalette::Base, palette().brush(QPalette::Window));
    edit->setPalette(look);
}

bool SkillGridArea::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease)
        return QWidget::eventFilter(watched, event);
    for (int row = 0; row < kBarRowCount; ++row) {
        if (watched != m_rows[row].rank)
            continue;
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        // The press is taken so that the release comes back here instead of scrolling the panel.
        if (event->type() == QEvent::MouseButtonRelease &&
            m_rows[row].rank->rect().contains(mouse->position().toPoint()))
            m_binding.Model().lblRank_Click(row);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SkillGridArea::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::PaletteChange)
        return;
    // Read-only boxes borrow the panel's colour; follow a new palette.
    for (const RowControls& controls : m_rows)
        for (QLineEdit* edit : controls.bonus)
            if (edit->isReadOnly())
                ShowReadOnly(edit, true);
}

} // namespace keld
