// SPDX-License-Identifier: GPL-3.0-or-later
#include "inventory/window/InventoryWindow.h"
#include "inventory/window/PictureBox.h"
#include "settings/SettingsStore.h"
#include "binding/SheetBinding.h"
#include "ui/FileDialog.h"
#include "ui/PasteGuard.h"
#include "ui/TextDrag.h"
#include "ui/Twips.h"

#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include <sys/stat.h>

using namespace keld;

namespace {

// A window over a fresh character with its own settings store.
struct Fixture {
    QTemporaryDir folder;
    SettingsStore settings{folder.path().toStdString()};
    SheetModel model;
    SheetBinding binding{model};
    std::unique_ptr<InventoryWindow> window;

    Fixture()
    {
        model.ClearCharacter();
        window = std::make_unique<InventoryWindow>(binding, settings);
    }
    std::string Stored(const char* key)
    {
        return settings.GetSetting(ApplicationName(), "SCREEN", key);
    }
    void Store(const char* key, const std::string& value)
    {
        QVERIFY(settings.SaveSetting(ApplicationName(), "SCREEN", key, value).Ok());
    }
    template <typename T> T* Find(const QString& name) const { return window->findChild<T*>(name); }
    QString PicturePath() const { return ToQt(model.Text(FieldId::PictureFile)); }
};

QString MakeImage(const QTemporaryDir& folder, const QString& name, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString path = folder.filePath(name);
    if (!image.save(path))
        return {};
    return path;
}

QString WriteFile(const QTemporaryDir& folder, const QString& name, const QByteArray& bytes)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// The header of a bitmap that claims to be 12000 x 12000 pixels, with no pixels behind it.
QByteArray HugeBitmapHeader()
{
    QByteArray bytes(54, '\0');
    auto put32 = [&bytes](int at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, 12000);
    put32(22, 12000);
    bytes[26] = 1;
    bytes[28] = 24;
    return bytes;
}

// Counts the record's note changes.
struct NoteWatch : SheetObserver {
    SheetModel& model;
    int changes = 0;
    explicit NoteWatch(SheetModel& m) : model(m) { model.AddObserver(this); }
    ~NoteWatch() override { model.RemoveObserver(this); }
    void FieldChanged(FieldId id, int) override { changes += id == FieldId::Note; }
};

// The size a picture is held at: its own when the box (at twice its size, for dense screens)
// can show it whole, else scaled down into that square.
QSize HeldSize(int width, int height, const QWidget* box)
{
    const int side = 2 * TwipsToPx(kPictureBoxTwips, box);
    const QSize natural(width, height);
    return width <= side && height <= side ? natural : natural.scaled(side, side, Qt::KeepAspectRatio);
}

void CompareTwips(double actualPx, double twips, const QWidget* widget)
{
    QVERIFY2(std::abs(actualPx - TwipsToPx(twips, widget)) <= 1,
             qPrintable(QStringLiteral("%1 px for %2 twips").arg(actualPx).arg(twips)));
}

} // namespace

class InventoryWindowTest : public QObject {
    Q_OBJECT
private slots:
    // First run in the bottom right corner; closing hides and saves; the next run comes back there.
    void PositionIsRestoredFromWhereItWasClosed()
    {
        Fixture f;
        QVERIFY(f.window->Open().Ok());
        QVERIFY(f.window->isVisible());
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = f.window->frameGeometry();
        QCOMPARE(frame.right(), area.right());
        QCOMPARE(frame.bottom(), area.bottom());

        f.window->move(30, 45);
        QVERIFY(!f.window->close());
        QVERIFY(!f.window->isVisible());
        QCOMPARE(f.Stored("FORM4TOP"), CoordinateText(static_cast<float>(PxToTwips(45, f.window.get()))));
        QCOMPARE(f.Stored("FORM4LEFT"), CoordinateText(static_cast<float>(PxToTwips(30, f.window.get()))));

        InventoryWindow next(f.binding, f.settings);
        QVERIFY(next.Open().Ok());
        QCOMPARE(next.pos(), QPoint(30, 45));
    }

    void StoredPositionThatCannotBeUsed()
    {
        {
            Fixture f;
            f.Store("FORM4LEFT", "100");
            f.Store("FORM4TOP", "left");
            const Status opened = f.window->Open();
            QVERIFY(!opened.Ok());
            QCOMPARE(opened.Error().Number(), kErrTypeMismatch);
            QVERIFY(!f.window->isVisible());
        }
        // Wholly off every screen: the default place. Partly visible: moved wholly onto it.
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        {
            Fixture f;
            f.Store("FORM4LEFT", "-3000000");
            f.Store("FORM4TOP", "0");
            QVERIFY(f.window->Open().Ok());
            QCOMPARE(f.window->frameGeometry().bottomRight(), area.bottomRight());
        }
        {
            Fixture f;
            const int left = QGuiApplication::primaryScreen()->geometry().right() - 20;
            f.Store("FORM4LEFT", CoordinateText(static_cast<float>(PxToTwips(left, f.window.get()))));
            f.Store("FORM4TOP", "-1500");
            QVERIFY(f.window->Open().Ok());
            QCOMPARE(f.window->frameGeometry().right(), area.right());
            QCOMPARE(f.window->frameGeometry().top(), area.top());
        }
    }

    void CoinBoxesTakeDigitsAndShowTheWeight()
    {
        Fixture f;
        f.window->show();
        auto* gold = f.Find<QLineEdit>(QStringLiteral("txtMoney_0"));
        auto* tin = f.Find<QLineEdit>(QStringLiteral("txtMoney_4"));
        auto* weight = f.Find<QLabel>(QStringLiteral("lblMoneyWeight"));
        QVERIFY(gold && tin && weight);
        QCOMPARE(weight->text(), QStringLiteral("0"));

        gold->selectAll();
        QTest::keyClicks(gold, QStringLiteral("6x-4 e"));
        QCOMPARE(gold->text(), QStringLiteral("64"));
        QCOMPARE(f.model.Text(FieldId::Money, 0), std::string("64"));
        QCOMPARE(weight->text(), QStringLiteral("1"));
        QTest::keyClick(gold, Qt::Key_Backspace);
        QCOMPARE(gold->text(), QStringLiteral("6"));

        // Only keys are filtered: pasted text stands as it is and its leading number counts,
        // whatever its sign or fraction; line breaks become blanks in a one-line box.
        struct Pasted {
            const char* text;
            const char* shown;
            const char* weight; // with 64 tin coins
        };
        const Pasted pastes[] = {{"10 coins", "10 coins", "1.2"},
                                 {"3.5", "3.5", "1.1"},
                                 {"-5", "-5", "0.9"},
                                 {"12abc", "12abc", "1.2"},
                                 {"1\n2", "1 2", "1.2"}};
        tin->selectAll();
        QTest::keyClicks(tin, QStringLiteral("64"));
        for (const Pasted& paste : pastes) {
            QGuiApplication::clipboard()->setText(QString::fromLatin1(paste.text));
            gold->selectAll();
            QTest::keySequence(gold, QKeySequence::Paste);
            QCOMPARE(gold->text(), QString::fromLatin1(paste.shown));
            QCOMPARE(f.model.Text(FieldId::Money, 0), std::string(paste.shown));
            QCOMPARE(weight->text(), QString::fromLatin1(paste.weight));
        }
        QGuiApplication::clipboard()->setText(QStringLiteral("-7.5"));
        tin->selectAll();
        QTest::keySequence(tin, QKeySequence::Paste);
        QCOMPARE(f.model.Text(FieldId::Money, 4), std::string("-7.5"));
        // Typing still takes digits only.
        tin->end(false);
        QTest::keyClicks(tin, QStringLiteral("-x1"));
        QCOMPARE(tin->text(), QStringLiteral("-7.51"));
        tin->selectAll();
        QTest::keyClicks(tin, QStringLiteral("10"));
        gold->selectAll();
        QTest::keyClicks(gold, QStringLiteral("6"));
        QCOMPARE(weight->text(), QStringLiteral("0.2"));

        // The record's own changes show in the boxes.
        QVERIFY(f.model.WriteMoney(2, "100").Ok());
        QCOMPARE(f.Find<QLineEdit>(QStringLiteral("txtMoney_2"))->text(), QStringLiteral("100"));
        QCOMPARE(weight->text(), QStringLiteral("1.8"));
        // A loaded number is shown as it stands; the filter is for what the user enters.
        QVERIFY(f.model.WriteMoney(1, "1.5").Ok());
        QCOMPARE(f.Find<QLineEdit>(QStringLiteral("txtMoney_1"))->text(), QStringLiteral("1.5"));
    }

    // A die or a stat chip dragged over a coin box or a note is refused, its pointer showing so;
    // text moved between the boxes still drops.
    void DiceAndChipsDoNotDropIntoTheBoxes()
    {
        Fixture f;
        f.window->show();
        auto* gold = f.Find<QLineEdit>(QStringLiteral("txtMoney_0"));
        auto* journal = f.Find<QPlainTextEdit>(QStringLiteral("txtJournal"));
        QVERIFY(gold && journal);
        gold->setText(QStringLiteral("15"));
        QVERIFY(f.model.EditText(FieldId::Money, 0, "15").Ok());
        const QString note = journal->toPlainText();

        const std::unique_ptr<QMimeData> die(CaptionMimeData(QStringLiteral("97")));
        for (QWidget* target :
             {static_cast<QWidget*>(gold), journal->viewport(), static_cast<QWidget*>(journal)}) {
            QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, die.get(), Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &enter);
            QVERIFY2(!enter.isAccepted(), qPrintable(target->objectName()));
            QDropEvent drop(QPointF(2, 2), Qt::CopyAction, die.get(), Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &drop);
            QVERIFY(!drop.isAccepted());
        }
        QCOMPARE(gold->text(), QStringLiteral("15"));
        QCOMPARE(f.model.Text(FieldId::Money, 0), std::string("15"));
        QCOMPARE(journal->toPlainText(), note);

        // Plain text, as moved from another box, goes in.
        QMimeData moved;
        moved.setText(QStringLiteral("Met the guild"));
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &moved, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(journal->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &moved, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(journal->viewport(), &drop);
        QVERIFY(journal->toPlainText().contains(QStringLiteral("Met the guild")));
    }

    void NotesKeepTheRecordsLineEnds()
    {
        Fixture f;
        f.window->show();
        auto* inventory = f.Find<QPlainTextEdit>(QStringLiteral("txtInventory"));
        auto* journal = f.Find<QPlainTextEdit>(QStringLiteral("txtJournal"));
        QVERIFY(inventory && journal);
        QCOMPARE(inventory->toPlainText(), QStringLiteral("Inventory - "));

        inventory->moveCursor(QTextCursor::End);
        QTest::keyClicks(inventory, QStringLiteral("rope"));
        QTest::keyClick(inventory, Qt::Key_Return);
        QTest::keyClicks(inventory, QStringLiteral("lamp"));
        f.model.HandOverHeldEdits();
        QCOMPARE(f.model.Text(FieldId::Note, static_cast<int>(NoteKind::Inventory)),
                 std::string("Inventory - rope\r\nlamp"));

        QVERIFY(f.model.WriteNote(NoteKind::Journal, "Day one\r\nDay two\r\n").Ok());
        QCOMPARE(journal->toPlainText(), QStringLiteral("Day one\nDay two\n"));
        journal->moveCursor(QTextCursor::End);
        QTest::keyClicks(journal, QStringLiteral("x"));
        f.model.HandOverHeldEdits();
        QCOMPARE(f.model.Text(FieldId::Note, static_cast<int>(NoteKind::Journal)),
                 std::string("Day one\r\nDay two\r\nx"));

        // Emptied before a file is read.
        ClearForm(f.model);
        QCOMPARE(journal->toPlainText(), QString());
        QCOMPARE(f.Find<QLineEdit>(QStringLiteral("txtMoney_0"))->text(), QStringLiteral("0"));
    }

    // Keys in a note convert nothing, and reading the record leaves them in the box; a command's
    // hand-over or a write of a note gets the typed text first, and so does focus leaving the note.
    void TypedNoteReachesTheRecordBeforeAnyUse()
    {
        Fixture f;
        f.window->show();
        NoteWatch watch(f.model);
        auto* journal = f.Find<QPlainTextEdit>(QStringLiteral("txtJournal"));
        const int index = static_cast<int>(NoteKind::Journal);
        journal->moveCursor(QTextCursor::End);
        QTest::keyClicks(journal, QStringLiteral("abc"));
        QCOMPARE(watch.changes, 0);
        const SheetModel& reader = f.model;
        QCOMPARE(reader.Record().Note(NoteKind::Journal), std::string("Journal -"));
        QCOMPARE(reader.Text(FieldId::Note, index), std::string("Journal -"));
        QCOMPARE(watch.changes, 0);
        f.model.HandOverHeldEdits();
        QCOMPARE(f.model.Record().Note(NoteKind::Journal), std::string("Journal -abc"));
        QCOMPARE(watch.changes, 1);
        QTest::keyClick(journal, Qt::Key_Return);
        f.model.HandOverHeldEdits();
        QCOMPARE(f.model.Text(FieldId::Note, index), std::string("Journal -abc\r\n"));

        QTest::keyClicks(journal, QStringLiteral("d"));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(journal, &out);
        QCOMPARE(watch.changes, 3);

        // A write of the text the record held before the keys still replaces them (New, Load).
        QTest::keyClicks(journal, QStringLiteral("e"));
        f.model.ClearCharacter();
        QCOMPARE(journal->toPlainText(), QStringLiteral("Journal -"));
        QCOMPARE(f.model.Text(FieldId::Note, index), std::string("Journal -"));
        QTest::keyClicks(journal, QStringLiteral("f"));
        QVERIFY(f.model.WriteNote(NoteKind::Journal, "Journal -").Ok());
        QCOMPARE(journal->toPlainText(), QStringLiteral("Journal -"));

        // Nor is a note lost with the window.
        QTest::keyClicks(journal, QStringLiteral("g"));
        f.window.reset();
        QCOMPARE(f.model.Text(FieldId::Note, index), std::string("gJournal -"));
    }

    // A window that goes while another over the same character holds typed text ends its own
    // registration only: the other's text is still handed over.
    void ClosingOneWindowKeepsTheOthersHandOver()
    {
        Fixture f;
        auto firstBinding = std::make_unique<SheetBinding>(f.model);
        auto first = std::make_unique<InventoryWindow>(*firstBinding, f.settings);
        SheetBinding secondBinding(f.model);
        InventoryWindow second(secondBinding, f.settings);
        auto* journal = second.findChild<QPlainTextEdit*>(QStringLiteral("txtJournal"));
        QVERIFY(journal);
        journal->moveCursor(QTextCursor::End);
        QTest::keyClicks(journal, QStringLiteral(" met Quill"));
        first.reset();
        firstBinding.reset();
        f.model.HandOverHeldEdits();
        QCOMPARE(f.model.Text(FieldId::Note, static_cast<int>(NoteKind::Journal)),
                 std::string("Journal - met Quill"));
    }

    // A clipboard that holds nothing, or that no program owns, pastes nothing into any box and
    // takes nothing down; real text still pastes.
    void PasteOfNothingInsertsNothing()
    {
        Fixture f;
        f.window->show();
        // One guard on the application, however many windows install it.
        PasteGuard::Install();
        const auto guards =
            QCoreApplication::instance()->findChildren<PasteGuard*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(guards.size(), 1);
        auto* journal = f.Find<QPlainTextEdit>(QStringLiteral("txtJournal"));
        auto* gold = f.Find<QLineEdit>(QStringLiteral("txtMoney_0"));
        QClipboard* clipboard = QGuiApplication::clipboard();
        for (int round = 0; round < 3; ++round) {
            if (round == 0) {
                clipboard->clear();
            } else {
                auto* data = new QMimeData;
                if (round == 2)
                    data->setData(QStringLiteral("image/png"), "not text");
                clipboard->setMimeData(data);
            }
            QTest::keySequence(journal, QKeySequence::Paste);
            journal->paste(); // as the context menu does
            QTest::mouseClick(journal->viewport(), Qt::MiddleButton);
            QTest::keySequence(gold, QKeySequence::Paste);
            QTest::mouseClick(gold, Qt::MiddleButton);
        }
        QCOMPARE(journal->toPlainText(), QStringLiteral("Journal -"));
        QCOMPARE(gold->text(), QStringLiteral("0"));

        clipboard->setText(QStringLiteral(" 12"));
        journal->moveCursor(QTextCursor::End);
        QTest::keySequence(journal, QKeySequence::Paste);
        f.model.HandOverHeldEdits();
        QCOMPARE(f.model.Text(FieldId::Note, static_cast<int>(NoteKind::Journal)),
                 std::string("Journal - 12"));
        gold->end(false);
        QTest::keySequence(gold, QKeySequence::Paste);
        QCOMPARE(f.model.Text(FieldId::Money, 0), std::string("0 12"));
    }

    // The chooser fits the picture into the square with its aspect ratio kept.
    void ChosenPictureFitsTheSquare()
    {
        Fixture f;
        f.window->show();
        auto* picture = f.Find<PictureBox>(QStringLiteral("Image1"));
        QVERIFY(picture);
        QCOMPARE(picture->toolTip(), QStringLiteral("No picture loaded."));

        struct Case {
            const char* name;
            int width, height;
            double expectWidth, expectHeight;
        };
        // The big one is held at the size the box shows, and fitted by its own size.
        const Case cases[] = {{"wide.png", 300, 150, 1575, 787.5},
                              {"tall.bmp", 100, 200, 787.5, 1575},
                              {"square.jpg", 120, 120, 1575, 1575},
                              {"big.png", 3000, 1500, 1575, 787.5}};
        for (const Case& c : cases) {
            const QString path = MakeImage(f.folder, QString::fromLatin1(c.name), c.width, c.height);
            QVERIFY(!path.isEmpty());
            FileDialog::SetNextFileName(path);
            QTest::mouseClick(picture, Qt::LeftButton);
            QCOMPARE(f.PicturePath(), path);
            QCOMPARE(picture->toolTip(), path);
            QCOMPARE(picture->Image().size(), HeldSize(c.width, c.height, picture));
            // In its own colours (a JPEG's within its loss).
            const QColor middle = picture->Image().pixelColor(picture->Image().rect().center());
            const QColor cyan(Qt::darkCyan);
            QVERIFY2(std::abs(middle.red() - cyan.red()) + std::abs(middle.green() - cyan.green()) +
                             std::abs(middle.blue() - cyan.blue()) <=
                         8,
                     qPrintable(middle.name()));
            QCOMPARE(f.window->PictureBoxTwips().Width, c.expectWidth);
            QCOMPARE(f.window->PictureBoxTwips().Height, c.expectHeight);
            CompareTwips(picture->width(), c.expectWidth, picture);
            CompareTwips(picture->height(), c.expectHeight, picture);
            QVERIFY(f.window->StatusText().isEmpty());
        }
    }

    void PictureThatCannotBeShown()
    {
        Fixture f;
        f.window->show();
        auto* picture = f.Find<PictureBox>(QStringLiteral("Image1"));
        const QString good = MakeImage(f.folder, QStringLiteral("wide.png"), 300, 150);
        FileDialog::SetNextFileName(good);
        f.window->ChoosePicture();
        const PictureSize fitted = f.window->PictureBoxTwips();

        // The chooser offers every kind the box reads, PNG included, first.
        const QString offered =
            FileDialog::QtFilter(FileDialog::LastFilter()).section(QStringLiteral(";;"), 0, 0);
        for (const char* mask : {"*.bmp", "*.gif", "*.jpg", "*.png"})
            QVERIFY2(offered.contains(QLatin1String(mask)), qPrintable(offered));

        // Cancel changes nothing.
        FileDialog::SetNextCancel();
        f.window->ChoosePicture();
        QCOMPARE(f.PicturePath(), good);
        QCOMPARE(picture->toolTip(), good);

        // The picture shown stays and so does its path, which is what a save writes; the status
        // line says why the new one was not taken.
        const QString broken = WriteFile(f.folder, QStringLiteral("broken.bmp"), "BM not a bitmap at all");
        const QString huge = WriteFile(f.folder, QStringLiteral("huge.bmp"), HugeBitmapHeader());
        const QString missing = f.folder.filePath(QStringLiteral("missing.gif"));
        // A FIFO, a device and a file of more than 64 MB are refused unread, without hanging.
        const QString fifo = f.folder.filePath(QStringLiteral("pipe.gif"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString sparse = MakeImage(f.folder, QStringLiteral("sparse.png"), 20, 20);
        QVERIFY(QFile::resize(sparse, qint64(65) << 20));
        // A picture cut short is refused as the report and a loaded character refuse it.
        const QString cut = MakeImage(f.folder, QStringLiteral("cut.png"), 64, 64);
        QVERIFY(QFile::resize(cut, QFileInfo(cut).size() - 20));
        for (const QString& path : {broken, huge, missing, fifo, QStringLiteral("/dev/zero"), sparse, cut}) {
            QVERIFY(!path.isEmpty());
            FileDialog::SetNextFileName(path);
            f.window->ChoosePicture();
            QCOMPARE(f.PicturePath(), good);
            QCOMPARE(picture->Image().size(), HeldSize(300, 150, picture));
            QCOMPARE(picture->toolTip(), good);
            QCOMPARE(f.window->PictureBoxTwips().Height, fitted.Height);
            QVERIFY2(f.window->StatusText().contains(path), qPrintable(f.window->StatusText()));
        }
        // The huge one is refused from its header, before any pixel is decoded.
        QVERIFY(!LoadPictureFile(huge).Ok());
        QVERIFY(
            LoadPictureFile(huge).Error().Detail().starts_with("is too large a picture: 12,000 x 12,000"));

        // A picture that comes with the record is stretched to the box as it stands.
        const QString square = MakeImage(f.folder, QStringLiteral("square.png"), 50, 50);
        QVERIFY(f.model.WritePictureFile(FromQt(square)).Ok());
        QCOMPARE(picture->Image().size(), QSize(50, 50));
        QCOMPARE(picture->toolTip(), square);
        QCOMPARE(f.window->PictureBoxTwips().Height, fitted.Height);
        QVERIFY(f.window->StatusText().isEmpty());
        // One that fails shows none, as the old one belongs to another character.
        QVERIFY(f.model.WritePictureFile(FromQt(missing)).Ok());
        QVERIFY(picture->Image().isNull());
        QVERIFY(f.window->StatusText().contains(missing));

        f.model.ClearCharacter();
        QVERIFY(picture->Image().isNull());
        QCOMPARE(picture->toolTip(), QStringLiteral("No picture loaded."));
        QVERIFY(f.window->StatusText().isEmpty());
    }
};

QTEST_MAIN(InventoryWindowTest)
#include "InventoryWindowTest.moc"
