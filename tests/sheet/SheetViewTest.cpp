#include "SheetBinding.h"
#include "SheetView.h"
#include "Twips.h"

#include <QMainWindow>
#include <QTest>

using namespace keld;

class SheetViewTest : public QObject {
    Q_OBJECT
private slots:
    // A window 9000 twips high stops scrolling up at the first step past its bound; down stops at 0.
    void DragScrollStopsAtTheBounds()
    {
        SheetModel model;
        SheetBinding binding(model);
        QMainWindow window;
        auto* view = new SheetView(binding);
        window.setCentralWidget(view);
        window.resize(600, TwipsToPx(9000, &window));
        window.show();
        for (int i = 0; i < 100; ++i)
            view->ScrollStep(-1);
        const double bound = PxToTwips(window.height(), &window) - 960 - 13260;
        QVERIFY(view->PanelTopTwips() <= bound);
        QVERIFY(view->PanelTopTwips() > bound - 250);
        QCOMPARE(view->PanelTopTwips() % 250, 0);
        for (int i = 0; i < 100; ++i)
            view->ScrollStep(+1);
        QCOMPARE(view->PanelTopTwips(), 0);
    }
};

QTEST_MAIN(SheetViewTest)
#include "SheetViewTest.moc"
