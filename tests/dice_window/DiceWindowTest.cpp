// SPDX-License-Identifier: GPL-3.0-or-later
#include "dice/window/DiceWindow.h"
#include "settings/SettingsStore.h"
#include "ui/TextDrag.h"
#include "ui/Twips.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <set>

using namespace keld;

namespace {

struct Fixture {
    QTemporaryDir folder;
    SettingsStore settings{folder.path().toStdString()};
    std::unique_ptr<DiceWindow> window;

    explicit Fixture(UniformSource uniform = MakeSeededSource(20240601))
        : window(std::make_unique<DiceWindow>(settings, std::move(uniform)))
    {
        window->show();
        // One spin keeps the many rolls below fast; the ranges do not depend on it.
        Find<QScrollBar>("HScroll1")->setValue(1);
    }
    template <typename T> T* Find(const char* name) const
    {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    template <typename T> T* Find(const char* name, int slot) const
    {
        return Find<T>(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(slot).toLatin1().constData());
    }
    QString Value(int slot) const { return Find<QLabel>("lblValue", slot)->text(); }
    void Choose(int slot, const QString& expression) const
    {
        Find<QComboBox>("lstDice", slot)->setEditText(expression);
    }
    void Roll(int slot) const { QTest::mouseClick(Find<QPushButton>("Command2", slot), Qt::LeftButton); }
};

} // namespace

class DiceWindowTest : public QObject {
    Q_OBJECT
private slots:
    void SlotRollsStayInTheirRanges()
    {
        Fixture f;
        QCOMPARE(f.Find<QComboBox>("lstDice", 0)->count(), 17);
        QCOMPARE(f.Find<QLabel>("Label2")->text(), QStringLiteral("Dice Spins (1 to 1) Times"));
        struct Case {
            const char* expression;
            int low, high;
            bool reachesBoth; // within 300 rolls, all but surely
        };
        for (const Case& c : {Case{"1D10", 1, 10, true}, Case{"2D6", 2, 12, true}, Case{"1D2", 1, 2, true},
                              Case{"3d8", 3, 24, false}}) {
            f.Choose(2, QString::fromLatin1(c.expression));
            std::set<int> seen;
            for (int i = 0; i < 300; ++i) {
                f.Roll(2);
                bool number = false;
                const int value = f.Value(2).toInt(&number);
                QVERIFY2(number && value >= c.low && value <= c.high, qPrintable(f.Value(2)));
                seen.insert(value);
            }
            if (c.reachesBoth) {
                QCOMPARE(*seen.begin(), c.low);
                QCOMPARE(*seen.rbegin(), c.high);
            }
        }

        // Percentile results are two digits, leading zero and "00" included.
        f.Find<QCheckBox>("chkMin", 3)->click();
        const QRegularExpression twoDigits(QStringLiteral("^[0-9][0-9]$"));
        bool leadingZero = false;
        for (int i = 0; i < 300; ++i) {
            f.Roll(3);
            QVERIFY2(twoDigits.match(f.Value(3)).hasMatch(), qPrintable(f.Value(3)));
            leadingZero = leadingZero || f.Value(3).startsWith(u'0');
        }
        QVERIFY(leadingZero);
    }

    void RerollBoxesFollowTheExpressions()
    {
        Fixture f;
        auto box = [&f](int slot) { return f.Find<QCheckBox>("chkMin", slot); };
        f.Choose(1, QStringLiteral("2D6"));
        QVERIFY(box(1)->isHidden());
        QVERIFY(!box(1)->isChecked());
        f.Choose(1, QStringLiteral("%ILES"));
        QVERIFY(!box(1)->isHidden());
        QVERIFY(!box(1)->isChecked());

        // The window-wide box sets the visible boxes only.
        f.Choose(4, QStringLiteral("1D6"));
        auto* global = f.Find<QCheckBox>("gblchkMin");
        global->click();
        QVERIFY(!global->isChecked());
        global->click();
        for (int slot : {0, 1, 2, 3, 5})
            QVERIFY(box(slot)->isChecked());
        QVERIFY(box(4)->isHidden());
        QVERIFY(!box(4)->isChecked());

        // "%-ILES" makes every slot percentile again.
        QTest::mouseClick(f.Find<QPushButton>("Command3"), Qt::LeftButton);
        for (int slot = 0; slot < DiceRoller::kSlotCount; ++slot)
            QCOMPARE(f.Find<QComboBox>("lstDice", slot)->currentText(), QStringLiteral("%TILES"));
        QVERIFY(!box(4)->isHidden());
    }

    void RollAllSkipsASlotThatCannotRoll()
    {
        Fixture f;
        f.Choose(0, QStringLiteral("1D6"));
        f.Roll(0);
        const QString before = f.Value(0);
        f.Choose(0, QStringLiteral("1D40000"));
        f.Roll(0);
        QCOMPARE(f.Value(0), before);

        QTest::mouseClick(f.Find<QPushButton>("Command1"), Qt::LeftButton);
        QCOMPARE(f.Value(0), before);
        for (int slot = 1; slot < DiceRoller::kSlotCount; ++slot)
            QVERIFY(f.Value(slot) != QStringLiteral("Value"));
    }

    void ValueLabelDragsItsCaption()
    {
        Fixture f;
        QWidget* source = nullptr;
        QString caption;
        f.window->SetDragStarter([&](QWidget* from, const QString& text) {
            source = from;
            caption = text;
        });
        f.Choose(5, QStringLiteral("2D8"));
        f.Roll(5);
        auto* value = f.Find<QLabel>("lblValue", 5);
        QVERIFY(f.window->Roller().Slot(5).fresh);
        QCOMPARE(value->frameStyle() & QFrame::Shape_Mask, int(QFrame::Box));

        QTest::mousePress(value, Qt::RightButton);
        QCOMPARE(source, value);
        QCOMPARE(caption, value->text());
        std::unique_ptr<QMimeData> data(CaptionMimeData(caption));
        QCOMPARE(data->text(), value->text());
        QVERIFY(!f.window->Roller().Slot(5).fresh);
        QCOMPARE(value->frameStyle() & QFrame::Shape_Mask, int(QFrame::NoFrame));
        QCOMPARE(value->backgroundRole(), QPalette::Button);
    }

    // Nothing in the roller takes a dragged value: the stat boxes of the sheet are the only targets,
    // so over this window the drag shows the forbidden pointer.
    void NoControlOfTheRollerTakesADrop()
    {
        Fixture f;
        QStringList takers;
        for (QWidget* widget : f.window->findChildren<QWidget*>())
            if (widget->acceptDrops())
                takers << widget->objectName() + u'/' + QLatin1String(widget->metaObject()->className());
        QCOMPARE(takers, QStringList());
        QVERIFY(!f.window->acceptDrops());
    }

    // The spins bar is reached by keyboard, moved by its keys, and speaks its value.
    void SpinsBarWorksByKeyboard()
    {
        Fixture f;
        auto* bar = f.Find<QScrollBar>("HScroll1");
        QVERIFY(bar->focusPolicy() & Qt::TabFocus);
        QApplication::setActiveWindow(f.window.get());
        bar->setFocus();
        QVERIFY(bar->hasFocus());
        QTest::keyClick(bar, Qt::Key_Right);
        QTest::keyClick(bar, Qt::Key_Up);
        QTest::keyClick(bar, Qt::Key_Left);
        QCOMPARE(bar->value(), 2);
        QTest::keyClick(bar, Qt::Key_PageDown);
        QCOMPARE(bar->value(), 12);
        QTest::keyClick(bar, Qt::Key_End);
        QCOMPARE(bar->value(), 500);
        QCOMPARE(f.window->Roller().Spins(), 500);
        QCOMPARE(f.Find<QLabel>("Label2")->text(), QStringLiteral("Dice Spins (1 to 500) Times"));
        QTest::keyClick(bar, Qt::Key_Home);
        QCOMPARE(f.window->Roller().Spins(), 1);
        QTest::keyClick(bar, Qt::Key_PageDown);
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(bar);
        QVERIFY(spoken && spoken->valueInterface());
        QCOMPARE(spoken->valueInterface()->currentValue().toInt(), 11);
        QCOMPARE(spoken->text(QAccessible::Name), QStringLiteral("Dice spins"));
        QCOMPARE(spoken->text(QAccessible::Description), QStringLiteral("Dice Spins (1 to 11) Times"));
    }

    // Keyboard only: Enter presses the focused button as Space does, the spins bar shows that it
    // has the focus, and a screen reader names each dice list by its slot, its entry the value.
    void KeyboardAndScreenReaderUse()
    {
        Fixture f;
        QApplication::setActiveWindow(f.window.get());
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        auto* roll = f.Find<QPushButton>("Command2", 1);
        roll->setFocus();
        QTest::keyClick(roll, Qt::Key_Return);
        QVERIFY(f.Value(1) != QStringLiteral("Value"));
        QCOMPARE(f.Value(0), QStringLiteral("Value"));
        auto* all = f.Find<QPushButton>("Command1");
        all->setFocus();
        QTest::keyClick(all, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(f.Value(0) != QStringLiteral("Value"));

        auto* bar = f.Find<QScrollBar>("HScroll1");
        const QImage unfocused = bar->grab().toImage();
        bar->setFocus();
        QVERIFY(bar->hasFocus());
        QVERIFY2(bar->grab().toImage() != unfocused, "the focus does not show on the spins bar");

        for (int slot = 0; slot < DiceRoller::kSlotCount; ++slot) {
            auto* dice = f.Find<QComboBox>("lstDice", slot);
            if (slot == 4)
                f.Choose(slot, QStringLiteral("2D6"));
            QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(dice);
            QVERIFY(spoken);
            QCOMPARE(spoken->role(), QAccessible::ComboBox);
            QCOMPARE(spoken->text(QAccessible::Name), QStringLiteral("Slot %1 dice").arg(slot + 1));
            QCOMPARE(spoken->text(QAccessible::Value), slot == 4 ? QStringLiteral("2D6") : QStringLiteral("%ILES"));
        }
    }

    void PositionIsSavedOnCloseAndRestored()
    {
        Fixture f;
        const std::string app = ApplicationName();
        f.window->hide();
        QVERIFY(f.window->Open().Ok());
        QCOMPARE(f.window->pos(), QPoint(0, 0));
        f.window->move(40, 70);
        QVERIFY(f.window->close());
        QCOMPARE(f.settings.GetSetting(app, "SCREEN", "FORM1TOP"),
                 CoordinateText(static_cast<float>(PxToTwips(70, f.window.get()))));

        DiceWindow again(f.settings);
        QVERIFY(again.Open().Ok());
        QCOMPARE(again.pos(), QPoint(40, 70));
        again.close();

        // Nothing is defined for a value that is not a number: its default. A place on no screen: the
        // default.
        QVERIFY(f.settings.SaveSetting(app, "SCREEN", "FORM1TOP", "high").Ok());
        DiceWindow unreadable(f.settings);
        QVERIFY(unreadable.Open().Ok());
        QCOMPARE(unreadable.pos(), QPoint(40, 0));
        QVERIFY(f.settings.SaveSetting(app, "SCREEN", "FORM1TOP", "9000000").Ok());
        DiceWindow lost(f.settings);
        QVERIFY(lost.Open().Ok());
        QCOMPARE(lost.pos(), QPoint(0, 0));
    }

    // A close that arrives while a roll paints waits for the roll to end.
    void CloseDuringARollWaitsForIt()
    {
        DiceWindow* window = nullptr;
        int draws = 0;
        bool openAfterClose = false;
        Fixture f([&, source = MakeSeededSource(7)]() {
            if (++draws == 12 && window) {
                window->close();
                openAfterClose = window->isVisible();
            }
            return source();
        });
        window = f.window.get();
        QTest::mouseClick(f.Find<QPushButton>("Command1"), Qt::LeftButton);
        QVERIFY(draws > 12);
        QVERIFY(openAfterClose);
        QVERIFY(!f.window->isVisible());
        for (int slot = 0; slot < DiceRoller::kSlotCount; ++slot)
            QVERIFY(f.Value(slot) != QStringLiteral("Value"));
        QVERIFY(!f.settings.GetSetting(ApplicationName(), "SCREEN", "FORM1LEFT").empty());
    }
};

QTEST_MAIN(DiceWindowTest)
#include "DiceWindowTest.moc"
