// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellFixture.h"
#include "inventory/window/InventoryWindow.h"
#include "report/window/ReportCommands.h"
#include "report/window/ReportWindow.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSet>
#include <QTextEdit>

using namespace keld;
using namespace keld::test;

namespace {

// Parts Qt builds inside a control (a combo's line edit, a text area's scroll bars) are spoken
// as part of that control; only the controls a window builds itself need names of their own.
bool IsPartOfAnotherControl(const QWidget* widget)
{
    if (widget->objectName().startsWith(QLatin1String("qt_")))
        return true;
    for (const QWidget* parent = widget->parentWidget(); parent; parent = parent->parentWidget())
        if (qobject_cast<const QComboBox*>(parent) || qobject_cast<const QAbstractSpinBox*>(parent) ||
            qobject_cast<const QAbstractScrollArea*>(parent))
            return true;
    return false;
}

bool IsInputControl(const QWidget* widget)
{
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QPlainTextEdit*>(widget) ||
           qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QScrollBar*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) || widget->focusPolicy() != Qt::NoFocus;
}

// Every control a user can reach has a name a screen reader speaks and a unique object name, so
// tests and accessibility tools find it; a label that shows a value says what it is.
QStringList Unnamed(const QWidget* window)
{
    QStringList faults;
    QSet<QString> seen;
    const auto children = window->findChildren<QWidget*>();
    for (const QWidget* widget : children) {
        if (IsPartOfAnotherControl(widget))
            continue;
        const QString name = widget->objectName();
        const QString kind = QString::fromLatin1(widget->metaObject()->className());
        auto* label = qobject_cast<const QLabel*>(widget);
        if (label) {
            // A label is spoken as its text; one that shows a value also says what it is.
            static const QStringList kValueLabels = {
                QStringLiteral("lblNorm_"),  QStringLiteral("lblRace_"),     QStringLiteral("lblStatTotal_"),
                QStringLiteral("lblRank_"),  QStringLiteral("lblStat_"),     QStringLiteral("lblProf_"),
                QStringLiteral("lblSkillTotal_"), QStringLiteral("lblPP"),   QStringLiteral("lblMoneyWeight"),
                QStringLiteral("lblLanguage_"),   QStringLiteral("lblValue_")};
            for (const QString& prefix : kValueLabels)
                if (name.startsWith(prefix) && label->accessibleDescription().isEmpty())
                    faults << name + QStringLiteral(" shows a value but does not say what it is");
        } else if (IsInputControl(widget)) {
            if (name.isEmpty())
                faults << kind + QStringLiteral(" without an object name (\"") + widget->accessibleName() + u'"' + u')';
            auto* button = qobject_cast<const QAbstractButton*>(widget);
            if (widget->accessibleName().isEmpty() && (!button || (button->text().isEmpty() && button->toolTip().isEmpty())))
                faults << name + QStringLiteral(" without an accessible name");
        }
        if (!name.isEmpty()) {
            if (seen.contains(name))
                faults << name + QStringLiteral(" is not unique");
            seen.insert(name);
        }
    }
    return faults;
}

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
private slots:
    void EveryControlOfEveryWindowIsNamed()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        MainWindow* sheet = app->Sheet();
        sheet->SetToolbarShown(true);
        sheet->ShowDice();
        sheet->ShowAbout();
        sheet->Reports().PreviewSummary();

        QStringList faults;
        faults << Unnamed(sheet) << Unnamed(app->Inventory());
        QVERIFY(sheet->Toolbar());
        faults << Unnamed(sheet->Toolbar());
        QVERIFY(sheet->Dice());
        faults << Unnamed(sheet->Dice());
        QVERIFY(sheet->About());
        faults << Unnamed(sheet->About());
        QVERIFY(sheet->Reports().Window());
        faults << Unnamed(sheet->Reports().Window());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));

        // Spot checks of names the tests and screen readers rely on.
        QCOMPARE(sheet->findChild<QLineEdit*>(QStringLiteral("txtSTAT_3"))->accessibleName(), QStringLiteral("IG value"));
        QVERIFY(sheet->findChild<QWidget*>(QStringLiteral("barSkill5_11"))->accessibleName().contains(u"Climb"));
        QVERIFY(!sheet->findChild<QLabel*>(QStringLiteral("lblNorm_3"))->accessibleDescription().isEmpty());
        app->Exit();
    }
};

QTEST_MAIN(AccessibilityTest)
#include "AccessibilityTest.moc"
