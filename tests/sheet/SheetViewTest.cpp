// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/SheetView.h"
#include "SheetFixture.h"
#include "binding/SheetBinding.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
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

    // Presses at y in the view, then moves the held button `moves` times by `stepPx` on the
    // screen, each event in the panel's coordinates as they stand then (the panel moves under
    // the pointer); returns the panel top after each move.
    QList<int> DragBy(int y, int stepPx, int moves)
    {
        QWidget* panel = view->Panel();
        QPointF screen = view->mapToGlobal(QPointF(50, y));
        QTest::mousePress(panel, Qt::LeftButton, {}, panel->mapFromGlobal(screen).toPoint());
        [&] { QCOMPARE(panel->cursor().shape(), Qt::ClosedHandCursor); }();
        QList<int> tops;
        for (int i = 0; i < moves; ++i) {
            screen.ry() += stepPx;
            QMouseEvent move(QEvent::MouseMove, panel->mapFromGlobal(screen), screen, Qt::NoButton,
                             Qt::LeftButton, {});
            QCoreApplication::sendEvent(panel, &move);
            tops << view->PanelTopTwips();
        }
        QTest::mouseRelease(panel, Qt::LeftButton, {}, panel->mapFromGlobal(screen).toPoint());
        [&] { QCOMPARE(panel->cursor().shape(), Qt::OpenHandCursor); }();
        return tops;
    }

    void Wheel(int delta)
    {
        QWidget* panel = view->Panel();
        QWheelEvent wheel(QPointF(50, 50), panel->mapToGlobal(QPointF(50, 50)), {}, QPoint(0, delta),
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(panel, &wheel);
    }

    SheetModel model;
    SheetBinding binding{model};
    QMainWindow window;
    SheetView* view;
};

// The contrast ratio of two colours, as readability guidelines measure it (1 to 21).
double Contrast(const QColor& a, const QColor& b)
{
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The highest contrast against `ground` among the pixels of `area` in `image`.
double MostContrast(const QImage& image, const QRect& area, const QColor& ground)
{
    double most = 1;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.rect().contains(x, y))
                most = std::max(most, Contrast(image.pixelColor(x, y), ground));
    return most;
}

// A dark theme's palette as the desktop hands it over: light text, and Mid and Dark close to
// the dark base and window.
QPalette DarkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x32, 0x32, 0x32));
    dark.setColor(QPalette::Base, QColor(0x24, 0x24, 0x24));
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, QColor(0xee, 0xee, 0xec));
    dark.setColor(QPalette::Mid, QColor(0x28, 0x28, 0x28));
    dark.setColor(QPalette::Dark, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Light, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    return dark;
}

} // namespace

class SheetViewTest : public QObject {
    Q_OBJECT
private slots:
    // The content follows the pointer in whole 250-twip steps: small moves add up and never
    // make it jump back and forth; dragging up stops at the first step past the window's bound
    // (9000 - 960 - 13260 = -5220, so -5250); dragging down comes back to 0 and stops there.
    // The boxes whose text a character file splits on "/" or "," do not take that character,
    // typed or pasted, nor does any box take a line end (a pasted one becomes a blank); the rest
    // of the text stays.
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
            // A pasted line end becomes a blank, so the lines stay apart.
            QString pasted = given;
            pasted.replace(u'\n', u' ');
            if (*box.splits) {
                kept.remove(QLatin1String(box.splits));
                pasted.remove(QLatin1String(box.splits));
            }
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
            QVERIFY2(ToQt(sheet.model.Text(box.id, box.index)) == pasted, qPrintable(name + " pasted"));
            clear();
            QMimeData dropped;
            dropped.setText(given);
            // None of these is a stat box, so a drop is not taken at all.
            test::Drop(box.edit, dropped);
            QVERIFY2(sheet.model.Text(box.id, box.index).empty(),
                     qPrintable(name + " dropped: " + ToQt(sheet.model.Text(box.id, box.index))));
        }
    }

    void DragScrollFollowsThePointerAndStopsAtTheBounds()
    {
        Sheet sheet(9000);
        QVERIFY(std::abs(PxToTwips(sheet.window.height(), &sheet.window) - 9000) < 15);
        const double stepPx = TwipsToPx(250.0, sheet.view);
        // Six 2-px moves make less than one step at the usual scale: nothing moves, ever.
        const QList<int> small = sheet.DragBy(300, -2, 6);
        const int smallSteps = static_cast<int>(6 * 2 / stepPx);
        for (int top : small)
            QVERIFY2(top <= 0 && top >= -250 * smallSteps, qPrintable(QString::number(top)));
        QCOMPARE(small.back(), -250 * smallSteps);
        sheet.view->SetPanelTopTwips(0);
        // Upward moves scroll monotonically, three steps' worth of pointer gives three steps.
        const QList<int> up = sheet.DragBy(300, -1, static_cast<int>(std::ceil(3 * stepPx)));
        for (qsizetype i = 1; i < up.size(); ++i)
            QVERIFY(up[i] <= up[i - 1]);
        QCOMPARE(up.back(), -750);
        (void)sheet.DragBy(300, -10, 200);
        QCOMPARE(sheet.view->PanelTopTwips(), -5250);
        QCOMPARE(sheet.view->Panel()->y(), TwipsToPx(-5250, sheet.view));
        // Past the bound, turning back scrolls at once.
        (void)sheet.DragBy(100, static_cast<int>(std::ceil(stepPx)), 1);
        QCOMPARE(sheet.view->PanelTopTwips(), -5000);
        (void)sheet.DragBy(100, 10, 200);
        QCOMPARE(sheet.view->PanelTopTwips(), 0);
        // Pressing without moving moves nothing.
        (void)sheet.DragBy(100, 0, 10);
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
        (void)sheet.DragBy(200, -20, 5);
        QCOMPARE(sheet.view->PanelTopTwips(), 0);
        sheet.Wheel(-120);
        QCOMPARE(sheet.view->PanelTopTwips(), 0);
    }

    // Only the stat value boxes and the skill rows' stat codes take a dropped text; every other
    // box (a name, an item bonus, the editable lists' boxes) refuses it, so the pointer says so.
    void OnlyStatBoxesAndStatCodesTakeDrops()
    {
        Sheet sheet(9000);
        int targets = 0;
        for (const QWidget* widget : sheet.view->Panel()->findChildren<QWidget*>()) {
            if (!widget->acceptDrops())
                continue;
            QVERIFY2(widget->objectName().startsWith(u"txtSTAT_") ||
                         widget->objectName().startsWith(u"lblStatIDENT_"),
                     qPrintable(widget->objectName()));
            ++targets;
        }
        QCOMPARE(targets, kStatCount + kSkillCount);
        QVERIFY(!sheet.view->findChild<QLineEdit*>(QStringLiteral("txtGeneral_0"))->acceptDrops());
        QVERIFY(!sheet.view->findChild<QLineEdit*>(QStringLiteral("txtItem1_5"))->acceptDrops());
    }

    // Keyboard focus on a control below or above the visible part scrolls the sheet, in whole
    // steps, until the control shows; Tab passes over the read-only boxes.
    void FocusedControlIsScrolledIntoView()
    {
        Sheet sheet(9000);
        sheet.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&sheet.window));
        auto* helm = sheet.view->findChild<QWidget*>(QStringLiteral("chkHelm"));
        QVERIFY(helm);
        QVERIFY(helm->mapTo(sheet.view, QPoint(0, 0)).y() > sheet.view->height());
        helm->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), helm);
        const QRect shown(helm->mapTo(sheet.view, QPoint(0, 0)), helm->size());
        QVERIFY2(sheet.view->rect().contains(shown), qPrintable(QString::number(shown.bottom())));
        QCOMPARE(sheet.view->PanelTopTwips() % 250, 0);
        QVERIFY(sheet.view->PanelTopTwips() < 0);

        auto* name = sheet.view->findChild<QWidget*>(QStringLiteral("txtGeneral_0"));
        name->setFocus(Qt::BacktabFocusReason);
        QCOMPARE(sheet.view->PanelTopTwips(), 0);

        // Body Dev's fixed second special bonus and the armour rows' are passed over.
        auto* spec1 = sheet.view->findChild<QLineEdit*>(QStringLiteral("txtSpec1_23"));
        auto* spec2 = sheet.view->findChild<QLineEdit*>(QStringLiteral("txtSpec2_23"));
        QVERIFY(spec2->isReadOnly());
        spec1->setFocus(Qt::TabFocusReason);
        QTest::keyClick(spec1, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != spec2);
        for (int row = 0; row < 5; ++row) {
            auto* armour = sheet.view->findChild<QLineEdit*>(QStringLiteral("txtSpec2_%1").arg(row));
            QVERIFY(armour->isReadOnly());
            QVERIFY(!(armour->focusPolicy() & Qt::TabFocus));
        }
    }

    // In a dark theme the cells of an empty rank bar and an option button's ring and dot stand
    // out from the ground they are drawn on.
    void DarkThemeKeepsGridAndDotsVisible()
    {
        Sheet sheet(9000);
        sheet.window.setPalette(DarkPalette());
        const QPalette dark = DarkPalette();

        auto* bar = sheet.view->findChild<QWidget*>(QStringLiteral("barSkill5_6"));
        QImage barImage(bar->size(), QImage::Format_RGB32);
        bar->render(&barImage);
        // A cell mark in the first quarter of the bar, away from the border.
        const QRect marks(2, bar->height() / 2, bar->width() / 4, 1);
        QVERIFY2(MostContrast(barImage, marks, dark.color(QPalette::Base)) >= 2.0,
                 qPrintable(QString::number(MostContrast(barImage, marks, dark.color(QPalette::Base)))));

        auto* option = sheet.view->findChild<QRadioButton*>(QStringLiteral("Option1_1"));
        option->setChecked(true);
        QImage optionImage(option->size(), QImage::Format_RGB32);
        option->render(&optionImage);
        QStyleOptionButton styleOption;
        styleOption.initFrom(option);
        const QRect indicator =
            option->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &styleOption, option);
        const QPoint centre = indicator.center();
        const QRect dot(centre - QPoint(1, 1), QSize(3, 3));
        QVERIFY(MostContrast(optionImage, dot, dark.color(QPalette::Base)) >= 7.0);
        // The ring on the window's colour, at the indicator's left edge.
        const QRect ring(indicator.left(), centre.y() - 1, 3, 3);
        QVERIFY2(MostContrast(optionImage, ring, dark.color(QPalette::Window)) >= 2.0,
                 qPrintable(QString::number(MostContrast(optionImage, ring, dark.color(QPalette::Window)))));
    }
};

QTEST_MAIN(SheetViewTest)
#include "SheetViewTest.moc"
