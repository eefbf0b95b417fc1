// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/ArmorLanguageSpellArea.h"

#include "sheet/PanelComboBox.h"
#include "sheet/SheetLayout.h"
#include "sheet/SheetView.h"
#include "sheet/ValueLabel.h"
#include "binding/SheetBinding.h"
#include "ui/BoxText.h"
#include "ui/Twips.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStringListModel>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include <algorithm>
#include <functional>

namespace keld {

namespace {

// Layout figures, in twips. Each block is two columns of a name list and a small box; the spell
// lists take what the panel's width leaves, as their names are the longest.
constexpr int kPanelWidthTwips = SheetView::kPanelWidthTwips;
constexpr int kMarginTwips = 60;
constexpr int kRowHeightTwips = 315; // an 8 pt list box
constexpr int kRowGapTwips = 30;
constexpr int kSectionGapTwips = 60; // between the armour row and the blocks
constexpr int kCellGapTwips = 30;    // between a list and its small box
constexpr int kColumnGapTwips = 90;  // between the two columns of a block
constexpr int kBlockGapTwips = 180;  // between the language and the spell block
constexpr int kArmorListTwips = 1500;
constexpr int kLanguageListTwips = 1290;
constexpr int kRankTwips = 240;
constexpr int kPercentTwips = 420;
constexpr int kBlockOverheadTwips = 4 * kCellGapTwips + (kColumnGapTwips - 2 * kCellGapTwips);
// A little slack so that rounding each figure to pixels never pushes the last column off.
constexpr int kRoundingSlackTwips = 30;
constexpr int kSpellListTwips =
    (kPanelWidthTwips - 2 * kMarginTwips - kBlockGapTwips - 2 * kBlockOverheadTwips - kRoundingSlackTwips) /
        2 -
    kLanguageListTwips - kRankTwips - kPercentTwips;
static_assert(kSpellListTwips >= kLanguageListTwips);

// A piece's box leaves its state to the model: a click asks for the other state and the box
// shows what the model then holds, so a greyed state from a file clears on the first click.
class ArmorPieceBox : public QCheckBox {
    Q_OBJECT

public:
    ArmorPieceBox(const QString& caption, std::function<void()> onClick, QWidget* parent)
        : QCheckBox(caption, parent), m_onClick(std::move(onClick))
    {
    }

    void Show(CheckState state)
    {
        const QSignalBlocker blocker(this);
        setTristate(state == CheckState::Greyed);
        switch (state) {
        case CheckState::Clear:
            setCheckState(Qt::Unchecked);
            break;
        case CheckState::Checked:
            setCheckState(Qt::Checked);
            break;
        case CheckState::Greyed:
            setCheckState(Qt::PartiallyChecked);
            break;
        }
    }

protected:
    void nextCheckState() override { m_onClick(); }

private:
    std::function<void()> m_onClick;
};

// A value label that cycles on a click. It takes the press itself, or the panel would start a
// drag-scroll and swallow the release; Space and Enter click it for keyboard users.
class RankLabel : public ValueLabel {
    Q_OBJECT

public:
    RankLabel(std::function<void()> onClick, QWidget* parent)
        : ValueLabel(parent), m_onClick(std::move(onClick))
    {
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton) {
            ValueLabel::mousePressEvent(event);
            return;
        }
        m_pressed = true;
        setFocus(Qt::MouseFocusReason);
        event->accept();
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton || !m_pressed) {
            ValueLabel::mouseReleaseEvent(event);
            return;
        }
        m_pressed = false;
        event->accept();
        if (rect().contains(event->position().toPoint()))
            m_onClick();
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            m_onClick();
            event->accept();
            break;
        default:
            ValueLabel::keyPressEvent(event);
        }
    }

    void paintEvent(QPaintEvent* event) override
    {
        ValueLabel::paintEvent(event);
        if (!hasFocus())
            return;
        QStylePainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = contentsRect().adjusted(1, 1, -1, -1);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
    }

private:
    std::function<void()> m_onClick;
    bool m_pressed = false;
};

QStringList ToQtList(const auto& names)
{
    QStringList list;
    for (std::string_view name : names)
        list << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    return list;
}

QLabel* Heading(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

ArmorLanguageSpellArea::ArmorLanguageSpellArea(SheetBinding& binding, QWidget* parent)
    : QWidget(parent), m_binding(binding)
{
    setObjectName(QStringLiteral("ArmorLanguageSpellArea"));
    SetFontPoints(this, kPanelFontPoints);
    setFixedHeight(TwipsToPx(kHeightTwips, this));

    // The armour row lies over the two blocks and spans them.
    auto* layout = new QGridLayout(this);
    const int margin = TwipsToPx(kMarginTwips, this);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setHorizontalSpacing(TwipsToPx(kBlockGapTwips, this));
    layout->setVerticalSpacing(TwipsToPx(kSectionGapTwips, this));
    BuildArmor(layout);
    layout->addLayout(BuildLanguages(), 1, 0);
    layout->addLayout(BuildSpells(), 1, 1);
    layout->setColumnStretch(2, 1);
    layout->setRowStretch(2, 1);
}

QComboBox* ArmorLanguageSpellArea::NameList(const QString& objectName, const QString& accessibleName,
                                            int widthTwips, const QStringList& entries, FieldId id, int index)
{
    auto* list = new PanelComboBox(this);
    list->setObjectName(objectName);
    list->setAccessibleName(accessibleName);
    // The boxes of one kind share one list of entries and its measured width: a model and a
    // width per box would cost a noticeable part of the program's start. The model goes in
    // before the box becomes editable, so its completer is made once, on the shared model.
    auto& [model, widest] = m_choices[entries.join(u'\n')];
    if (!model) {
        model = new QStringListModel(entries, this);
        for (const QString& entry : entries)
            widest = std::max(widest, list->fontMetrics().horizontalAdvance(entry));
    }
    list->setModel(model);
    list->setEditable(true);
    // The text field is what a screen reader lands on; it speaks the list's name.
    list->lineEdit()->setAccessibleName(accessibleName);
    BoxTextStart::Install(list->lineEdit());
    SheetBinding::RefuseWhatTheFileCannotHold(list->lineEdit(), id, index);
    // A typed name is the record's text only; it never becomes an entry of the list.
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setFocusPolicy(Qt::StrongFocus);
    list->setMaxVisibleItems(20);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(1);
    list->setFixedSize(TwipsToPx(widthTwips, this), TwipsToPx(kRowHeightTwips, this));
    // The drop-down shows whole names even where the box itself is narrower.
    list->view()->setMinimumWidth(widest + TwipsToPx(450, this));

    auto refresh = [this, list, id, index] {
        const QString text = ToQt(m_binding.Model().Text(id, index));
        if (list->currentText() == text)
            return;
        const QSignalBlocker blocker(list);
        SheetBinding::ShowUnfiltered(list->lineEdit(), [list, &text] {
            list->setCurrentIndex(list->findText(text));
            list->setEditText(text);
        });
        // A name longer than the box shows its beginning.
        list->lineEdit()->setCursorPosition(0);
    };
    // Filling the list selected its first entry; show the record's text from the start.
    refresh();
    m_binding.Bind(id, index, std::move(refresh));
    connect(list, &QComboBox::textActivated, list, [list] { list->lineEdit()->setCursorPosition(0); });
    // Both typing and choosing an entry change the edit text, so one connection writes either; a
    // name box takes any text.
    connect(list, &QComboBox::editTextChanged, this, [this, id, index](const QString& text) {
        (void)m_binding.Model().EditText(id, index, FromQt(text));
    });
    return list;
}

void ArmorLanguageSpellArea::BuildArmor(QGridLayout* layout)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(TwipsToPx(kColumnGapTwips, this));
    QComboBox* armor = NameList(QStringLiteral("lstArmor"), tr("Body armor"), kArmorListTwips,
                                ToQtList(BodyArmorEntries()), FieldId::ArmorType, 0);
    auto* caption = Heading(tr("Armor"), this);
    caption->setBuddy(armor);
    row->addWidget(caption);
    row->addWidget(armor);
    // The pieces end where the spell lists end.
    row->addStretch(1);

    struct Piece {
        ArmorPiece piece;
        const char* name;
        QString caption;
    };
    const Piece pieces[] = {{ArmorPiece::Helm, "chkHelm", tr("Helm")},
                            {ArmorPiece::Shield, "chkShield", tr("Shield")},
                            {ArmorPiece::ArmGreaves, "chkArmGreaves", tr("Arm Greaves")},
                            {ArmorPiece::LegGreaves, "chkLegGreaves", tr("Leg Greaves")}};
    for (const Piece& p : pieces) {
        const ArmorPiece piece = p.piece;
        auto* box = new ArmorPieceBox(
            p.caption,
            [this, piece] {
                SheetModel& model = m_binding.Model();
                const bool worn = model.Record().Piece(piece) != CheckState::Clear;
                // Refused only where the rules keep the piece as it is; the box then shows that.
                (void)model.SetArmorPiece(piece, worn ? CheckState::Clear : CheckState::Checked);
            },
            this);
        box->setObjectName(QString::fromLatin1(p.name));
        box->setAccessibleName(p.caption);
        auto refresh = [this, box, piece] { box->Show(m_binding.Model().Record().Piece(piece)); };
        refresh();
        m_binding.Bind(FieldId::ArmorPiece, static_cast<int>(piece), std::move(refresh));
        row->addWidget(box);
    }
    layout->addLayout(row, 0, 0, 1, 2);
}

QGridLayout* ArmorLanguageSpellArea::SlotGrid(const QString& heading)
{
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(TwipsToPx(kCellGapTwips, this));
    grid->setVerticalSpacing(TwipsToPx(kRowGapTwips, this));
    grid->addWidget(Heading(heading, this), 0, 0, 1, 5);
    grid->setColumnMinimumWidth(2, TwipsToPx(kColumnGapTwips - 2 * kCellGapTwips, this));
    return grid;
}

QLayout* ArmorLanguageSpellArea::BuildLanguages()
{
    QGridLayout* grid = SlotGrid(tr("Languages"));
    const QStringList names = ToQtList(LanguageNames());
    for (int i = 0; i < kLanguageCount; ++i) {
        const QString number = QString::number(i + 1);
        QComboBox* name =
            NameList(QStringLiteral("lstLanguages_%1").arg(i), tr("Language %1 name").arg(number),
                     kLanguageListTwips, names, FieldId::LanguageName, i);
        auto* rank =
            new RankLabel([this, i] { (void)m_binding.Model().lblLanguage_Click(i); }, this); // i is a row
        rank->setObjectName(QStringLiteral("lblLanguage_%1").arg(i));
        rank->setAccessibleName(tr("Language %1 rank").arg(number));
        rank->setAccessibleDescription(tr("Language %1 rank").arg(number));
        rank->setToolTip(i == 0 ? tr("Language Rank:  Click to cycle 0 - 5")
                                : tr("Click to cycle Language Ranks"));
        rank->setAlignment(Qt::AlignCenter);
        rank->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        rank->setBackgroundRole(QPalette::Base);
        rank->setAutoFillBackground(true);
        rank->setFixedSize(TwipsToPx(kRankTwips, this), TwipsToPx(kRowHeightTwips, this));
        m_binding.BindLabel(rank, FieldId::LanguageRank, i);

        const int row = 1 + i % 4;
        const int column = i < 4 ? 0 : 3;
        grid->addWidget(name, row, column);
        grid->addWidget(rank, row, column + 1);
    }
    return grid;
}

QLayout* ArmorLanguageSpellArea::BuildSpells()
{
    QGridLayout* grid = SlotGrid(tr("Spell Lists"));
    const QStringList names = ToQtList(SpellListNames());
    for (int i = 0; i < kSpellListCount; ++i) {
        const QString number = QString::number(i + 1);
        QComboBox* name =
            NameList(QStringLiteral("lstSpells_%1").arg(i), tr("Spell list %1 name").arg(number),
                     kSpellListTwips, names, FieldId::SpellName, i);
        auto* percent = new QLineEdit(this);
        percent->setObjectName(QStringLiteral("txtSpell_%1").arg(i));
        percent->setAccessibleName(tr("Spell list %1 percent").arg(number));
        percent->setToolTip(tr("Spell List Percentage"));
        percent->setAlignment(Qt::AlignCenter);
        percent->setFixedSize(TwipsToPx(kPercentTwips, this), TwipsToPx(kRowHeightTwips, this));
        m_binding.BindLineEdit(percent, FieldId::SpellPercent, i);

        const int row = 1 + i % 4;
        const int column = i < 4 ? 0 : 3;
        grid->addWidget(name, row, column);
        grid->addWidget(percent, row, column + 1);
    }
    return grid;
}

} // namespace keld

#include "ArmorLanguageSpellArea.moc"
