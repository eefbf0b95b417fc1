// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellFixture.h"
#include "app/AboutBox.h"
#include "app/ToolbarWindow.h"
#include "charfile/CharacterFileWriter.h"
#include "dice/window/DiceWindow.h"
#include "inventory/window/InventoryWindow.h"
#include "sheet/SheetView.h"
#include "ui/BusyGuard.h"
#include "ui/FileDialog.h"

#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QToolBar>
#include <QToolButton>
#include <qpa/qwindowsysteminterface.h>

#include <tuple>
#include <unistd.h>

using namespace keld;
using namespace keld::test;

namespace {

std::vector<std::string> Lines(const SheetModel& model)
{
    return CharacterFileLines(model);
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Qt's test helpers hand input over at once. A click that waits in the window system's queue,
// as a real one does while a loop runs, goes through Qt's platform interface.
void QueueClick(QWidget* widget)
{
    QWindow* window = widget->window()->windowHandle();
    const QPoint centre = widget->rect().center();
    const QPointF local = widget->mapTo(widget->window(), centre);
    const QPointF global = widget->mapToGlobal(centre);
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress, Qt::NoModifier,
        Qt::MouseEventNotSynthesized);
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease, Qt::NoModifier,
        Qt::MouseEventNotSynthesized);
}

} // namespace

class SheetCommandsTest : public QObject {
    Q_OBJECT
private slots:
    // The spacer does nothing; the option toggles without recomputing.
    void SpacerAndOptionItems()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        const auto before = Lines(app->Model());
        Item(*app, "mnuSpacer")->trigger();
        Item(*app, "mnuStatsOver")->trigger();
        QVERIFY(!app->Model().Over102());
        QVERIFY(!Item(*app, "mnuStatsOver")->isChecked());
        QCOMPARE(Lines(app->Model()), before);
        QVERIFY(MessageBox::TakeShown().isEmpty());
    }

    // Every button runs its menu item; the separators are no buttons.
    void ToolbarButtonsRunTheMenuCommands()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        Item(*app, "mnuToolbar")->trigger();
        ToolbarWindow* toolbar = app->Sheet()->Toolbar();
        QVERIFY(toolbar && toolbar->isVisible());
        QCOMPARE(toolbar->Toolbar()->actions().size(), 11);

        const QList<std::tuple<int, const char*, const char*>> buttons = {
            {1, "New Character", "mnuNew"},   {2, "Open Character", "mnuLoad"},
            {3, "Save Character", "mnuSave"}, {5, "Detailed Print", "mnuDetail"},
            {7, "Show Dice", "mnuViewDice"},  {8, "Show History", "mnuViewInventory"},
            {10, "About", "mnuAbout"},
        };
        for (const auto& [position, tooltip, item] : buttons) {
            auto* button = toolbar->findChild<QToolButton*>(QStringLiteral("Toolbar1_%1").arg(position));
            QVERIFY(button);
            QCOMPARE(button->toolTip(), QString::fromUtf8(tooltip));
            QCOMPARE(button->accessibleName(), QString::fromUtf8(tooltip));
            QVERIFY(!button->icon().isNull());
            QSignalSpy spy(Item(*app, item), &QAction::triggered);
            if (position == 2 || position == 3)
                FileDialog::SetNextCancel();
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(spy.count(), 1);
        }
        for (int position : {4, 6, 9})
            QVERIFY(toolbar->Toolbar()->actions().at(position - 1)->isSeparator());
        QVERIFY(app->Sheet()->Dice()->isVisible());
        QVERIFY(app->Sheet()->About()->isVisible());
        MessageBox::TakeShown(); // the report's own word on printing

        // New clears the character; History brings the hidden inventory window back.
        QVERIFY(app->Model().WriteName("Hero").Ok());
        QTest::mouseClick(toolbar->findChild<QToolButton*>("Toolbar1_1"), Qt::LeftButton);
        QCOMPARE(app->Model().Record().Name, std::string());
        app->Inventory()->close();
        QVERIFY(!app->Inventory()->isVisible());
        QTest::mouseClick(toolbar->findChild<QToolButton*>("Toolbar1_8"), Qt::LeftButton);
        QVERIFY(app->Inventory()->isVisible());

        QTest::mouseClick(toolbar->findChild<QToolButton*>("Toolbar1_11"), Qt::LeftButton);
        QCOMPARE(fixture.EndedCount(), 1);
        QVERIFY(!app->Sheet()->Dice()->isVisible());
        QVERIFY(!app->Sheet()->About()->isVisible());
        QVERIFY(!toolbar->isVisible());
        QCOMPARE(fixture.IniValue("TOOLBAR/CHECKED"), QStringLiteral("True"));
    }

    void ToolbarToggleAndDocking()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        MainWindow* sheet = app->Sheet();
        sheet->move(300, 20);
        QAction* item = Item(*app, "mnuToolbar");
        item->trigger();
        ToolbarWindow* toolbar = sheet->Toolbar();
        QVERIFY(item->isChecked());
        QVERIFY(toolbar->isVisible());
        QCOMPARE(toolbar->frameGeometry().right() + 1, sheet->frameGeometry().left());
        QCOMPARE(toolbar->frameGeometry().top(), sheet->frameGeometry().top());
        QCOMPARE(toolbar->size(), toolbar->Toolbar()->sizeHint());

        // It follows the sheet.
        sheet->move(350, 60);
        QTRY_COMPARE(toolbar->frameGeometry().right() + 1, sheet->frameGeometry().left());
        QCOMPARE(toolbar->frameGeometry().top(), 60);

        // Against the screen's left edge there is no room: it goes to the sheet's right edge.
        sheet->move(0, 0);
        QTRY_COMPARE(toolbar->frameGeometry().left(), sheet->frameGeometry().right() + 1);

        item->trigger();
        QVERIFY(!item->isChecked());
        QVERIFY(!toolbar->isVisible());
    }

    // Where there is no room beside the sheet (maximised, or filling the screen), the toolbar
    // lies over the sheet's empty part, beside its panel and below its menu, and above it.
    void ToolbarStaysInSightOverAFullSheet()
    {
        const QRect area(0, 0, 1280, 1000);
        const QSize frame(34, 300);
        const struct {
            QRect sheet;
            QRect spare;
            QRect place;
        } cases[] = {
            // Room on the left: against the sheet's left edge.
            {QRect(300, 20, 600, 900), QRect(860, 60, 40, 860), QRect(266, 20, 34, 300)},
            // At the screen's left edge: against its right edge.
            {QRect(0, 0, 600, 900), QRect(560, 40, 40, 860), QRect(600, 0, 34, 300)},
            // Maximised: over the sheet's empty part, never at the corner under its caption.
            {QRect(0, 0, 1280, 1000), QRect(545, 45, 735, 955), QRect(545, 45, 34, 300)},
            // Filling the screen, with no empty part wide enough: at the screen's edge.
            {QRect(0, 0, 1280, 1000), QRect(1270, 45, 10, 955), QRect(0, 0, 34, 300)},
        };
        for (const auto& c : cases)
            QCOMPARE(ToolbarWindow::Place(c.sheet, c.spare, area, frame), c.place);

        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        MainWindow* sheet = app->Sheet();
        sheet->SetToolbarShown(true);
        ToolbarWindow* toolbar = sheet->Toolbar();
        const QRect screen = sheet->screen()->availableGeometry();
        sheet->setGeometry(screen);
        QTRY_VERIFY(toolbar->frameGeometry().intersects(sheet->frameGeometry()));
        QVERIFY(screen.contains(toolbar->frameGeometry()));
        // Clear of the panel and of the menu bar.
        const QWidget* panel = sheet->View()->Panel();
        const QRect panelOnScreen(panel->mapToGlobal(QPoint(0, 0)), panel->size());
        QVERIFY(!toolbar->frameGeometry().intersects(panelOnScreen));
        const QRect menuOnScreen(sheet->menuBar()->mapToGlobal(QPoint(0, 0)), sheet->menuBar()->size());
        QVERIFY(!toolbar->frameGeometry().intersects(menuOnScreen));
        QVERIFY(toolbar->isVisible());
        app->Exit();
    }

    // A read-only file is not saved over: one box says so, and the file stays as it was.
    void SaveOverAReadOnlyFileLeavesIt()
    {
        if (::geteuid() == 0)
            QSKIP("root writes over a read-only file");
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        QTemporaryDir folder;
        const QString readOnly = folder.filePath("old.kld");
        QFile old(readOnly);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        QVERIFY(old.setPermissions(QFile::ReadOwner));
        MessageBox::TakeShown();
        FileDialog::SetNextFileName(readOnly);
        Item(*app, "mnuSave")->trigger();
        QCOMPARE(MessageBox::TakeShown(),
                 QStringList(QStringLiteral("Save\nThe character could not be saved.\n") + readOnly +
                             QStringLiteral(": is read-only")));
        QCOMPARE(ReadAll(readOnly), QByteArray("old"));
    }

    void LoadAndSave()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        SheetModel& model = app->Model();
        QTemporaryDir folder;

        // Over a character whose race, youth and profession the rules know ...
        QVERIFY(model.SelectRace(1));
        QVERIFY(model.SelectYouth(1));
        QVERIFY(model.SelectProfession(1));
        // ... a good file fills the sheet and the caption follows the name. Its race, youth and
        // profession are house rules the shipped data lacks: they are left blank, not kept from
        // the previous character, and the user is told which names and files.
        FileDialog::SetNextFileName(QStringLiteral(KELD_TEST_DATA "/charfile/valid-character.kld"));
        Item(*app, "mnuLoad")->trigger();
        QStringList named = MessageBox::TakeShown();
        QCOMPARE(named.size(), 1);
        for (const char* missing : {"race \"Hillfolk\" was not found in racemod.txt",
                                    "youth background \"Harbour\" was not found in adolmod.txt",
                                    "profession \"Warden\" was not found in profmod.txt"})
            QVERIFY2(named[0].contains(QString::fromUtf8(missing)), qPrintable(named[0]));
        QCOMPARE(model.Record().RaceIndex, 0);
        QCOMPARE(model.Record().YouthIndex, 0);
        QCOMPARE(model.Record().ProfessionIndex, 0);
        QCOMPARE(FileDialog::LastKind(), FileDialog::Kind::Open);
        QCOMPARE(model.Record().Name, std::string("Broken"));
        QCOMPARE(model.Text(FieldId::StatValue, 0), std::string("50"));
        QCOMPARE(model.Record().Money[0], std::string("99"));
        QCOMPARE(app->Sheet()->windowTitle(), QStringLiteral("Broken  -  KELD Character Sheet"));
        const auto loaded = Lines(model);

        // A bad file names itself once as on disk, the line and the reason, as keldcg-cli does,
        // and changes nothing; Cancel neither.
        const QString badLine = QStringLiteral(KELD_TEST_DATA "/charfile/skill-line-with-too-few-commas.kld");
        FileDialog::SetNextFileName(badLine);
        Item(*app, "mnuLoad")->trigger();
        QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("Load\nThe character could not be loaded.\n") + badLine +
                                     u':'),
                 qPrintable(shown[0]));
        QCOMPARE(shown[0].count(u"skill-line-with-too-few-commas.kld"), 1);
        QCOMPARE(Lines(model), loaded);
        // So does a file that is no character file at all, before the money and notes are cleared,
        // and one whose lines end in LF only says so.
        const QString readme = folder.filePath("README.kld");
        const QString lfOnly = folder.filePath("lf-only.kld");
        for (const auto& [path, bytes] : {std::pair{readme, QByteArray("KELD character sheets\nLoad it.\n")},
                                          std::pair{lfOnly, QByteArray("[GENERAL]\nNAME=Lf\n")}}) {
            QFile text(path);
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write(bytes);
        }
        FileDialog::SetNextFileName(readme);
        Item(*app, "mnuLoad")->trigger();
        QCOMPARE(MessageBox::TakeShown(),
                 QStringList(QStringLiteral("Load\nThe character could not be loaded.\n") + readme +
                             QStringLiteral(": is not a character file")));
        FileDialog::SetNextFileName(lfOnly);
        Item(*app, "mnuLoad")->trigger();
        QCOMPARE(
            MessageBox::TakeShown(),
            QStringList(QStringLiteral("Load\nThe character could not be loaded.\n") + lfOnly +
                        QStringLiteral(": its lines end in LF only; character files end lines with CR LF")));
        QCOMPARE(Lines(model), loaded);
        FileDialog::SetNextCancel();
        Item(*app, "mnuLoad")->trigger();
        FileDialog::SetNextCancel();
        Item(*app, "mnuSave")->trigger();
        QVERIFY(MessageBox::TakeShown().isEmpty());
        QCOMPARE(Lines(model), loaded);

        // Save offers the name; a following Load offers the file just saved.
        const QString saved = folder.filePath("hero");
        FileDialog::SetNextFileName(saved);
        Item(*app, "mnuSave")->trigger();
        QCOMPARE(FileDialog::LastKind(), FileDialog::Kind::Save);
        QCOMPARE(FileDialog::LastInitialName(), QStringLiteral("Broken.kld"));
        QVERIFY(QFile::exists(saved + ".kld"));
        FileDialog::SetNextCancel();
        Item(*app, "mnuLoad")->trigger();
        QCOMPARE(FileDialog::LastInitialName(), saved + ".kld");
        QVERIFY(MessageBox::TakeShown().isEmpty());

        // A target that cannot be written names itself and the reason, and stays as it was.
        const QString taken = folder.filePath("taken.kld");
        QVERIFY(QDir(folder.path()).mkdir("taken.kld"));
        FileDialog::SetNextFileName(taken);
        Item(*app, "mnuSave")->trigger();
        // The file's name as on disk, small letters and all, once.
        QCOMPARE(MessageBox::TakeShown(),
                 QStringList(QStringLiteral("Save\nThe character could not be saved.\n") + taken +
                             QStringLiteral(": is a folder, not a file")));
        QVERIFY(QFileInfo(taken).isDir());

        // A file naming an unknown race a thousand times lists a hundred of them and the count
        // of the rest, as keldcg-cli prints them.
        const QString noisy = folder.filePath("noisy.kld");
        QFile lines(noisy);
        QVERIFY(lines.open(QIODevice::WriteOnly));
        lines.write("[GENERAL]\r\n" + QByteArray("RACE=Cloud Folk\r\n").repeated(1000));
        lines.close();
        FileDialog::SetNextFileName(noisy);
        Item(*app, "mnuLoad")->trigger();
        shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].count(QStringLiteral("race \"Cloud Folk\" was not found")), 100);
        QVERIFY2(shown[0].endsWith(QStringLiteral("\n... and 900 more warnings of this kind "
                                                  "(race not found in racemod.txt)")),
                 qPrintable(shown[0].right(200)));
    }

    // Everything a load has to tell stands in its one box, also with the inventory window closed:
    // names the rules data lacks and a picture that cannot be read. A relative picture path is
    // found beside the file, and the inventory window shows that picture.
    void LoadWarningsInOneBoxAndPicturesBesideTheFile()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        app->Inventory()->close();
        QTemporaryDir folder;
        const QString file = folder.filePath("Odd Hero.kld");
        const auto write = [&file](const QByteArray& race) {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write("[GENERAL]\r\nNAME=Odd\r\nRACE=" + race + "\r\n[PICTURE]\r\nfaces/odd.png\r\n");
        };
        write("Moonkin");
        FileDialog::SetNextFileName(file);
        Item(*app, "mnuLoad")->trigger();
        const QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        const QStringList lines = shown[0].split(u'\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("Load"));
        QVERIFY2(lines[1].startsWith(u"The character was loaded, but some names are not in the rules data"),
                 qPrintable(lines[1]));
        QCOMPARE(lines[2], file + QStringLiteral(":3: race \"Moonkin\" was not found in racemod.txt"));
        QVERIFY2(lines[3].startsWith(file + QStringLiteral(":5: picture \"faces/odd.png\" ")),
                 qPrintable(lines[3]));
        QCOMPARE(app->Model().Record().Name, std::string("Odd"));

        // Beside the file, the picture is found, shown, and saved as it was written.
        QVERIFY(QDir(folder.path()).mkdir("faces"));
        QVERIFY(QFile::copy(QStringLiteral(KELD_TEST_DATA "/charfile/picture.png"),
                            folder.filePath("faces/odd.png")));
        write("");
        FileDialog::SetNextFileName(file);
        Item(*app, "mnuLoad")->trigger();
        QVERIFY(MessageBox::TakeShown().isEmpty());
        QVERIFY(app->Inventory()->StatusText().isEmpty());
        QCOMPARE(app->Model().PictureFileToOpen(), folder.filePath("faces/odd.png").toStdString());
        FileDialog::SetNextFileName(folder.filePath("again.kld"));
        Item(*app, "mnuSave")->trigger();
        QVERIFY(ReadAll(folder.filePath("again.kld")).contains("[PICTURE]\r\nfaces/odd.png\r\n"));
    }

    // A name of megabytes is kept whole, but the caption shows its start and an ellipsis (a
    // window system refuses a caption that long); Save offers a usable file name at once.
    void AVeryLongNameIsShortenedInTheCaptionOnly()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        std::string name = "\xC3\x89lodie ";
        name.append(20u << 20, 'x');
        QVERIFY(app->Model().WriteName(name));
        QCOMPARE(app->Model().Record().Name.size(), name.size());
        const QString caption = app->Sheet()->windowTitle();
        QVERIFY2(caption.size() < 200, qPrintable(caption.left(300)));
        QVERIFY(caption.startsWith(u"\u00C9lodie xxx"));
        QVERIFY(caption.endsWith(u"x\u2026  -  KELD Character Sheet"));
        (void)app->Model().WriteName("Short");
        QCOMPARE(app->Sheet()->windowTitle(), QStringLiteral("Short  -  KELD Character Sheet"));

        (void)app->Model().WriteName(name);
        QElapsedTimer timer;
        timer.start();
        FileDialog::SetNextCancel();
        Item(*app, "mnuSave")->trigger();
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        const QString offered = FileDialog::LastInitialName();
        QVERIFY(offered.startsWith(u"\u00C9lodie xxx") && offered.endsWith(u"x.kld"));
        QVERIFY(offered.toUtf8().size() <= 204);
    }

    // Save by shortcut leaves the focus in the box being typed into; its edit is finished first,
    // so the sheet shows what the file keeps (a secondary skill's name without outer blanks, a
    // bonus that is no number as 0).
    void SaveFinishesTheEditInProgress()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        QTemporaryDir folder;
        for (const auto& [name, typed, kept] :
             {std::tuple{"txtSecondary_24", "  Dance  ", "Dance"}, std::tuple{"txtItem1_30", "5x", "0"}}) {
            auto* edit = app->Sheet()->findChild<QLineEdit*>(QString::fromLatin1(name));
            QVERIFY(edit);
            app->Sheet()->activateWindow();
            edit->setFocus();
            QTRY_VERIFY(edit->hasFocus());
            edit->selectAll();
            QTest::keyClicks(edit, QString::fromLatin1(typed));
            FileDialog::SetNextFileName(folder.filePath("typing.kld"));
            Item(*app, "mnuSave")->trigger();
            QVERIFY(MessageBox::TakeShown().isEmpty());
            QCOMPARE(edit->text(), QString::fromLatin1(kept));
        }
        QCOMPARE(app->Model().Text(FieldId::SecondaryName, 24), std::string("Dance"));
        QCOMPARE(app->Model().Text(FieldId::Item1, 30), std::string("0"));
    }

    // The name offered by Save is a usable file name whatever the character is called.
    void SaveOffersAUsableFileName()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        const std::pair<const char*, const char*> cases[] = {
            {"", "character.kld"},         {"Tom/Knight", "Tom_Knight.kld"},
            {" ..Hidden. ", "Hidden.kld"}, {"A:b*c?\"d<e>f|g\\h\ti", "A_b_c__d_e_f_g_h_i.kld"},
            {"Élodie", "Élodie.kld"},
        };
        for (const auto& [name, offered] : cases) {
            (void)app->Model().EditText(FieldId::General, 0, name);
            FileDialog::SetNextCancel();
            Item(*app, "mnuSave")->trigger();
            QCOMPARE(FileDialog::LastInitialName(), QString::fromUtf8(offered));
        }
        QCOMPARE(OfferedFileName(QStringLiteral("..."), QStringLiteral("rtf")),
                 QStringLiteral("character.rtf"));
    }

    // Each filter shows its masks once; the dialog opens wide enough for its columns.
    void DialogFiltersAndSize()
    {
        QCOMPARE(FileDialog::QtFilter(QStringLiteral("(*.kld)|*.kld")), QStringLiteral("(*.kld)"));
        QCOMPARE(FileDialog::QtFilter(QStringLiteral("Bitmaps (*.bmp)|*.bmp;*.dib|All Files (*.*)|*.*")),
                 QStringLiteral("Bitmaps (*.bmp *.dib);;All Files (*.*)"));
        QCOMPARE(FileDialog::QtFilter(QStringLiteral("Pictures|*.png;*.gif")),
                 QStringLiteral("Pictures (*.png *.gif)"));

        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        FileDialog::Prepare(dialog, FileDialog::Kind::Save, QStringLiteral("(*.kld)|*.kld"),
                            QStringLiteral("kld"), QStringLiteral("Hero.kld"));
        QCOMPARE(dialog.nameFilters(), QStringList{QStringLiteral("(*.kld)")});
        QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptSave);
        const QFontMetrics metrics(dialog.font());
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(dialog.width() >= std::min(metrics.averageCharWidth() * 100, area.width() * 8 / 10));
        QVERIFY(dialog.height() >= std::min(metrics.height() * 25, area.height() * 8 / 10));
        QVERIFY(dialog.width() <= area.width() && dialog.height() <= area.height());
    }

    // A click that arrives while a long rule loop runs waits until the loop is over; other events
    // (repaints) still run inside it.
    void ClickDuringALongLoopRunsAfterIt()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        Item(*app, "mnuToolbar")->trigger();
        SheetModel& model = app->Model();
        QVERIFY(model.WriteName("Hero").Ok());
        QCoreApplication::processEvents();

        SheetModel reference(model.Tables());
        reference.ClearCharacter();
        reference.FillLists(model.Tables());
        const int youth = static_cast<int>(model.YouthList().size()) - 1;
        QVERIFY(reference.SelectYouth(youth).Ok());
        bool youthGivesRanks = false;
        for (int row = 0; row < 29; ++row)
            youthGivesRanks = youthGivesRanks || reference.Text(FieldId::Rank, row) != "-25";
        QVERIFY(youthGivesRanks);

        bool ranInsideLoop = false;
        QMetaObject::invokeMethod(
            this, [&] { ranInsideLoop = true; }, Qt::QueuedConnection);
        QueueClick(app->Sheet()->Toolbar()->findChild<QToolButton*>("Toolbar1_1"));
        QVERIFY(model.SelectYouth(youth));

        QVERIFY(ranInsideLoop);
        QCOMPARE(model.Record().Name, std::string("Hero"));
        QCOMPARE(model.Record().YouthIndex, youth);
        for (int row = 0; row < 29; ++row)
            QCOMPARE(model.Text(FieldId::Rank, row), reference.Text(FieldId::Rank, row));

        QTRY_COMPARE(model.Record().Name, std::string());
        QCOMPARE(model.Record().YouthIndex, 0);
    }
};

int main(int argc, char* argv[])
{
    // The offscreen platform's GLib dispatcher never hands over input that waited through a
    // paint-only pass, where the desktop's dispatchers and the plain one do; use the plain one.
    qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    SheetCommandsTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "SheetCommandsTest.moc"
