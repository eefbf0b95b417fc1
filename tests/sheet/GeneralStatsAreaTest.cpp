// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/GeneralStatsArea.h"
#include "SheetFixture.h"
#include "common/NumericValue.h"
#include "sheet/PanelComboBox.h"
#include "sheet/StatChip.h"
#include "sheet/ValueLabel.h"
#include "ui/BoxText.h"
#include "ui/Twips.h"

#include <QAccessible>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

#include <memory>

using namespace keld;
using namespace keld::test;

namespace {

// The area over a model built as start-up builds it: cleared first, the shipped tables filled in
// afterwards, so the lists fill through change notices.
struct Sheet : SheetParts {
    GeneralStatsArea area{binding};

    Sheet()
    {
        model.ClearCharacter();
        binding.RefreshAll();
        LoadTables();
        model.FillLists(&tables);
        area.resize(TwipsToPx(7935, &area), area.height());
    }

    template <typename T> T* Get(const QString& name) { return FindControl<T>(&area, name); }
    QString Label(const QString& name) { return Get<QLabel>(name)->text(); }
};

// Replaces a box's text as a user would: select all, then type.
void Type(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

void DropText(QWidget* target, const QString& text)
{
    QMimeData data;
    data.setText(text);
    Drop(target, data);
}

} // namespace

class GeneralStatsAreaTest : public QObject {
    Q_OBJECT
private slots:
    // Typed and dropped values reach the bonus labels; chips carry their caption verbatim.
    void StatValuesTypedAndDropped()
    {
        Sheet sheet;
        auto* strength = sheet.Get<QLineEdit>("txtSTAT_0");
        Type(strength, "95");
        QCOMPARE(sheet.model.Record().Stats[0].Value, std::string("95"));
        QCOMPARE(sheet.Label("lblNorm_0"), QString("15"));
        QCOMPARE(sheet.Label("lblStatTotal_0"), QString("15"));

        auto* agility = sheet.Get<QLineEdit>("txtSTAT_1");
        DropText(agility, "00");
        QCOMPARE(agility->text(), QString("100"));
        QCOMPARE(sheet.Label("lblNorm_1"), QString("25"));

        const auto chip = sheet.Get<StatChip>("lblStatDrag_5")->DragData();
        QCOMPARE(chip->text(), QString("PR"));
        Drop(agility, *chip);
        QCOMPARE(agility->text(), QString("0"));
        QCOMPARE(sheet.Label("lblNorm_1"), QString("00"));

        // The blank chip removes a row's stat only if its two blanks survive the drag.
        QCOMPARE(sheet.Get<StatChip>("lblStatDrag_6")->DragData()->text(), QString("  "));
    }

    // The lists show the tables with the blank entry first, follow the model and call it back.
    void ListsFollowTheTables()
    {
        Sheet sheet;
        auto* race = sheet.Get<QComboBox>("lstRace");
        auto* youth = sheet.Get<QComboBox>("lstYouth");
        auto* profession = sheet.Get<QComboBox>("lstProf");
        QCOMPARE(race->count(), static_cast<int>(sheet.tables.Races.size()));
        QCOMPARE(youth->count(), static_cast<int>(sheet.tables.Youth.size()));
        QCOMPARE(profession->count(), static_cast<int>(sheet.tables.Professions.size()));
        for (QComboBox* list : {race, youth, profession}) {
            QVERIFY(list->count() > 2);
            QCOMPARE(list->itemText(0), QString());
            QCOMPARE(list->currentIndex(), 0);
            QVERIFY(!list->isEditable());
        }
        QCOMPARE(race->itemText(1), ToQt(sheet.tables.Races[1].Name));

        Type(sheet.Get<QLineEdit>("txtSTAT_0"), "90");
        race->setCurrentIndex(2);
        QCOMPARE(sheet.model.Record().RaceIndex, 2);
        const auto& bonuses = sheet.tables.Races[2].Values;
        for (int i = 0; i < 6; ++i)
            QCOMPARE(sheet.Label(QStringLiteral("lblRace_%1").arg(i)), ToQt(NumberText(bonuses[i])));
        QCOMPARE(sheet.Label("lblStatTotal_0"), ToQt(NumberText(10 + bonuses[0])));

        youth->setCurrentIndex(1);
        QCOMPARE(sheet.model.Record().YouthIndex, 1);
        profession->setCurrentIndex(3);
        QCOMPARE(sheet.model.Record().ProfessionIndex, 3);

        // Scrolling the sheet over a list must not change the race.
        QWheelEvent wheel(QPointF(5, 5), race->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(race, &wheel);
        QCOMPARE(race->currentIndex(), 2);

        sheet.model.ClearCharacter();
        QCOMPARE(race->currentIndex(), 0);
        QCOMPARE(sheet.Label("lblRace_0"), QString("0"));

        // Refilled lists take the new entries.
        RulesTables fewer;
        fewer.Races.push_back({"Only", {}});
        sheet.model.FillLists(&fewer);
        QCOMPARE(race->count(), 2);
        QCOMPARE(race->itemText(1), QString("Only"));
        QCOMPARE(youth->count(), 1);
    }

    // Level box, spinner, experience and realm each call through and show what the model holds.
    void LevelExperienceAndRealm()
    {
        QWidget window; // outlives the area it shows
        Sheet sheet;
        sheet.area.setParent(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        auto* level = sheet.Get<QLineEdit>("txtLevel");
        auto* experience = sheet.Get<QLineEdit>("txtEXP");
        level->setFocus();
        Type(level, "abc");
        QCOMPARE(level->text(), QString("abc"));
        experience->setFocus();
        QCOMPARE(level->text(), QString("0"));

        auto* up = sheet.Get<QToolButton>("spnLevelUp");
        auto* down = sheet.Get<QToolButton>("spnLevelDown");
        QTest::mouseClick(down, Qt::LeftButton);
        QCOMPARE(sheet.model.LevelSpin(), 0);
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(level->text(), QString("1"));
        QCOMPARE(experience->text(), QString("10000"));
        auto* spinner = sheet.Get<QWidget>("spnLevel");
        spinner->setFocus();
        QTest::keyClick(spinner, Qt::Key_Up);
        QTest::keyClick(spinner, Qt::Key_Up);
        QCOMPARE(level->text(), QString("3"));
        QCOMPARE(experience->text(), QString("30000"));

        Type(experience, "55000");
        QCOMPARE(level->text(), QString("5"));

        Type(sheet.Get<QLineEdit>("txtSTAT_3"), "95");
        QCOMPARE(sheet.Label("lblPP"), QString("10"));
        auto* essence = sheet.Get<QRadioButton>("Option1_0");
        auto* channeling = sheet.Get<QRadioButton>("Option1_1");
        QVERIFY(essence->isChecked());
        QTest::mouseClick(channeling, Qt::LeftButton);
        QCOMPARE(sheet.model.Record().Realm, MagicRealm::Channeling);
        QCOMPARE(sheet.Label("lblPP"), QString("00"));
        QVERIFY(sheet.model.SetRealm(MagicRealm::Essence).Ok());
        QVERIFY(essence->isChecked());
        QVERIFY(!channeling->isChecked());
        QCOMPARE(sheet.Label("lblPP"), QString("10"));
    }

    // The area keeps to its strip of the panel: nothing is cut off at its edges.
    // A name or number wider than its control shows cut with an ellipsis, never as a shorter
    // text of its own, and the tooltip gives it whole.
    void LongNamesAndNumbersShowWholeInTheirTooltip()
    {
        Sheet sheet;
        sheet.area.show();
        int elided = 0;
        for (const char* name : {"lstRace", "lstYouth", "lstProf"}) {
            auto* list = sheet.Get<PanelComboBox>(QLatin1String(name));
            for (int i = 0; i < list->count(); ++i) {
                list->setCurrentIndex(i);
                if (!list->IsElided())
                    continue;
                ++elided;
                QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), list->mapToGlobal(QPoint(5, 5)));
                QCoreApplication::sendEvent(list, &help);
                QVERIFY(QToolTip::text().startsWith(list->currentText()));
            }
        }
        qInfo("%d names cut", elided);
        QVERIFY(elided > 0);

        Type(sheet.Get<QLineEdit>("txtSTAT_0"), "99999");
        auto* norm = sheet.Get<ValueLabel>("lblNorm_0");
        QCOMPARE(norm->text(), QStringLiteral("499520"));
        QVERIFY(norm->IsElided());
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), norm->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(norm, &help);
        QVERIFY2(QToolTip::text().startsWith(u"499520"), qPrintable(QToolTip::text()));
        Type(sheet.Get<QLineEdit>("txtSTAT_0"), "50");
        QVERIFY(!norm->IsElided());
    }

    // The number boxes are wide enough for their longest sensible values; a longer text shows
    // its start when the box is left, and whole in the tooltip.
    void NumberBoxesShowTheirValuesFromTheStart()
    {
        Sheet sheet;
        sheet.area.show();
        sheet.area.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&sheet.area));
        auto* strength = sheet.Get<QLineEdit>("txtSTAT_0");
        auto* experience = sheet.Get<QLineEdit>("txtEXP");
        auto* level = sheet.Get<QLineEdit>("txtLevel");
        const struct {
            QLineEdit* box;
            const char* value;
        } fits[] = {{strength, "102.5"}, {strength, "-100"}, {experience, "1000000"}, {level, "100"}};
        for (const auto& fit : fits) {
            fit.box->setFocus();
            Type(fit.box, QString::fromLatin1(fit.value));
            QVERIFY2(ShowsWholeText(fit.box), fit.value);
        }

        // Too long for any box: left, it shows its start; its tooltip gives it whole.
        strength->setFocus();
        Type(strength, "-1000.125");
        sheet.Get<QLineEdit>("txtSTAT_1")->setFocus();
        QVERIFY(!ShowsWholeText(strength));
        QCOMPARE(strength->cursorPosition(), 0);
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), strength->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(strength, &help);
        QVERIFY2(QToolTip::text().startsWith(u"-1000.125\n"), qPrintable(QToolTip::text()));
        // Written by the program (a loaded file), it shows its start as well.
        QVERIFY(sheet.model.EditText(FieldId::StatValue, 2, "1000000.5").Ok());
        QCOMPARE(sheet.Get<QLineEdit>("txtSTAT_2")->cursorPosition(), 0);
    }

    // "/" cannot stand in a height or a hair colour; the box drops it and says why, at the box,
    // the first time. Lines pasted into a one-line box stay apart.
    void RefusedCharactersAreExplained()
    {
        Sheet sheet;
        sheet.area.show();
        sheet.area.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&sheet.area));
        auto* hair = sheet.Get<QLineEdit>("txtGeneral_3");
        auto* height = sheet.Get<QLineEdit>("txtGeneral_1");
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        hair->setFocus();
        Type(hair, "Brown/Red");
        QCOMPARE(hair->text(), QStringLiteral("BrownRed"));
        QCOMPARE(sheet.model.Text(FieldId::General, 3), std::string("BrownRed"));
        QVERIFY2(QToolTip::isVisible() && QToolTip::text().contains(u"hair colour") &&
                     QToolTip::text().contains(u"\"/\""),
                 qPrintable(QToolTip::text()));
        // The pointer resting on the box shows the note again while it is fresh.
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), hair->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(hair, &help);
        QVERIFY2(QToolTip::isVisible() && QToolTip::text().contains(u"hair colour"),
                 qPrintable(QToolTip::text()));
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        QTest::keyClicks(hair, "/");
        QVERIFY(!QToolTip::isVisible()); // said once per box

        QGuiApplication::clipboard()->setText(QStringLiteral("6'/190"));
        height->setFocus();
        height->selectAll();
        QTest::keySequence(height, QKeySequence::Paste);
        QCOMPARE(height->text(), QStringLiteral("6'190"));
        QVERIFY2(QToolTip::text().contains(u"height"), qPrintable(QToolTip::text()));

        auto* name = sheet.Get<QLineEdit>("txtGeneral_0");
        QGuiApplication::clipboard()->setText(QStringLiteral("Line1\nLine2\r\nLine3\n\nLine4"));
        name->setFocus();
        name->selectAll();
        QTest::keySequence(name, QKeySequence::Paste);
        QCOMPARE(name->text(), QStringLiteral("Line1 Line2 Line3 Line4"));
        QCOMPARE(sheet.model.Text(FieldId::General, 0), std::string("Line1 Line2 Line3 Line4"));
        QToolTip::hideText();
    }

    // A screen reader speaks each bonus by its stat and column, and its value.
    void BonusLabelsSayWhatTheyAre()
    {
        Sheet sheet;
        sheet.area.show();
        Type(sheet.Get<QLineEdit>("txtSTAT_0"), "95");
        const struct {
            const char* label;
            const char* name;
        } spoken[] = {{"lblNorm_0", "ST normal bonus"},
                      {"lblRace_3", "IG race bonus"},
                      {"lblStatTotal_0", "ST total bonus"},
                      {"lblPP", "Power points"}};
        for (const auto& expected : spoken) {
            auto* label = sheet.Get<QLabel>(QLatin1String(expected.label));
            QAccessibleInterface* spokenLabel = QAccessible::queryAccessibleInterface(label);
            QVERIFY(spokenLabel);
            QCOMPARE(spokenLabel->text(QAccessible::Name), QString::fromLatin1(expected.name));
            QCOMPARE(spokenLabel->text(QAccessible::Value), label->text());
        }
        QCOMPARE(
            QAccessible::queryAccessibleInterface(sheet.Get<QLabel>("lblNorm_0"))->text(QAccessible::Value),
            QStringLiteral("15"));
    }

    void FitsItsStrip()
    {
        Sheet sheet;
        sheet.area.show();
        QCOMPARE(sheet.area.height(), TwipsToPx(2700, &sheet.area));
        const QRect bounds = sheet.area.rect();
        const QString header = sheet.Label("lblStatHeader");
        QCOMPARE(header, QString("Value  Norm  Race  Total"));
        for (QWidget* child : sheet.area.findChildren<QWidget*>()) {
            if (!child->isVisibleTo(&sheet.area) || child->isWindow())
                continue;
            const QRect box(child->mapTo(&sheet.area, QPoint(0, 0)), child->size());
            QVERIFY2(bounds.contains(box), qPrintable(child->objectName()));
        }
        // Each bonus column stands under its word of the header.
        auto* headerLabel = sheet.Get<QLabel>("lblStatHeader");
        const int headerLeft = headerLabel->mapTo(&sheet.area, QPoint(0, 0)).x();
        const QFontMetrics metrics(headerLabel->font());
        const int raceLeft = sheet.Get<QLabel>("lblRace_0")->mapTo(&sheet.area, QPoint(0, 0)).x();
        const int raceWord = headerLeft + headerLabel->indent() +
                             metrics.horizontalAdvance(header.left(header.indexOf("Race")));
        QVERIFY(qAbs(raceLeft - raceWord) <= 3);
        // The stat cells keep their gaps, and the wider value boxes take no room from the
        // header: its last word shows whole.
        for (const auto& [left, right] :
             {std::pair("txtSTAT_0", "lblNorm_0"), std::pair("lblNorm_0", "lblRace_0"),
              std::pair("lblRace_0", "lblStatTotal_0")}) {
            const QWidget* a = sheet.Get<QWidget>(QLatin1String(left));
            const QWidget* b = sheet.Get<QWidget>(QLatin1String(right));
            QVERIFY2(b->mapTo(&sheet.area, QPoint(0, 0)).x() >
                         a->mapTo(&sheet.area, QPoint(a->width(), 0)).x(),
                     left);
        }
        QVERIFY(headerLabel->width() >= headerLabel->indent() + metrics.horizontalAdvance(header));
    }
};

QTEST_MAIN(GeneralStatsAreaTest)
#include "GeneralStatsAreaTest.moc"
