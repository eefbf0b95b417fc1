// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/GeneralStatsArea.h"

#include "sheet/PanelComboBox.h"
#include "sheet/SheetLayout.h"
#include "sheet/StatChip.h"
#include "sheet/ValueLabel.h"
#include "binding/SheetBinding.h"
#include "ui/BoxText.h"
#include "ui/TextDrag.h"
#include "ui/Twips.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyleOption>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <functional>

namespace keld {

namespace {

constexpr int kColumnGapTwips = 120;
constexpr int kCaptionGapTwips = 60;
constexpr int kLevelBoxTwips = 480;
constexpr int kSpinnerTwips = 225;
constexpr int kPowerPointsTwips = 480;
constexpr int kChipTwips = 330;
constexpr int kChipGapTwips = 120;
// The longest values the boxes are made to show whole.
constexpr const char* kLongestStat = "102.5";
constexpr const char* kLongestExperience = "1000000";

struct StatTexts {
    const char* Value;
    const char* Norm; // nullptr: no tooltip
    const char* Race;
    const char* Total;
};

constexpr std::array<StatTexts, kStatCount> kStatTooltips{{
    {"Character's Strength Value", "Bonus based on Strength Value", "Natural Bonus based on Race",
     "Total Strength Bonus"},
    {"Character's Agility", "Bonus based on Agility Value", "Natural Bonus based on Race",
     "Total Agility Bonus"},
    {"Character's Constitution or Overall Healthiness", "Bonus Based on Constitution Value",
     "Natural Bonus based on Race", "Total Constitution Bonus"},
    {"Character's Intelligence", "Bonus based on Intelligence", "Natural Bonus based on Race",
     "Total Intelligence Bonus"},
    {"Character's Intuitiveness", "Bonus Based on intuition", "Natural Bonus based on Race",
     "Total Intuition Bonus"},
    {"Character's Presence", "Bonus based on Presence", "Natural Bonus based on Race",
     "Total Presence Bonus"},
    {"Character's Appearance", nullptr, nullptr, "Total Appearance (Appearance + Presence Bonus)"},
}};

// Two stacked arrows that ask for the next position; the position shown is always the model's,
// so the arrows never step on their own.
class LevelSpinner : public QWidget {
    Q_OBJECT

public:
    LevelSpinner(std::function<void(int)> onStep, QWidget* parent)
        : QWidget(parent), m_onStep(std::move(onStep))
    {
        setFocusPolicy(Qt::StrongFocus);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        m_up = NewArrow(Qt::UpArrow, QStringLiteral("spnLevelUp"), tr("Level up"), +1);
        m_down = NewArrow(Qt::DownArrow, QStringLiteral("spnLevelDown"), tr("Level down"), -1);
        layout->addWidget(m_up);
        layout->addWidget(m_down);
    }

    void SetPosition(int position)
    {
        m_position = position;
        setAccessibleDescription(QString::number(position));
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Up)
            Step(+1);
        else if (event->key() == Qt::Key_Down)
            Step(-1);
        else
            QWidget::keyPressEvent(event);
    }

private:
    QToolButton* NewArrow(Qt::ArrowType arrow, const QString& objectName, const QString& name, int step)
    {
        auto* button = new QToolButton(this);
        button->setObjectName(objectName);
        button->setAccessibleName(name);
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        connect(button, &QToolButton::clicked, this, [this, step] { Step(step); });
        return button;
    }

    void Step(int step)
    {
        const int next = std::clamp(m_position + step, 0, kLevelSpinMax);
        if (next != m_position)
            m_onStep(next);
    }

    std::function<void(int)> m_onStep;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_position = 0;
};

// Draws the option buttons' ring and dot in the text's colour, which reads on a dark base as on
// a light one; a dark theme's own ring and dot are barely there.
class OptionDotStyle : public QProxyStyle {
    Q_OBJECT

public:
    static OptionDotStyle* Instance()
    {
        // Shared by every option button and gone with the application, after every window.
        static QPointer<OptionDotStyle> style;
        if (!style)
            style = new OptionDotStyle;
        return style;
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element != PE_IndicatorRadioButton) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        QStyleOption empty(*option);
        empty.state &= ~State_On;
        QProxyStyle::drawPrimitive(element, &empty, painter, widget);
        const QPalette::ColorGroup group =
            option->state & State_Enabled ? QPalette::Active : QPalette::Disabled;
        const QColor ink = option->palette.color(group, QPalette::Text);
        QColor ring = ink;
        ring.setAlpha(150);
        const double side = std::min(option->rect.width(), option->rect.height());
        const QPointF centre = QRectF(option->rect).center();
        const QRectF circle(centre - QPointF(side / 2 - 1.5, side / 2 - 1.5), QSizeF(side - 3, side - 3));
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(ring, 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawEllipse(circle);
        if (option->state & State_On) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(ink);
            painter->drawEllipse(circle.center(), circle.width() / 4, circle.width() / 4);
        }
        painter->restore();
    }

private:
    OptionDotStyle() { setParent(QCoreApplication::instance()); }
};

} // namespace

GeneralStatsArea::GeneralStatsArea(SheetBinding& binding, QWidget* parent)
    : QWidget(parent), m_binding(binding), m_rowPx(TwipsToPx(kRowTwips, this))
{
    setObjectName(QStringLiteral("GeneralStatsArea"));
    SetFontPoints(this, kPanelFontPoints);
    setFixedHeight(TwipsToPx(kHeightTwips, this));

    auto* layout = new QHBoxLayout(this);
    const int margin = TwipsToPx(kMarginTwips, this);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(TwipsToPx(kColumnGapTwips, this));
    layout->addWidget(BuildGeneral(), 1);
    layout->addWidget(BuildLevel());
    layout->addWidget(BuildStats());
}

QGridLayout* GeneralStatsArea::NewColumn()
{
    // The three columns share one row pitch, so their rows line up across the area.
    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(TwipsToPx(kRowGapTwips, this));
    grid->setHorizontalSpacing(TwipsToPx(kCaptionGapTwips, this));
    for (int row = 0; row < kRowCount; ++row)
        grid->setRowMinimumHeight(row, m_rowPx);
    grid->setRowStretch(kRowCount, 1);
    return grid;
}

QLabel* GeneralStatsArea::NewCaption(const QString& objectName, const QString& caption)
{
    auto* label = new QLabel(caption);
    label->setObjectName(objectName);
    label->setFixedHeight(m_rowPx);
    return label;
}

QLabel* GeneralStatsArea::NewValueLabel(FieldId id, int index, const QString& objectName,
                                        const QString& description)
{
    auto* label = new ValueLabel;
    label->setObjectName(objectName);
    label->setAccessibleName(description);
    label->setAccessibleDescription(description);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedHeight(m_rowPx);
    m_binding.BindLabel(label, id, index);
    return label;
}

QComboBox* GeneralStatsArea::NewList(FieldId listId, FieldId selectionId, const QString& objectName,
                                     const QString& name)
{
    auto* list = new PanelComboBox;
    list->setObjectName(objectName);
    list->setAccessibleName(name);
    list->setEditable(false);
    list->setFocusPolicy(Qt::StrongFocus);
    list->setFixedHeight(m_rowPx);
    // Long entries must not widen the column, nor crowd the level and stat columns; the open list
    // still shows them whole.
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(6);

    SheetModel& model = m_binding.Model();
    auto entries = [&model, listId]() -> const std::vector<std::string>& {
        if (listId == FieldId::RaceList)
            return model.RaceList();
        if (listId == FieldId::YouthList)
            return model.YouthList();
        return model.ProfessionList();
    };
    auto selected = [&model, selectionId] {
        const CharacterRecord& record = model.Record();
        if (selectionId == FieldId::RaceIndex)
            return record.RaceIndex;
        if (selectionId == FieldId::YouthIndex)
            return record.YouthIndex;
        return record.ProfessionIndex;
    };
    m_binding.Bind(listId, 0, [list, entries, selected] {
        const QSignalBlocker blocker(list);
        list->clear();
        for (const std::string& entry : entries())
            list->addItem(ToQt(entry));
        list->setCurrentIndex(selected());
    });
    m_binding.Bind(selectionId, 0, [list, selected] {
        const QSignalBlocker blocker(list);
        list->setCurrentIndex(selected());
    });
    connect(list, &QComboBox::currentIndexChanged, this, [model = &model, selectionId](int index) {
        if (index < 0)
            return;
        // The index comes from the list, which shows the model's entries, so it is taken.
        if (selectionId == FieldId::RaceIndex)
            (void)model->SelectRace(index);
        else if (selectionId == FieldId::YouthIndex)
            (void)model->SelectYouth(index);
        else
            (void)model->SelectProfession(index);
    });
    return list;
}

QWidget* GeneralStatsArea::BuildGeneral()
{
    auto* column = new QWidget;
    column->setObjectName(QStringLiteral("generalColumn"));
    QGridLayout* grid = NewColumn();
    column->setLayout(grid);

    struct Row {
        const char* ObjectName;
        QString Caption;
        int First; // txtGeneral index
        int Count; // boxes on the row
    };
    const std::array<Row, 5> rows{{
        {"lblName", tr("Name:"), 0, 1},
        {"lblHtWt", tr("Ht/Wt"), 1, 2},
        {"lblHairEyes", tr("Hair/Eyes:"), 3, 2},
        {"lblDemeanor", tr("Demeanor:"), 5, 1},
        {"lblSpecial", tr("Special:"), 6, 1},
    }};
    const std::array<QString, kGeneralCount> names{tr("Name"),        tr("Height"),     tr("Weight"),
                                                   tr("Hair colour"), tr("Eye colour"), tr("Demeanor"),
                                                   tr("Special")};
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const Row& row = rows[r];
        QLabel* caption = NewCaption(QString::fromLatin1(row.ObjectName), row.Caption);
        grid->addWidget(caption, r, 0);
        for (int k = 0; k < row.Count; ++k) {
            const int i = row.First + k;
            auto* edit = new QLineEdit;
            edit->setObjectName(QStringLiteral("txtGeneral_%1").arg(i));
            edit->setAccessibleName(names[i]);
            edit->setFixedHeight(m_rowPx);
            if (i == static_cast<int>(GeneralField::Name))
                edit->setToolTip(tr("Character Name"));
            m_binding.BindLineEdit(edit, FieldId::General, i);
            if (k == 0)
                caption->setBuddy(edit);
            // A single box spans both box columns.
            grid->addWidget(edit, r, 1 + k, 1, row.Count == 1 ? 2 : 1);
        }
    }

    const int firstListRow = static_cast<int>(rows.size());
    const std::array<std::array<QString, 2>, 3> lists{{
        {QStringLiteral("lblRaceCaption"), tr("Race:")},
        {QStringLiteral("lblYouthCaption"), tr("Adolescence:")},
        {QStringLiteral("lblProfCaption"), tr("Profession:")},
    }};
    const std::array<QComboBox*, 3> boxes{
        NewList(FieldId::RaceList, FieldId::RaceIndex, QStringLiteral("lstRace"), tr("Race")),
        NewList(FieldId::YouthList, FieldId::YouthIndex, QStringLiteral("lstYouth"), tr("Adolescence")),
        NewList(FieldId::ProfessionList, FieldId::ProfessionIndex, QStringLiteral("lstProf"),
                tr("Profession")),
    };
    for (int k = 0; k < 3; ++k) {
        QLabel* caption = NewCaption(lists[k][0], lists[k][1]);
        caption->setBuddy(boxes[k]);
        grid->addWidget(caption, firstListRow + k, 0);
        grid->addWidget(boxes[k], firstListRow + k, 1, 1, 2);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    return column;
}

QWidget* GeneralStatsArea::BuildLevel()
{
    auto* column = new QWidget;
    column->setObjectName(QStringLiteral("levelColumn"));
    QGridLayout* grid = NewColumn();
    column->setLayout(grid);
    SheetModel& model = m_binding.Model();

    auto* level = new QLineEdit;
    level->setObjectName(QStringLiteral("txtLevel"));
    level->setAccessibleName(tr("Level"));
    level->setToolTip(tr("Character's Level"));
    level->setFixedSize(TwipsToPx(kLevelBoxTwips, this), m_rowPx);
    level->setAlignment(Qt::AlignRight);
    m_binding.BindLineEdit(level, FieldId::Level, 0);
    QLabel* levelCaption = NewCaption(QStringLiteral("lblLevel"), tr("Level"));
    levelCaption->setBuddy(level);

    auto* spinner = new LevelSpinner(
        [&model](int position) {
            (void)model.SetLevelSpin(position); /* a position within its range */
        },
        this);
    spinner->setObjectName(QStringLiteral("spnLevel"));
    spinner->setAccessibleName(tr("Level spinner"));
    spinner->setFixedSize(TwipsToPx(kSpinnerTwips, this), m_rowPx);
    m_binding.Bind(FieldId::LevelSpin, 0, [spinner, &model] { spinner->SetPosition(model.LevelSpin()); });

    auto* experience = new QLineEdit;
    experience->setObjectName(QStringLiteral("txtEXP"));
    experience->setAccessibleName(tr("Experience"));
    experience->setToolTip(tr("Character's Accumulated Experience Points"));
    experience->setFixedHeight(m_rowPx);
    experience->setAlignment(Qt::AlignRight);
    const int experienceWidth = BoxWidthFor(experience, font(), QString::fromLatin1(kLongestExperience));
    experience->setMinimumWidth(experienceWidth);
    m_binding.BindLineEdit(experience, FieldId::Experience, 0);
    QLabel* experienceCaption = NewCaption(QStringLiteral("lblEXP"), tr("Exp"));
    experienceCaption->setBuddy(experience);

    QLabel* powerPoints = NewValueLabel(FieldId::PowerPoints, 0, QStringLiteral("lblPP"), tr("Power points"));
    powerPoints->setFixedWidth(TwipsToPx(kPowerPointsTwips, this));

    auto* essence = new QRadioButton(tr("Essence"));
    essence->setObjectName(QStringLiteral("Option1_0"));
    auto* channeling = new QRadioButton(tr("Channeling"));
    channeling->setObjectName(QStringLiteral("Option1_1"));
    for (QRadioButton* option : {essence, channeling}) {
        option->setFixedHeight(m_rowPx);
        option->setStyle(OptionDotStyle::Instance());
    }
    m_binding.Bind(FieldId::Realm, 0, [essence, channeling, &model] {
        QRadioButton* on = model.Record().Realm == MagicRealm::Essence ? essence : channeling;
        const QSignalBlocker blocker(on);
        on->setChecked(true);
    });
    // Either realm is always a valid choice.
    connect(essence, &QRadioButton::clicked, this,
            [model = &model] { (void)model->SetRealm(MagicRealm::Essence); });
    connect(channeling, &QRadioButton::clicked, this,
            [model = &model] { (void)model->SetRealm(MagicRealm::Channeling); });

    grid->addWidget(levelCaption, 0, 0);
    grid->addWidget(level, 0, 1);
    grid->addWidget(spinner, 0, 2);
    grid->addWidget(experienceCaption, 1, 0);
    // A long experience reaches past the spinner rather than pushing the two apart.
    grid->addWidget(experience, 1, 1, 1, 3);
    const int besideLevel =
        TwipsToPx(kLevelBoxTwips, this) + grid->horizontalSpacing() + TwipsToPx(kSpinnerTwips, this);
    if (experienceWidth > besideLevel)
        grid->setColumnMinimumWidth(3, experienceWidth - besideLevel - grid->horizontalSpacing());
    grid->addWidget(NewCaption(QStringLiteral("lblPoints_7"), tr("Power Points")), 2, 0);
    grid->addWidget(powerPoints, 2, 1, 1, 2, Qt::AlignLeft);
    // The realm sits at the foot of the column, level with the last rows beside it.
    grid->addWidget(NewCaption(QStringLiteral("lblPoints_0"), tr("Realm")), 5, 0, 1, 3);
    grid->addWidget(essence, 6, 0, 1, 3);
    grid->addWidget(channeling, 7, 0, 1, 3);
    // The level box and its spinner sit tight together, as one control.
    grid->setColumnMinimumWidth(2, TwipsToPx(kSpinnerTwips, this));
    return column;
}

QWidget* GeneralStatsArea::BuildStats()
{
    auto* column = new QWidget;
    column->setObjectName(QStringLiteral("statColumn"));
    QGridLayout* grid = NewColumn();
    column->setLayout(grid);
    SheetModel& model = m_binding.Model();

    // The header is one caption; its words are spaced by two blanks, and the columns take the
    // width of the words and the gap of the blanks, so each column sits under its word.
    const QString header = tr("Value  Norm  Race  Total");
    const QFontMetrics metrics(font());
    const QStringList words = header.split(QStringLiteral("  "));
    grid->setHorizontalSpacing(metrics.horizontalAdvance(QStringLiteral("  ")));
    std::array<int, 4> widths{};
    for (int c = 0; c < 4 && c < words.size(); ++c)
        widths[c] = metrics.horizontalAdvance(words[c]) + 1;
    // The value boxes take a stat over 102 with its half; the header's words move along with
    // the wider box, each staying over its column.
    QLineEdit probe;
    const int valueWidth =
        std::max(widths[0], BoxWidthFor(&probe, font(), QString::fromLatin1(kLongestStat)));
    QLabel* headerLabel = NewCaption(QStringLiteral("lblStatHeader"), header);
    headerLabel->setIndent(valueWidth - widths[0]);
    widths[0] = valueWidth;
    grid->addWidget(headerLabel, 0, 1, 1, 4);

    const QString chipTip = tr("Drag and drop over Skill Stat Bonus to Change");
    for (int i = 0; i < kStatCount; ++i) {
        const int row = 1 + i;
        const QString code = ToQt(std::string(StatCode(i)));
        const StatTexts& tips = kStatTooltips[i];

        QLabel* abbreviation = NewCaption(QStringLiteral("lblABBV_%1").arg(i), code);
        grid->addWidget(abbreviation, row, 0);

        auto* value = new QLineEdit;
        value->setObjectName(QStringLiteral("txtSTAT_%1").arg(i));
        value->setAccessibleName(tr("%1 value").arg(code));
        value->setToolTip(tr(tips.Value));
        value->setAlignment(Qt::AlignCenter);
        value->setFixedSize(widths[0], m_rowPx);
        m_binding.BindLineEdit(value, FieldId::StatValue, i);
        // A dropped text that is not a value changes nothing.
        new TextDropTarget(value,
                           [&model, i](const QString& text) { (void)model.DropOnStat(i, FromQt(text)); });
        abbreviation->setBuddy(value);
        grid->addWidget(value, row, 1);

        const std::array<std::pair<FieldId, QString>, 3> bonuses{{
            {FieldId::StatNorm, QStringLiteral("lblNorm_%1").arg(i)},
            {FieldId::StatRace, QStringLiteral("lblRace_%1").arg(i)},
            {FieldId::StatTotal, QStringLiteral("lblStatTotal_%1").arg(i)},
        }};
        const std::array<QString, 3> descriptions{
            tr("%1 normal bonus").arg(code), tr("%1 race bonus").arg(code), tr("%1 total bonus").arg(code)};
        const std::array<const char*, 3> bonusTips{tips.Norm, tips.Race, tips.Total};
        for (int c = 0; c < 3; ++c) {
            QLabel* label = NewValueLabel(bonuses[c].first, i, bonuses[c].second, descriptions[c]);
            label->setFixedWidth(widths[1 + c]);
            if (bonusTips[c])
                label->setToolTip(tr(bonusTips[c]));
            grid->addWidget(label, row, 2 + c);
        }

        const QString caption = ToQt(std::string(StatChipCaption(i)));
        auto* chip = new StatChip(caption);
        chip->setObjectName(QStringLiteral("lblStatDrag_%1").arg(i));
        chip->setAccessibleName(caption.trimmed().isEmpty() ? tr("No stat chip")
                                                            : tr("%1 stat chip").arg(caption));
        chip->setFixedSize(TwipsToPx(kChipTwips, this), m_rowPx);
        if (i == 0)
            chip->setToolTip(chipTip);
        grid->addWidget(chip, row, 6);
    }
    // The chips stand a little apart from the block they do not belong to.
    grid->setColumnMinimumWidth(5, TwipsToPx(kChipGapTwips, this) - grid->horizontalSpacing());
    return column;
}

} // namespace keld

#include "GeneralStatsArea.moc"
