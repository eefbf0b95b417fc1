// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/NamedComboBox.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QLineEdit>

namespace keld {

namespace {

class NamedComboAccessible : public QAccessibleWidget {
public:
    explicit NamedComboAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text kind) const override
    {
        const QComboBox* box = Box();
        if (kind == QAccessible::Name && !box->accessibleName().isEmpty())
            return box->accessibleName();
        if (kind == QAccessible::Name || kind == QAccessible::Value)
            return box->currentText();
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = Box()->view() && Box()->view()->isVisible();
        state.collapsed = !state.expanded;
        state.editable = Box()->isEditable();
        return state;
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override
    {
        if (action == showMenuAction() || action == pressAction()) {
            if (Box()->view() && Box()->view()->isVisible())
                Box()->hidePopup();
            else
                Box()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QComboBox* Box() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* NamedComboFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(NamedComboBox::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new NamedComboAccessible(static_cast<NamedComboBox*>(object));
    return nullptr;
}

} // namespace

NamedComboBox::NamedComboBox(QWidget* parent) : QComboBox(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(&NamedComboFactory);
        return true;
    }();
    (void)installed;
}

} // namespace keld
