#include "sheet/SheetView.h"
#include "sheet/binding/SheetBinding.h"
#include "ui/Twips.h"

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
