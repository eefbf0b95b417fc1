// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/StatCodeLabel.h"

#include "character/CharacterRecord.h"
#include "ui/QtText.h"

#include <QKeyEvent>
#include <QMenu>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace keld {

namespace {

QString ChipCaption(int chip)
{
    return ToQt(std::string(StatChipCaption(chip)));
}

// The chip whose caption the typed letters are, or -1.
int ChipTyped(const QString& typed)
{
    for (int chip = 0; chip < kStatCount; ++chip) {
        const QString caption = ChipCaption(chip).trimmed();
        if (!caption.isEmpty() && caption.compare(typed, Qt::CaseInsensitive) == 0)
            return chip;
    }
    return -1;
}

bool StartsAChip(const QString& typed)
{
    for (int chip = 0; chip < kStatCount; ++chip) {
        const QString caption = ChipCaption(chip).trimmed();
        if (!caption.isEmpty() && caption.startsWith(typed, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// The chip that removes a row's stat: its caption is blank.
QString BlankChip()
{
    for (int chip = 0; chip < kStatCount; ++chip)
        if (ChipCaption(chip).trimmed().isEmpty())
            return ChipCaption(chip);
    return QStringLiteral("  ");
}

} // namespace

StatCodeLabel::StatCodeLabel(std::function<void(const QString&)> onChoose, QWidget* parent)
    : ValueLabel(parent), m_onChoose(std::move(onChoose))
{
    setFocusPolicy(Qt::StrongFocus);
}

void StatCodeLabel::OpenMenu()
{
    if (!m_menu) {
        m_menu = new QMenu(this);
        m_menu->setObjectName(objectName() + QStringLiteral("_menu"));
        m_menu->setAccessibleName(accessibleName());
        for (int chip = 0; chip < kStatCount; ++chip) {
            const QString caption = ChipCaption(chip);
            QAction* action = m_menu->addAction(caption.trimmed().isEmpty() ? tr("No stat") : caption);
            action->setData(caption);
            connect(action, &QAction::triggered, this, [this, caption] { m_onChoose(caption); });
        }
    }
    // The row's own code is the one the menu starts on.
    for (QAction* action : m_menu->actions())
        if (action->data().toString().trimmed() == text().trimmed())
            m_menu->setActiveAction(action);
    m_menu->popup(mapToGlobal(QPoint(0, height())));
}

void StatCodeLabel::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F4:
        m_typed.clear();
        OpenMenu();
        event->accept();
        return;
    case Qt::Key_Down:
        if (event->modifiers() & Qt::AltModifier) {
            OpenMenu();
            event->accept();
            return;
        }
        break;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        m_typed.clear();
        m_onChoose(BlankChip());
        event->accept();
        return;
    default:
        break;
    }
    const QString letters = event->text();
    if (letters.size() != 1 || !letters.at(0).isLetter()) {
        ValueLabel::keyPressEvent(event);
        return;
    }
    event->accept();
    // Two letters in a row name a chip; a letter that starts none begins again.
    m_typed += letters;
    if (!StartsAChip(m_typed))
        m_typed = StartsAChip(letters) ? letters : QString();
    const int chip = ChipTyped(m_typed);
    if (chip >= 0) {
        m_typed.clear();
        m_onChoose(ChipCaption(chip));
    }
}

void StatCodeLabel::focusOutEvent(QFocusEvent* event)
{
    m_typed.clear();
    ValueLabel::focusOutEvent(event);
}

void StatCodeLabel::paintEvent(QPaintEvent* event)
{
    ValueLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = contentsRect();
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

} // namespace keld
