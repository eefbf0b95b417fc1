#include "sheet/SheetView.h"
#include "SheetFixture.h"
#include "sheet/binding/SheetBinding.h"
#include "ui/Twips.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>
#include <QWheelEvent>

#include <cmath>

using namespace keld;

namespace {

// A sheet in a window whose height is given in twips.
struct Sheet {
    explicit Sheet(double heightTwips)
    {
        view = new SheetView(binding);
        window.setCentralWidget(view);
        window.resize(TwipsToPx(8500, &window), TwipsToPx(heightTwips, &window));
        window.show();
    }

    // Mouse moves with the button held, each at the same point: every move scrolls one step.
    void DragTo(int fromY, int toY, int moves)
    {
        QWidget* panel = view->Panel();
        QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(50, fromY));
        QCOMPARE(panel->cursor().shape(), Qt::ClosedHandCursor);
        for (int i = 0; i < moves; ++i) {
            QMouseEvent move(QEvent::MouseMove, QPointF(50, toY), panel->mapToGlobal(QPointF(50, toY)),
                             Qt::NoButton, Qt::LeftButton, {});
            QCoreApplication::sendEvent(panel, &move);
        }
        QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(50, toY));
        QCOMPARE(panel->cursor().shape(), Qt::OpenHandCursor);
    }

    void Wheel(int delta)
    {
        QWidget* panel = view->Panel();
        QWheelEvent wheel(QPointF(50, 50), panel->mapToGlobal(QPointF(50, 50)), {}, QPoint(0, delta), Qt::NoButton,
                          {}, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(panel, &wheel);
    }

    SheetModel model;
    SheetBinding binding{model};
    QMainWindow window;
    SheetView* view;
};

} // namespace

class SheetViewTest : public QObject {
    Q_OBJECT
private slots:
    // Dragging up scrolls 250 twips per move until the first step past the window's bound
    // (9000 - 960 - 13260 = -5220, so -5250); dragging down comes back to 0 and stops there.
    // The boxes whose text a character file splits on "/" or "," do not take that character,
    // typed, pasted or dropped, nor does any box take a line end; the rest of the text stays.
    void BoxesRefuseWhatTheFileCannotHold()
    {
        Sheet sheet(9000);
        sheet.model.ClearCharacter();
        struct Box {
            QLineEdit* edit;
            FieldId id;
            int index;
            const char* splits; // the separator the file splits this field's line on, if any
        };
        const auto edit = [&](const char* name) { return test::FindControl<QLineEdit>(sheet.view, name); };
        const auto list = [&](const char* name) {
            return test::FindControl<QComboBox>(sheet.view, name)->lineEdit();
        };
        const Box boxes[] = {
            {edit("txtGeneral_1"), FieldId::General, 1, "/"}, // height
            {edit("txtGeneral_3"), FieldId::General, 3, "/"}, // hair
            {edit("txtGeneral_2"), FieldId::General, 2, ""},  // weight: the split takes the rest
            {edit("txtGeneral_0"), FieldId::General, 0, ""},  // name: no line end only
            {edit("txtSecondary_24"), FieldId::SecondaryName, 24, ""},
            {edit("txtItem1_30"), FieldId::Item1, 30, ","},
            {edit("txtSpec2_26"), FieldId::Spec2, 26, ","},
            {list("lstLanguages_0"), FieldId::LanguageName, 0, ","},
            {list("lstSpells_7"), FieldId::SpellName, 7, ","},
        };
        const QString given = QStringLiteral("a/b,c\nd");
        for (const Box& box : boxes) {
            const QString name = box.edit->objectName().isEmpty() ? box.edit->parentWidget()->objectName()
                                                                  : box.edit->objectName();
            QString kept = given;
            kept.remove(u'\n');
            if (*box.splits)
                kept.remove(QLatin1String(box.splits));
            const auto clear = [&] {
                box.edit->selectAll();
                QTest::keyClick(box.edit, Qt::Key_Backspace);
                QCOMPARE(sheet.model.Text(box.id, box.index), std::string());
            };
            // Typing happens in the focused box (an unfocused name box shows its start).
            sheet.window.activateWindow();
            box.edit->setFocus();
            QTRY_VERIFY(box.edit->hasFocus());
            clear();
            // Return in a line box ends the edit rather than typing a line end.
            QTest::keyClicks(box.edit, QString(given).remove(u'\n'));
            QVERIFY2(ToQt(sheet.model.Text(box.id, box.index)) == kept,
                     qPrintable(name + " typed: " + ToQt(sheet.model.Text(box.id, box.index))));
            clear();
            QGuiApplication::clipboard()->setText(given);
            box.edit->paste();
            QVERIFY2(ToQt(sheet.model.Text(box.id, box.index)) == kept, qPrintable(name + " pasted"));
            clear();
            QMimeData dropped;
            dropped.setText(given);
            test::Drop(box.edit, dropped);
            QVERIFY2(ToQt(sheet.model.Text(box.id, box.index)) == kept,
                     qPrintable(name + " dropped: " + ToQt(sheet.model.Text(box.id, box.index))));
        }
    }

    void DragScrollStepsAndStopsAtTheBounds()
    {
        Sheet sheet(9000);
        QVERIFY(std::abs(PxToTwips(sheet.window.height(), &sheet.window) - 9000) < 15);
        sheet.DragTo(200, 100, 3);
        QCOMPARE(sheet.view->PanelTopTwips(), -750);
        sheet.DragTo(200, 100, 100);
        QCOMPARE(sheet.view->PanelTopTwips(), -5250);
        QCOMPARE(sheet.view->Panel()->y(), TwipsToPx(-5250, sheet.view));
        sheet.DragTo(100, 200, 1);
        QCOMPARE(sheet.view->PanelTopTwips(), -5000);
        sheet.DragTo(100, 200, 100);
        QCOMPARE(sheet.view->PanelTopTwips(), 0);
        // Level with the starting point nothing moves.
        sheet.DragTo(100, 100, 10);
        QCOMPARE(sheet.view->PanelTopTwips(), 0);
    }

    // The wheel scrolls by the same steps within the same bounds.
    void WheelScrollsByTheSameSteps()
    {
        Sheet sheet(9000);
        sheet.Wheel(-120);
        QCOMPARE(sheet.view->PanelTopTwips(), -250);
        sheet.Wheel(-60); // half a notch waits for the other half
        QCOMPARE(sheet.view->PanelTopTwips(), -250);
        sheet.Wheel(-60);
        QCOMPARE(sheet.view->PanelTopTwips(), -500);
        sheet.Wheel(+1200);
        QCOMPARE(sheet.view->PanelTopTwips(), 0);
    }

    // A window taller than the panel and its frame never scrolls.
    void TallWindowNeverScrolls()
    {
        Sheet sheet(960 + 13260 + 500);
        sheet.DragTo(200, 100, 5);
        QCOMPARE(sheet.view->PanelTopTwips(), 0);
        sheet.Wheel(-120);
        QCOMPARE(sheet.view->PanelTopTwips(), 0);
    }
};

QTEST_MAIN(SheetViewTest)
#include "SheetViewTest.moc"
