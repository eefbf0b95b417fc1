// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/SkillGridArea.h"
#include "SheetFixture.h"
#include "sheet/RankBarWidget.h"
#include "sheet/StatCodeLabel.h"
#include "ui/BoxText.h"
#include "ui/TextDrag.h"
#include "ui/Twips.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QToolTip>

#include <cmath>
#include <memory>

using namespace keld;
using namespace keld::test;

namespace {

// The grid over a model built as start-up builds it, with the shipped tables.
struct Sheet : SheetParts {
    SkillGridArea area{binding};

    Sheet()
    {
        model.ClearCharacter();
        LoadTables();
        model.FillLists(&tables);
        binding.RefreshAll();
        area.resize(TwipsToPx(7935, &area), area.height());
        area.show();
    }

    template <typename T> T* Get(const QString& name) { return FindControl<T>(&area, name); }
    RankBarWidget* Bar5(int row) { return Get<RankBarWidget>(QStringLiteral("barSkill5_%1").arg(row)); }
    RankBarWidget* Bar2(int row) { return Get<RankBarWidget>(QStringLiteral("barSkill2_%1").arg(row)); }
    QString Label(const QString& control, int row)
    {
        return Get<QLabel>(QStringLiteral("%1_%2").arg(control).arg(row))->text();
    }
    QString Rank(int row) { return Label("lblRank", row); }
    QString Total(int row) { return Label("lblSkillTotal", row); }
};

void SendMouse(QWidget* target, QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void Click(QWidget* target, Qt::MouseButton button = Qt::LeftButton, QPointF pos = {2, 2})
{
    SendMouse(target, QEvent::MouseButtonPress, pos, button, button);
    SendMouse(target, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

void DropText(QWidget* target, const QString& text)
{
    const std::unique_ptr<QMimeData> data(CaptionMimeData(text));
    Drop(target, *data);
}

// The pixel where a bar of `cells` cells shows `cell` of them.
QPointF CellPoint(const QWidget* bar, double cell, int cells)
{
    return {std::round(cell * bar->width() / cells), bar->height() / 2.0};
}

} // namespace

class SkillGridAreaTest : public QObject {
    Q_OBJECT
private slots:
    // Clicks add and take a rank; the 2% bar shows at the 5% maximum only, never on armour rows.
    void RankBarClicks()
    {
        Sheet sheet;
        const int climb = 11;
        Click(sheet.Bar5(climb), Qt::RightButton);
        QCOMPARE(sheet.Rank(climb), QString("-25"));
        for (int i = 0; i < 3; ++i)
            Click(sheet.Bar5(climb));
        QCOMPARE(sheet.Rank(climb), QString("15"));
        QCOMPARE(sheet.Total(climb), QString("15"));
        QCOMPARE(sheet.Bar5(climb)->accessibleDescription(), QString("3 of 10"));
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(sheet.Bar5(climb));
        QVERIFY(spoken && spoken->valueInterface());
        QCOMPARE(spoken->role(), QAccessible::ProgressBar);
        QCOMPARE(spoken->valueInterface()->currentValue().toDouble(), 15.0);
        Click(sheet.Bar5(climb), Qt::RightButton);
        QCOMPARE(sheet.Rank(climb), QString("10"));
        QTest::keyClick(sheet.Bar5(climb), Qt::Key_Right);
        QCOMPARE(sheet.Rank(climb), QString("15"));

        const int edged = 5;
        for (int i = 0; i < 9; ++i)
            Click(sheet.Bar5(edged));
        QVERIFY(sheet.Bar2(edged)->isHidden());
        Click(sheet.Bar5(edged));
        Click(sheet.Bar5(edged));
        QCOMPARE(sheet.Rank(edged), QString("50"));
        QVERIFY(!sheet.Bar2(edged)->isHidden());
        QVERIFY(sheet.Bar2(edged)->isEnabled());
        for (int i = 0; i < 6; ++i)
            Click(sheet.Bar2(edged));
        QCOMPARE(sheet.Rank(edged), QString("60"));
        Click(sheet.Bar5(edged), Qt::RightButton);
        QCOMPARE(sheet.Rank(edged), QString("45"));
        QVERIFY(sheet.Bar2(edged)->isHidden());
        QCOMPARE(sheet.model.Bar(RankBar::Two, edged).Value, 0.0f);

        for (int i = 0; i < 3; ++i)
            Click(sheet.Bar5(0));
        QCOMPARE(sheet.Rank(0), QString("10"));
        QVERIFY(sheet.Bar2(0)->isHidden());
    }

    // Dragging snaps to the cells the user sees; past the end the value stays put.
    void RankBarDrag()
    {
        Sheet sheet;
        const int row = 7;
        RankBarWidget* bar = sheet.Bar5(row);
        SendMouse(bar, QEvent::MouseButtonPress, CellPoint(bar, 0, 10), Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(sheet.model.Bar(RankBar::Five, row).Value, 5.0f);
        SendMouse(bar, QEvent::MouseMove, CellPoint(bar, 3, 10), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(sheet.model.Bar(RankBar::Five, row).Value, 15.0f);
        SendMouse(bar, QEvent::MouseMove, CellPoint(bar, 3.3, 10), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(sheet.model.Bar(RankBar::Five, row).Value, 15.0f);
        SendMouse(bar, QEvent::MouseMove, CellPoint(bar, 6.8, 10), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(sheet.model.Bar(RankBar::Five, row).Value, 35.0f);
        // A move with the right button held does not drag.
        SendMouse(bar, QEvent::MouseMove, CellPoint(bar, 2, 10), Qt::NoButton, Qt::RightButton);
        QCOMPARE(sheet.model.Bar(RankBar::Five, row).Value, 35.0f);
        SendMouse(bar, QEvent::MouseMove, {bar->width() + 30.0, 2}, Qt::NoButton, Qt::LeftButton);
        QCOMPARE(sheet.model.Bar(RankBar::Five, row).Value, 35.0f);
        // The rank bonus follows on release.
        QCOMPARE(sheet.Rank(row), QString("-25"));
        SendMouse(bar, QEvent::MouseButtonRelease, {bar->width() + 30.0, 2}, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(sheet.Rank(row), QString("35"));

        // Dragging to the last cell fills the bar and brings out the 2% bar.
        SendMouse(bar, QEvent::MouseButtonPress, CellPoint(bar, 9, 10), Qt::LeftButton, Qt::LeftButton);
        SendMouse(bar, QEvent::MouseMove, CellPoint(bar, 10, 10), Qt::NoButton, Qt::LeftButton);
        SendMouse(bar, QEvent::MouseButtonRelease, CellPoint(bar, 10, 10), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(sheet.Rank(row), QString("50"));
        QVERIFY(!sheet.Bar2(row)->isHidden());

        RankBarWidget* bar2 = sheet.Bar2(row);
        SendMouse(bar2, QEvent::MouseButtonPress, CellPoint(bar2, 0, 5), Qt::LeftButton, Qt::LeftButton);
        SendMouse(bar2, QEvent::MouseMove, CellPoint(bar2, 4, 5), Qt::NoButton, Qt::LeftButton);
        SendMouse(bar2, QEvent::MouseButtonRelease, CellPoint(bar2, 4, 5), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(sheet.Rank(row), QString("58"));
    }

    // A dropped stat code changes the row's stat bonus; a rank label click rebuilds the rank
    // from the bars.
    void StatCodeDropAndRankClick()
    {
        Sheet sheet;
        const int climb = 11;
        QVERIFY(sheet.model.WriteStatValue(3, "100").Ok()); // IG total 25
        QCOMPARE(sheet.Label("lblStatIDENT", climb), QString("AG"));
        DropText(sheet.Get<QLabel>("lblStatIDENT_11"), "IG");
        QCOMPARE(sheet.Label("lblStatIDENT", climb), QString("IG"));
        QCOMPARE(sheet.Label("lblStat", climb), QString("25"));
        QCOMPARE(sheet.Total(climb), QString("0"));
        DropText(sheet.Get<QLabel>("lblStatIDENT_11"), "  ");
        QCOMPARE(sheet.Label("lblStat", climb), QString("0"));
        QCOMPARE(sheet.Total(climb), QString("-25"));

        const int concussion = 6;
        QVERIFY(sheet.model.WriteSkillRank(concussion, "70").Ok());
        QCOMPARE(sheet.Rank(concussion), QString("70"));
        QCOMPARE(sheet.Total(concussion), QString("70"));
        auto* rank = sheet.Get<QLabel>("lblRank_6");
        Click(rank, Qt::RightButton);
        QCOMPARE(sheet.Rank(concussion), QString("70"));
        Click(rank);
        QCOMPARE(sheet.Rank(concussion), QString("-25"));

        QVERIFY(sheet.model.WriteSkillRank(concussion, "55").Ok());
        QVERIFY(!sheet.Bar2(concussion)->isHidden());
        QCOMPARE(sheet.Bar2(concussion)->Value(), 5.0f);
        Click(rank);
        QCOMPARE(sheet.Rank(concussion), QString("55"));
    }

    // A row's stat code is set without the mouse: a chip's two letters typed on the focused
    // code, a menu of the chips on Space, Delete for no stat; each as the chip's drop would.
    void StatCodeByKeyboard()
    {
        Sheet sheet;
        sheet.area.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&sheet.area));
        QVERIFY(sheet.model.WriteStatValue(3, "100").Ok()); // IG total 25
        const int secondary = 24;
        auto* code = sheet.Get<StatCodeLabel>("lblStatIDENT_24");
        QCOMPARE(code->accessibleName(), QStringLiteral("Secondary skill 1 stat code"));
        QCOMPARE(QAccessible::queryAccessibleInterface(code)->text(QAccessible::Name),
                 code->accessibleName());
        // Tab reaches it from the row's name, past the row's bars.
        sheet.Get<QLineEdit>("txtSecondary_24")->setFocus();
        for (int tab = 0; tab < 3 && QApplication::focusWidget() != code; ++tab)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), code);

        QTest::keyClicks(code, "ig");
        QCOMPARE(sheet.Label("lblStatIDENT", secondary), QString("IG"));
        QCOMPARE(sheet.Label("lblStat", secondary), QString("25"));
        QTest::keyClicks(code, "xqAG"); // letters that start no chip are dropped
        QCOMPARE(sheet.Label("lblStatIDENT", secondary), QString("AG"));
        QTest::keyClicks(code, "ap"); // no chip for AP
        QCOMPARE(sheet.Label("lblStatIDENT", secondary), QString("AG"));
        QTest::keyClick(code, Qt::Key_Delete);
        QCOMPARE(sheet.model.Record().Skills[secondary].StatCode, std::string("  "));
        QCOMPARE(sheet.Label("lblStat", secondary), QString("0"));

        QTest::keyClick(code, Qt::Key_Space);
        QMenu* menu = code->Menu();
        QVERIFY(menu && menu->isVisible());
        QStringList choices;
        for (QAction* action : menu->actions())
            choices << action->text();
        QCOMPARE(choices, QStringList({"ST", "AG", "CO", "IG", "IT", "PR", "No stat"}));
        menu->actions().at(3)->trigger();
        menu->close();
        QCOMPARE(sheet.Label("lblStatIDENT", secondary), QString("IG"));
        QCOMPARE(sheet.Label("lblStat", secondary), QString("25"));

        // The primary skills' codes change the same way, as a chip dropped on them does.
        auto* climb = sheet.Get<StatCodeLabel>("lblStatIDENT_11");
        climb->setFocus();
        QTest::keyClicks(climb, "IG");
        QCOMPARE(sheet.Label("lblStat", 11), QString("25"));
    }

    // A bonus box shows a sensible bonus whole; a longer one shows its start once left, and
    // whole in its tooltip. A comma is refused, and the box says why.
    void BonusBoxesShowTheirStartAndExplainRefusals()
    {
        Sheet sheet;
        sheet.area.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&sheet.area));
        for (const char* name : {"txtItem1_11", "txtItem2_11", "txtSpec1_11", "txtSpec2_11"}) {
            auto* box = sheet.Get<QLineEdit>(QLatin1String(name));
            box->setFocus();
            box->selectAll();
            QTest::keyClicks(box, "-100");
            QVERIFY2(ShowsWholeText(box), name);
        }
        auto* special = sheet.Get<QLineEdit>("txtSpec1_11");
        special->setFocus();
        special->selectAll();
        QTest::keyClicks(special, "-1000000");
        sheet.Get<QLineEdit>("txtSpec2_11")->setFocus();
        QCOMPARE(special->text(), QStringLiteral("-1000000"));
        QCOMPARE(special->cursorPosition(), 0);
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), special->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(special, &help);
        QVERIFY2(QToolTip::text().startsWith(u"-1000000"), qPrintable(QToolTip::text()));
        QToolTip::hideText();

        auto* item = sheet.Get<QLineEdit>("txtItem1_12");
        item->setFocus();
        item->selectAll();
        QTest::keyClicks(item, "1,5");
        QCOMPARE(item->text(), QStringLiteral("15"));
        QVERIFY2(QToolTip::text().contains(u"bonus") && QToolTip::text().contains(u"\",\""),
                 qPrintable(QToolTip::text()));
        QToolTip::hideText();
    }

    // Item and special boxes: non-numbers become "0" on leaving; locked and fixed boxes refuse typing.
    void BonusBoxes()
    {
        Sheet sheet;
        sheet.area.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&sheet.area));
        auto* item = sheet.Get<QLineEdit>("txtItem1_11");
        auto* other = sheet.Get<QLineEdit>("txtItem2_11");
        item->setFocus();
        item->selectAll();
        QTest::keyClicks(item, "7");
        QCOMPARE(sheet.Total(11), QString("-18"));
        item->selectAll();
        QTest::keyClicks(item, "abc");
        QCOMPARE(item->text(), QString("abc"));
        QCOMPARE(sheet.Total(11), QString("-25"));
        other->setFocus();
        QCOMPARE(item->text(), QString("0"));
        QCOMPARE(sheet.model.Record().Skills[11].Item1, std::string("0"));

        auto* perception = sheet.Get<QLineEdit>("txtItem1_22");
        QVERIFY(!perception->isReadOnly());
        QVERIFY(sheet.model.SetArmorPiece(ArmorPiece::Helm, CheckState::Checked).Ok());
        QVERIFY(perception->isReadOnly());
        QCOMPARE(perception->text(), QString("-5"));
        perception->setFocus();
        QTest::keyClicks(perception, "3");
        QCOMPARE(perception->text(), QString("-5"));
        QVERIFY(sheet.model.SetArmorPiece(ArmorPiece::Helm, CheckState::Clear).Ok());
        QVERIFY(!perception->isReadOnly());
        QCOMPARE(perception->text(), QString("0"));

        for (int row = 0; row < kSkillCount; ++row) {
            const bool fixed = row < 5 || row == 23;
            QCOMPARE(sheet.Get<QLineEdit>(QStringLiteral("txtSpec2_%1").arg(row))->isReadOnly(), fixed);
        }
        QCOMPARE(sheet.Get<QLineEdit>("txtSpec2_1")->text(), QString("-15"));
    }

    // Every row's cells stand under their column's heading, rows do not overlap, captions
    // and values are not clipped, and the grid fits its height.
    void LayoutLinesUp()
    {
        Sheet sheet;
        QCOMPARE(sheet.area.height(), TwipsToPx(8400, &sheet.area));
        const char* columns[] = {"lblRank",  "lblStatIDENT", "lblStat",  "lblProf",      "txtItem1",
                                 "txtItem2", "txtSpec1",     "txtSpec2", "lblSkillTotal"};
        const int headingOf[] = {0, 1, 1, 2, 3, 4, 5, 6, 7};
        const QFontMetrics metrics(sheet.Get<QLabel>("lblRank_0")->font());
        int previousBottom = 0;
        for (int row = 0; row < kSkillCount; ++row) {
            int rowTop = sheet.area.height();
            int rowBottom = 0;
            for (int c = 0; c < 9; ++c) {
                auto* cell = sheet.Get<QWidget>(QStringLiteral("%1_%2").arg(columns[c]).arg(row));
                const QRect at = cell->geometry();
                const QRect heading =
                    sheet.Get<QLabel>(QStringLiteral("lblHeading_%1").arg(headingOf[c]))->geometry();
                QVERIFY(heading.left() <= at.left() && at.right() <= heading.right());
                const QString widest = c == 1 ? "AG" : (c == 8 ? "-122.5" : "-100");
                QVERIFY2(QFontMetrics(cell->font()).horizontalAdvance(widest) <=
                             at.width() - (c >= 4 && c <= 7 ? 4 : 0),
                         qPrintable(cell->objectName()));
                rowTop = std::min(rowTop, at.top());
                rowBottom = std::max(rowBottom, at.bottom());
            }
            QVERIFY2(rowTop >= previousBottom, qPrintable(QStringLiteral("row %1 overlaps").arg(row)));
            previousBottom = rowBottom;

            const QString nameControl =
                row >= 24 && row <= 28 ? "txtSecondary" : (row < 29 ? "lbldesc" : "Label1");
            auto* name = sheet.Get<QWidget>(QStringLiteral("%1_%2").arg(nameControl).arg(row));
            if (auto* caption = qobject_cast<QLabel*>(name))
                QVERIFY2(metrics.horizontalAdvance(caption->text()) <= caption->width(),
                         qPrintable(caption->text()));
            if (row < kBarRowCount) {
                const QRect bar5 = sheet.Bar5(row)->geometry();
                const QRect bar2 = sheet.Bar2(row)->geometry();
                QVERIFY(name->geometry().right() < bar5.left());
                QVERIFY(bar5.right() < bar2.left());
                QVERIFY(bar2.right() < sheet.Get<QWidget>(QStringLiteral("lblRank_%1").arg(row))->x());
            }
        }
        QVERIFY(previousBottom < sheet.area.height());
    }
};

QTEST_MAIN(SkillGridAreaTest)
#include "SkillGridAreaTest.moc"
