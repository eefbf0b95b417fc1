// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellFixture.h"
#include "app/ToolbarWindow.h"
#include "inventory/window/InventoryWindow.h"
#include "sheet/SheetView.h"
#include "ui/Twips.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>

#include <csignal>
#include <sys/stat.h>

using namespace keld;
using namespace keld::test;

namespace {

QString Twips(int px, const QWidget* widget)
{
    return QString::fromStdString(CoordinateText(static_cast<float>(PxToTwips(px, widget))));
}

} // namespace

class StartupExitTest : public QObject {
    Q_OBJECT
private slots:
    void FirstStartUsesTheDefaults()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        QVERIFY(MessageBox::TakeShown().isEmpty());

        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        MainWindow* sheet = app->Sheet();
        QVERIFY(sheet->isVisible());
        QCOMPARE(sheet->frameGeometry().topLeft(), QPoint(0, 0));
        QVERIFY(qAbs(sheet->frameGeometry().height() - screen.height()) <= 1);
        // Start-up clears the character, name included, and the caption follows the name.
        QCOMPARE(sheet->windowTitle(), QStringLiteral("  -  KELD Character Sheet"));

        InventoryWindow* inventory = app->Inventory();
        QVERIFY(inventory->isVisible());
        QVERIFY(qAbs(inventory->frameGeometry().right() - screen.right()) <= 2);
        QVERIFY(qAbs(inventory->frameGeometry().bottom() - screen.bottom()) <= 2);
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(inventory->frameGeometry()));

        QVERIFY(!sheet->Toolbar() || !sheet->Toolbar()->isVisible());
        QVERIFY(!Item(*app, "mnuToolbar")->isChecked());
        QVERIFY(Item(*app, "mnuStatsOver")->isChecked());
        QVERIFY(app->Model().Over102());

        // The three lists hold the blank entry and every line of the shipped tables.
        QVERIFY(app->Model().RaceList().size() > 1);
        QVERIFY(app->Model().ProfessionList().size() > 1);
        QVERIFY(app->Model().YouthList().size() > 1);
        QCOMPARE(app->Model().Record().RaceIndex, 0);
        QCOMPARE(app->Model().Record().YouthIndex, 0);
        QCOMPARE(app->DetailTemplatePath(), fixture.DataFile("detchar.rtf"));
        QCOMPARE(app->SummaryTemplatePath(), fixture.DataFile("subchar.rtf"));
        QVERIFY(!fixture.IniExists());
    }

    // Exit stores every key in order; the next start puts everything back; the dice roller's
    // place is stored only once it has been opened; the close box exits as well.
    void ExitStoresTheSettingsAndTheNextStartRestoresThem()
    {
        ShellFixture fixture;
        {
            auto app = fixture.MakeApp();
            QVERIFY(app->Start());
            app->Sheet()->resize(app->Sheet()->width(), 400);
            app->Sheet()->move(200, 40);
            Item(*app, "mnuToolbar")->trigger();
            Item(*app, "mnuStatsOver")->trigger();
            QVERIFY(!app->Model().Over102());
            Item(*app, "mnuExit")->trigger();

            QCOMPARE(fixture.EndedCount(), 1);
            QVERIFY(app->Ended());
            QVERIFY(!app->Sheet()->isVisible());
            QVERIFY(!app->Inventory()->isVisible());
            QVERIFY(!app->Sheet()->Toolbar()->isVisible());
            const QStringList keys = {"SCREEN/FORM4TOP",  "SCREEN/FORM4LEFT", "SCREEN/FORM2HEIGHT",
                                      "SCREEN/FORM2TOP",  "SCREEN/FORM2LEFT", "TOOLBAR/CHECKED",
                                      "OPTIONS/STATSOVER"};
            QCOMPARE(fixture.IniKeys(), keys);
            QCOMPARE(fixture.IniValue("SCREEN/FORM2TOP"), Twips(40, app->Sheet()));
            QCOMPARE(fixture.IniValue("SCREEN/FORM2LEFT"), Twips(200, app->Sheet()));
            QCOMPARE(fixture.IniValue("SCREEN/FORM2HEIGHT"),
                     Twips(app->Sheet()->frameGeometry().height(), app->Sheet()));
            QCOMPARE(fixture.IniValue("TOOLBAR/CHECKED"), QStringLiteral("True"));
            QCOMPARE(fixture.IniValue("OPTIONS/STATSOVER"), QStringLiteral("False"));

            // A second Exit finds the program ended.
            Item(*app, "mnuExit")->trigger();
            QCOMPARE(fixture.EndedCount(), 1);
        }
        {
            auto app = fixture.MakeApp();
            QVERIFY(app->Start());
            QCOMPARE(app->Sheet()->pos(), QPoint(200, 40));
            QVERIFY(app->Sheet()->Toolbar() && app->Sheet()->Toolbar()->isVisible());
            QVERIFY(Item(*app, "mnuToolbar")->isChecked());
            QVERIFY(!Item(*app, "mnuStatsOver")->isChecked());
            QVERIFY(!app->Model().Over102());
            Item(*app, "mnuStatsOver")->trigger();
            QVERIFY(Item(*app, "mnuStatsOver")->isChecked());
            QVERIFY(app->Model().Over102());

            Item(*app, "mnuViewDice")->trigger();
            QVERIFY(app->Sheet()->Dice()->isVisible());
            app->Sheet()->close();
            QCOMPARE(fixture.EndedCount(), 2);
            QVERIFY(!app->Sheet()->Dice()->isVisible());
            QVERIFY(fixture.IniKeys().contains("SCREEN/FORM1TOP"));
            QVERIFY(fixture.IniKeys().contains("SCREEN/FORM1LEFT"));
            QCOMPARE(fixture.IniValue("OPTIONS/STATSOVER"), QStringLiteral("True"));
        }
    }

    // A place on no screen at all opens at the default place; a partly visible one is moved
    // wholly onto the screen.
    void StoredPlaceOffEveryScreen()
    {
        ShellFixture fixture;
        QVERIFY(fixture.StoreSetting("SCREEN", "FORM2LEFT", "-3000000"));
        QVERIFY(fixture.StoreSetting("SCREEN", "FORM2TOP", "600"));
        QVERIFY(fixture.StoreSetting("SCREEN", "FORM2HEIGHT", "6000"));
        {
            auto shell = fixture.MakeApp();
            QVERIFY(shell->Start());
            QCOMPARE(shell->Sheet()->pos(), QPoint(0, 0));
            QCOMPARE(shell->Sheet()->frameGeometry().height(), TwipsToPx(6000, shell->Sheet()));
        }
        QVERIFY(fixture.StoreSetting("SCREEN", "FORM2LEFT", "-1500"));
        QVERIFY(fixture.StoreSetting("SCREEN", "FORM2TOP", "-3000"));
        auto shell = fixture.MakeApp();
        QVERIFY(shell->Start());
        QCOMPARE(shell->Sheet()->pos(), QPoint(0, 0));
    }

    void StoredHeightOutOfReason_data()
    {
        QTest::addColumn<QString>("height");
        QTest::newRow("zero") << "0";
        QTest::newRow("negative") << "-4000";
        QTest::newRow("huge") << "1e30";
        QTest::newRow("largest") << "3.4e38";
    }

    // Every window opens wholly on the available part of its screen, at least at its minimum
    // size; the corrected height is what exit stores, and the toolbar of a sheet that fills the
    // screen stays on it, as does a dice roller stored at the screen's far edge.
    void StoredHeightOutOfReason()
    {
        QFETCH(QString, height);
        ShellFixture fixture;
        const std::string name = ApplicationName();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(fixture.StoreSetting("SCREEN", "FORM2HEIGHT", height.toStdString()));
        QVERIFY(fixture.StoreSetting("SCREEN", "FORM2TOP", "600"));
        QVERIFY(fixture.StoreSetting("SCREEN", "FORM1LEFT",
                                     std::to_string(int(PxToTwips(area.right() - 20, nullptr)))));
        QVERIFY(fixture.StoreSetting("SCREEN", "FORM1TOP",
                                     std::to_string(int(PxToTwips(area.bottom() - 20, nullptr)))));
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        QVERIFY(MessageBox::TakeShown().isEmpty());
        MainWindow* sheet = app->Sheet();
        QVERIFY2(area.contains(sheet->frameGeometry()),
                 qPrintable(QString::number(sheet->frameGeometry().bottom())));
        QVERIFY(sheet->height() >= sheet->minimumHeight());
        QVERIFY(sheet->View()->height() >= TwipsToPx(SheetView::kMinimumHeightTwips, sheet) - 1);
        QVERIFY(area.contains(app->Inventory()->frameGeometry()));

        Item(*app, "mnuViewDice")->trigger();
        QVERIFY(area.contains(sheet->Dice()->frameGeometry()));

        sheet->SaveSettings();
        const auto stored = app->Settings().GetCoordinate(name, "SCREEN", "FORM2HEIGHT", 0);
        QVERIFY(stored);
        QCOMPARE(*stored, static_cast<float>(PxToTwips(sheet->frameGeometry().height(), sheet)));

        // The sheet's frame fills the screen, as when maximised.
        const QRect frame = sheet->frameGeometry();
        const QRect inner = sheet->geometry();
        sheet->setGeometry(area.adjusted(inner.left() - frame.left(), inner.top() - frame.top(),
                                         inner.right() - frame.right(), inner.bottom() - frame.bottom()));
        QCOMPARE(sheet->frameGeometry(), area);
        Item(*app, "mnuToolbar")->trigger();
        QVERIFY(sheet->Toolbar()->isVisible());
        sheet->Toolbar()->Dock();
        QVERIFY(area.contains(sheet->Toolbar()->frameGeometry()));
    }

    void MissingRulesFile()
    {
        ShellFixture fixture;
        const QString race = fixture.DataFile("racemod.txt");
        QVERIFY(QFile::rename(race, race + ".away"));
        {
            MessageBox::SetNextAnswer(QMessageBox::Abort);
            auto app = fixture.MakeApp();
            QVERIFY(!app->Start());
            const QStringList shown = MessageBox::TakeShown();
            QCOMPARE(shown.size(), 1);
            QVERIFY(shown[0].startsWith("Error\n53 File not found has occurred in KELDCharGen\n"));
            QVERIFY(shown[0].contains("racemod.txt"));
            QVERIFY(!app->Sheet()->isVisible());
            app->Exit();
            QCOMPARE(fixture.EndedCount(), 0);
            QVERIFY(!fixture.IniExists());
        }
        {
            // Ignore goes on with the other tables; the race list holds its blank entry only.
            MessageBox::SetNextAnswer(QMessageBox::Ignore);
            auto app = fixture.MakeApp();
            QVERIFY(app->Start());
            QCOMPARE(MessageBox::TakeShown().size(), 1);
            QVERIFY(app->Sheet()->isVisible());
            QCOMPARE(app->Model().RaceList().size(), std::size_t(1));
            QVERIFY(app->Model().ProfessionList().size() > 1);
            QVERIFY(app->Model().YouthList().size() > 1);
        }
        {
            // Retry runs the sheet's opening again, which finds the file back in place.
            MessageBox::SetNextAnswer(QMessageBox::Retry);
            auto app = fixture.MakeApp();
            QObject::connect(app.get(), &KeldApplication::startupErrorRaised, app.get(),
                             [&] { QFile::rename(race + ".away", race); });
            QVERIFY(app->Start());
            QCOMPARE(MessageBox::TakeShown().size(), 1);
            QVERIFY(app->Model().RaceList().size() > 1);
            QVERIFY(app->Model().YouthList().size() > 1);
        }
    }

    void MalformedRulesLine()
    {
        ShellFixture fixture;
        fixture.WriteDataFile("profmod.txt",
                              "; professions\r\nFighter,1,2,3,4,5,6,7,8,9,10\r\nRogue,1,2\r\n");
        MessageBox::SetNextAnswer(QMessageBox::Ignore);
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        const QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY(
            shown[0].startsWith("Error\n5 Invalid procedure call or argument has occurred in KELDCharGen\n"));
        QVERIFY2(shown[0].contains("profmod.txt:3"), qPrintable(shown[0]));
        QVERIFY(app->Model().RaceList().size() > 1);
        // The lines up to the bad one stand, and the bad one as far as it was read (its name);
        // the youth table after it is read.
        QCOMPARE(app->Model().ProfessionList(), (std::vector<std::string>{"", "Fighter", "Rogue"}));
        QVERIFY(app->Model().YouthList().size() > 1);
    }

    void StoredTextThatIsNoNumber_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::newRow("height") << "SCREEN"
                                << "FORM2HEIGHT";
        QTest::newRow("top") << "SCREEN"
                             << "FORM2TOP";
        QTest::newRow("left") << "screen"
                              << "form2left";
        QTest::newRow("toolbar") << "TOOLBAR"
                                 << "CHECKED";
        QTest::newRow("option") << "OPTIONS"
                                << "STATSOVER";
    }

    void StoredTextThatIsNoNumber()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        ShellFixture fixture;
        QVERIFY(fixture.StoreSetting(section.toStdString(), key.toStdString(), "abc"));
        MessageBox::SetNextAnswer(QMessageBox::Ignore);
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        const QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].startsWith("Error\n13 Type mismatch has occurred in KELDCharGen\n"));
        // Every other step of the opening ran: the character is cleared and the lists filled.
        QVERIFY(app->Sheet()->isVisible());
        QVERIFY(app->Model().RaceList().size() > 1);
        QVERIFY(app->Model().ProfessionList().size() > 1);
        QVERIFY(app->Model().YouthList().size() > 1);
        QCOMPARE(app->Model().Record().Skills[0].Rank, std::string("-25"));
        QCOMPARE(app->Model().Record().Note(NoteKind::Background), std::string("Background -"));
        QCOMPARE(app->Sheet()->windowTitle(), QStringLiteral("  -  KELD Character Sheet"));
        // The windows fit the screen, frames included, with the value that could not be read
        // replaced by its default.
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(area.contains(app->Sheet()->frameGeometry()),
                 qPrintable(QString::number(app->Sheet()->frameGeometry().bottom())));
        QVERIFY(area.contains(app->Inventory()->frameGeometry()));
        // The toolbar is not shown, and its item says so.
        QVERIFY(!app->Sheet()->Toolbar() || !app->Sheet()->Toolbar()->isVisible());
        QVERIFY(!Item(*app, "mnuToolbar")->isChecked());

        // Exit writes no flag it could not read and the user left alone, and no place as it was.
        app->Exit();
        const std::string stored =
            fixture.Store().GetSetting(ApplicationName(), section.toStdString(), key.toStdString(), "");
        if (section.toUpper() == u"SCREEN")
            QVERIFY(stored != "abc" && !stored.empty());
        else
            QCOMPARE(stored, std::string("abc"));
    }

    // A store that cannot be used is renamed aside and the user told once, in the start-up box;
    // Ignore goes on with the defaults and the exit writes a fresh store beside the old one.
    void UnusableStoreIsSetAsideAndToldOnce()
    {
        ShellFixture fixture;
        QVERIFY(QDir().mkpath(QFileInfo(fixture.IniPath()).path()));
        QVERIFY(::mkfifo(QFile::encodeName(fixture.IniPath()).constData(), 0600) == 0);
        MessageBox::SetNextAnswer(QMessageBox::Ignore);
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        const QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith("Error\n75 ") && shown[0].contains("is not a regular file") &&
                     shown[0].contains(".ini.broken"),
                 qPrintable(shown[0]));
        QVERIFY(app->Sheet()->isVisible());
        QVERIFY(Item(*app, "mnuStatsOver")->isChecked());
        app->Exit();
        QVERIFY(fixture.IniKeys().contains("SCREEN/FORM2HEIGHT"));
        QVERIFY(QFileInfo(fixture.IniPath() + ".broken").exists());
        QVERIFY(!QFileInfo(fixture.IniPath() + ".broken").isFile());
    }

    void TerminationSignalRunsTheExit()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        std::raise(SIGTERM);
        QTRY_COMPARE(fixture.EndedCount(), 1);
        QVERIFY(fixture.IniKeys().contains("SCREEN/FORM2HEIGHT"));
        QCOMPARE(fixture.IniValue("OPTIONS/STATSOVER"), QStringLiteral("True"));
    }
};

QTEST_MAIN(StartupExitTest)
#include "StartupExitTest.moc"
