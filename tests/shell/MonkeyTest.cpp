// SPDX-License-Identifier: GPL-3.0-or-later
// Random input on the sheet, inventory and dice windows of the real program: clicks, drags and
// drops, keys, typed text, wheel turns, pastes and menu commands, from a seed. Then the saved
// character must be what the windows show (as keldcg-cli reads the file), and saving a loaded
// file must give the same bytes again.
//
// KELD_MONKEY_SEED picks the seed (printed on every run), KELD_MONKEY_STEPS the number of steps
// and KELD_MONKEY_TRACE prints each step; tools/monkey.sh runs many seeds.
#include "ShellFixture.h"
#include "dice/window/DiceWindow.h"
#include "inventory/window/InventoryWindow.h"
#include "report/window/PrintDestination.h"
#include "report/window/ReportCommands.h"
#include "report/window/ReportWindow.h"
#include "ui/FileDialog.h"
#include "ui/TextDrag.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QRegularExpression>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>

using namespace keld;
using namespace keld::test;
using Json = nlohmann::json;

namespace {

unsigned long EnvNumber(const char* name, unsigned long fallback)
{
    const QByteArray value = qgetenv(name);
    bool ok = false;
    const unsigned long number = value.toULong(&ok);
    return ok ? number : fallback;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// keldcg-cli show FILE with the test's rules data and the program's option, as JSON; null when it
// failed.
Json CliShow(const QString& dataFolder, bool over102, const QString& file)
{
    const QString out = file + QStringLiteral(".json");
    const QString command = QStringLiteral("'%1' show --data '%2' %3 '%4' > '%5'")
                                .arg(QStringLiteral(KELD_CLI_PATH), dataFolder,
                                     over102 ? QString() : QStringLiteral("--no-stats-over-102"), file, out);
    if (std::system(command.toLocal8Bit().constData()) != 0)
        return {};
    return Json::parse(ReadAll(out).toStdString(), nullptr, false);
}

class Monkey {
public:
    Monkey(KeldApplication& app, const QTemporaryDir& folder, unsigned long seed)
        : m_app(app), m_folder(folder), m_random(seed)
    {
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        m_picture = folder.filePath(QStringLiteral("picture.png"));
        picture.save(m_picture);
        m_notPicture = folder.filePath(QStringLiteral("not-a-picture.bmp"));
        QFile bad(m_notPicture);
        if (bad.open(QIODevice::WriteOnly))
            bad.write("BM but no picture");
        m_saved = folder.filePath(QStringLiteral("monkey.kld"));
        // Whatever modal loop a step opens without an answer queued is closed again, so no step
        // can wait for a user.
        m_watchdog.setInterval(30);
        QObject::connect(&m_watchdog, &QTimer::timeout, [] { CloseModalAndPopups(); });
        m_watchdog.start();
    }

    static void CloseModalAndPopups()
    {
        for (int guard = 0; guard < 10; ++guard) {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popup->close();
            } else if (QWidget* modal = QApplication::activeModalWidget()) {
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
                else
                    modal->close();
            } else {
                return;
            }
        }
    }

    // One random step; its name, for the log of the last steps.
    QString Step()
    {
        switch (Pick(14)) {
        case 0:
        case 1:
        case 2:
            return Click();
        case 3:
            return Drag();
        case 4:
            return Drop();
        case 5:
        case 6:
        case 7:
            return Key();
        case 8:
        case 9:
            return Text();
        case 10:
            return Wheel();
        case 11:
            return Clipboard();
        case 12:
            return Command();
        default:
            return Focus();
        }
    }

private:
    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(m_random); }
    template <typename T> const T& PickOf(const std::vector<T>& items)
    {
        return items[Pick(static_cast<int>(items.size()))];
    }

    // Every widget of the program's windows that input may reach, except what would end the
    // program or start another one.
    std::vector<QWidget*> Targets() const
    {
        std::vector<QWidget*> targets;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (!top->isVisible() || top->objectName() == QLatin1String("frmAbout") ||
                qobject_cast<QMenu*>(top))
                continue;
            for (QWidget* widget : top->findChildren<QWidget*>())
                if (widget->isVisible() && !Excluded(widget) && widget->width() > 0 && widget->height() > 0)
                    targets.push_back(widget);
        }
        return targets;
    }

    // The menus (where a letter could choose Exit) and the toolbar's Exit button.
    static bool Excluded(const QWidget* widget)
    {
        return qobject_cast<const QMenuBar*>(widget) || qobject_cast<const QMenu*>(widget) ||
               (qobject_cast<const QToolButton*>(widget) &&
                widget->accessibleName() == QLatin1String("Exit"));
    }

    QPoint PointIn(const QWidget* widget) { return {Pick(widget->width()), Pick(widget->height())}; }

    Qt::MouseButton Button()
    {
        static const std::vector<Qt::MouseButton> buttons{Qt::LeftButton, Qt::LeftButton, Qt::LeftButton,
                                                          Qt::RightButton, Qt::MiddleButton};
        return PickOf(buttons);
    }

    QString Click()
    {
        const auto targets = Targets();
        if (targets.empty())
            return QStringLiteral("click: nothing");
        QPointer<QWidget> widget = PickOf(targets);
        const Qt::MouseButton button = Button();
        const QPoint at = PointIn(widget);
        const QString name = widget->objectName();
        if (Pick(6) == 0) {
            QTest::mouseDClick(widget, button, {}, at);
        } else {
            // A click on the picture asks for a file: answer it some of the time. Other dialogs
            // that a click opens are cancelled by the watchdog.
            if (name == QLatin1String("Image1") && button == Qt::LeftButton)
                QueueFileAnswer();
            QTest::mouseClick(widget, button, {}, at);
        }
        return QStringLiteral("click %1 %2 at %3,%4").arg(name).arg(int(button)).arg(at.x()).arg(at.y());
    }

    // Press, a few moves (a rank bar follows them) and release, on one widget.
    QString Drag()
    {
        const auto targets = Targets();
        if (targets.empty())
            return QStringLiteral("drag: nothing");
        QPointer<QWidget> widget = PickOf(targets);
        const QString name = widget->objectName();
        const Qt::MouseButton button = Pick(3) == 0 ? Qt::RightButton : Qt::LeftButton;
        QTest::mousePress(widget, button, {}, PointIn(widget));
        for (int i = 0; i < 4 && widget; ++i) {
            QMouseEvent move(QEvent::MouseMove, PointIn(widget), widget->mapToGlobal(QPoint()), Qt::NoButton,
                             button, Qt::NoModifier);
            QApplication::sendEvent(widget, &move);
        }
        if (widget)
            QTest::mouseRelease(widget, button, {}, PointIn(widget));
        return QStringLiteral("drag %1").arg(name);
    }

    // What a drag from a die or a stat chip, or from another program, drops onto a widget.
    QString Drop()
    {
        const auto targets = Targets();
        if (targets.empty())
            return QStringLiteral("drop: nothing");
        QPointer<QWidget> widget = PickOf(targets);
        static const std::vector<QString> captions{QStringLiteral("57"),
                                                   QStringLiteral("-3"),
                                                   QStringLiteral("ST"),
                                                   QStringLiteral("PR"),
                                                   QStringLiteral("101"),
                                                   QStringLiteral("x"),
                                                   QString()};
        const QString caption = PickOf(captions);
        std::unique_ptr<QMimeData> data(CaptionMimeData(caption));
        const QPoint at = PointIn(widget);
        QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &enter);
        if (widget && enter.isAccepted()) {
            QDropEvent drop(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(widget, &drop);
        }
        return QStringLiteral("drop '%1' on %2").arg(caption, widget ? widget->objectName() : QString());
    }

    // Keys go to the focus widget, as a keyboard's do; now and then focus moves first.
    QWidget* KeyTarget()
    {
        QWidget* focus = QApplication::focusWidget();
        if (!focus || Excluded(focus) || Pick(3) == 0) {
            Focus();
            focus = QApplication::focusWidget();
        }
        return focus && !Excluded(focus) ? focus : nullptr;
    }

    QString Key()
    {
        QPointer<QWidget> widget = KeyTarget();
        if (!widget)
            return QStringLiteral("key: nothing");
        struct Press {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
        };
        // No Alt: it opens the menus, where a letter could choose Exit.
        static const std::vector<Press> keys{{Qt::Key_Return, {}},
                                             {Qt::Key_Enter, {}},
                                             {Qt::Key_Tab, {}},
                                             {Qt::Key_Backtab, Qt::ShiftModifier},
                                             {Qt::Key_Backspace, {}},
                                             {Qt::Key_Delete, {}},
                                             {Qt::Key_Left, {}},
                                             {Qt::Key_Right, {}},
                                             {Qt::Key_Up, {}},
                                             {Qt::Key_Down, {}},
                                             {Qt::Key_Home, {}},
                                             {Qt::Key_End, {}},
                                             {Qt::Key_PageUp, {}},
                                             {Qt::Key_PageDown, {}},
                                             {Qt::Key_Escape, {}},
                                             {Qt::Key_Space, {}},
                                             {Qt::Key_Z, Qt::ControlModifier},
                                             {Qt::Key_Y, Qt::ControlModifier},
                                             {Qt::Key_A, Qt::ControlModifier},
                                             {Qt::Key_C, Qt::ControlModifier},
                                             {Qt::Key_X, Qt::ControlModifier},
                                             {Qt::Key_V, Qt::ControlModifier},
                                             {Qt::Key_Insert, Qt::ShiftModifier},
                                             {Qt::Key_5, {}},
                                             {Qt::Key_Minus, {}},
                                             {Qt::Key_F4, {}}};
        const Press press = PickOf(keys);
        const QString name = widget->objectName();
        QTest::keyClick(widget, press.key, press.modifiers);
        return QStringLiteral("key %1+%2 on %3").arg(int(press.modifiers)).arg(press.key).arg(name);
    }

    QString Text()
    {
        QPointer<QWidget> widget = KeyTarget();
        if (!widget)
            return QStringLiteral("text: nothing");
        static const std::vector<QString> texts{
            QStringLiteral("7"),        QStringLiteral("42"),     QStringLiteral("101"),
            QStringLiteral("-12"),      QStringLiteral("2.5"),    QStringLiteral("&H1F"),
            QStringLiteral("1E3"),      QStringLiteral("abc"),    QStringLiteral("Örn Þór"),
            QStringLiteral("旅の記録"), QStringLiteral("[Name]"), QStringLiteral("a=b"),
            QStringLiteral(";x"),       QStringLiteral(" "),      QStringLiteral("99999999999")};
        const QString text = PickOf(texts);
        const QString name = widget->objectName();
        // Qt's key helpers take ASCII only; other letters come as a keyboard layout types them.
        for (const QChar c : text) {
            if (!widget)
                break;
            if (c.unicode() < 0x80) {
                QTest::keyClick(widget, c.toLatin1());
            } else {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
                QApplication::sendEvent(widget, &press);
                QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
                if (widget)
                    QApplication::sendEvent(widget, &release);
            }
        }
        return QStringLiteral("text '%1' on %2").arg(text, name);
    }

    QString Wheel()
    {
        const auto targets = Targets();
        if (targets.empty())
            return QStringLiteral("wheel: nothing");
        QPointer<QWidget> widget = PickOf(targets);
        const QPoint at = PointIn(widget);
        const int delta = Pick(2) ? 120 : -120;
        QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(widget, &wheel);
        return QStringLiteral("wheel %1 on %2").arg(delta).arg(widget ? widget->objectName() : QString());
    }

    // Text, nothing at all, or data that is no text.
    QString Clipboard()
    {
        QClipboard* clipboard = QGuiApplication::clipboard();
        switch (Pick(4)) {
        case 0:
            clipboard->clear();
            return QStringLiteral("clipboard cleared");
        case 1:
            clipboard->setMimeData(new QMimeData);
            return QStringLiteral("clipboard empty data");
        case 2: {
            auto* data = new QMimeData;
            data->setData(QStringLiteral("image/png"), "no text");
            clipboard->setMimeData(data);
            return QStringLiteral("clipboard without text");
        }
        default:
            clipboard->setText(QStringLiteral("12 pasted\nline"));
            return QStringLiteral("clipboard text");
        }
    }

    // Queued answers are taken by the next dialog, whichever it is, so one is queued only just
    // before a call that surely opens one.
    void QueueFileAnswer()
    {
        switch (Pick(5)) {
        case 0:
            FileDialog::SetNextFileName(m_picture);
            break;
        case 1:
            FileDialog::SetNextFileName(m_notPicture);
            break;
        case 2:
            FileDialog::SetNextCancel();
            break;
        default:
            break; // the dialog opens and the watchdog cancels it
        }
    }

    QString Command()
    {
        static const std::vector<const char*> items{"mnuNew",
                                                    "mnuLoad",
                                                    "mnuSave",
                                                    "mnuSummary",
                                                    "mnuDetail",
                                                    "mnuPreviewSummary",
                                                    "mnuPreviewDetail",
                                                    "mnuToolbar",
                                                    "mnuViewDice",
                                                    "mnuViewInventory",
                                                    "mnuStatsOver",
                                                    "mnuSummaryTemplate",
                                                    "mnuDetailTemplate",
                                                    "mnuSpacer",
                                                    "mnuPictureClick"};
        const char* name = PickOf(items);
        const bool canLoad = QFile::exists(m_saved);
        if (!qstrcmp(name, "mnuLoad")) {
            if (canLoad && Pick(2))
                FileDialog::SetNextFileName(m_saved);
            else
                QueueFileAnswer();
        } else if (!qstrcmp(name, "mnuSave")) {
            if (Pick(2))
                FileDialog::SetNextFileName(m_saved);
            else
                FileDialog::SetNextCancel();
        } else if (!qstrcmp(name, "mnuPictureClick") || !qstrcmp(name, "mnuSummaryTemplate") ||
                   !qstrcmp(name, "mnuDetailTemplate")) {
            QueueFileAnswer();
        }
        if (!qstrcmp(name, "mnuPictureClick")) {
            m_app.Inventory()->ChoosePicture();
        } else if (QAction* action = Item(m_app, name)) {
            action->trigger();
        }
        return QStringLiteral("command %1").arg(QLatin1String(name));
    }

    QString Focus()
    {
        const auto targets = Targets();
        if (targets.empty())
            return QStringLiteral("focus: nothing");
        std::vector<QWidget*> focusable;
        for (QWidget* widget : targets)
            if (widget->focusPolicy() != Qt::NoFocus && widget->isEnabled())
                focusable.push_back(widget);
        if (focusable.empty())
            return QStringLiteral("focus: nothing");
        QWidget* widget = PickOf(focusable);
        widget->activateWindow();
        QApplication::setActiveWindow(widget->window());
        widget->setFocus(Qt::OtherFocusReason);
        return QStringLiteral("focus %1").arg(widget->objectName());
    }

    KeldApplication& m_app;
    const QTemporaryDir& m_folder;
    std::mt19937 m_random;
    QString m_picture;
    QString m_notPicture;
    QString m_saved;
    QTimer m_watchdog;
};

// Every text a window shows by its control name, across the program's windows.
QHash<QString, QString> ShownTexts()
{
    QHash<QString, QString> shown;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        for (QWidget* widget : top->findChildren<QWidget*>()) {
            const QString name = widget->objectName();
            if (auto* edit = qobject_cast<QLineEdit*>(widget);
                edit && !qobject_cast<QComboBox*>(edit->parent()))
                shown.insert(name, edit->text());
            else if (auto* label = qobject_cast<QLabel*>(widget))
                shown.insert(name, label->text());
            else if (auto* note = qobject_cast<QPlainTextEdit*>(widget))
                shown.insert(name, note->toPlainText());
            else if (auto* list = qobject_cast<QComboBox*>(widget))
                shown.insert(name, list->currentText());
        }
    }
    return shown;
}

// A control that shows a field: its name, the field, and where the field is in keldcg-cli's JSON.
struct Shown {
    QString control;
    FieldId id;
    int index;
    Json::json_pointer json;
};

std::vector<Shown> ShownFields()
{
    std::vector<Shown> fields;
    auto add = [&fields](QString control, FieldId id, int index, const std::string& json) {
        fields.push_back({std::move(control), id, index, Json::json_pointer(json)});
    };
    const char* general[] = {"Name", "Height", "Weight", "HairColor", "EyeColor", "Demeanor", "Special"};
    for (int i = 0; i < 7; ++i)
        add(QStringLiteral("txtGeneral_%1").arg(i), FieldId::General, i, std::string("/") + general[i]);
    add(QStringLiteral("lstRace"), FieldId::RaceIndex, 0, "/Race");
    add(QStringLiteral("lstProf"), FieldId::ProfessionIndex, 0, "/Profession");
    add(QStringLiteral("lstYouth"), FieldId::YouthIndex, 0, "/Youth");
    add(QStringLiteral("txtLevel"), FieldId::Level, 0, "/Level");
    add(QStringLiteral("txtEXP"), FieldId::Experience, 0, "/Experience");
    add(QStringLiteral("lblPP"), FieldId::PowerPoints, 0, "/PowerPoints");
    for (int i = 0; i < 7; ++i) {
        const std::string stat = "/Stats/" + std::to_string(i);
        add(QStringLiteral("txtSTAT_%1").arg(i), FieldId::StatValue, i, stat + "/Value");
        add(QStringLiteral("lblNorm_%1").arg(i), FieldId::StatNorm, i, stat + "/Norm");
        add(QStringLiteral("lblRace_%1").arg(i), FieldId::StatRace, i, stat + "/Race");
        add(QStringLiteral("lblStatTotal_%1").arg(i), FieldId::StatTotal, i, stat + "/Total");
    }
    for (int row = 0; row < 36; ++row) {
        const std::string skill = "/Skills/" + std::to_string(row);
        add(QStringLiteral("lblRank_%1").arg(row), FieldId::Rank, row, skill + "/Rank");
        add(QStringLiteral("lblStat_%1").arg(row), FieldId::SkillStat, row, skill + "/Stat");
        add(QStringLiteral("lblProf_%1").arg(row), FieldId::SkillProf, row, skill + "/Prof");
        add(QStringLiteral("txtItem1_%1").arg(row), FieldId::Item1, row, skill + "/Item1");
        add(QStringLiteral("txtItem2_%1").arg(row), FieldId::Item2, row, skill + "/Item2");
        add(QStringLiteral("txtSpec1_%1").arg(row), FieldId::Spec1, row, skill + "/Spec1");
        add(QStringLiteral("txtSpec2_%1").arg(row), FieldId::Spec2, row, skill + "/Spec2");
        add(QStringLiteral("lblSkillTotal_%1").arg(row), FieldId::SkillTotal, row, skill + "/Total");
        add(QStringLiteral("lblStatIDENT_%1").arg(row), FieldId::StatCode, row, skill + "/StatCode");
        if (row >= 24 && row <= 28)
            add(QStringLiteral("txtSecondary_%1").arg(row), FieldId::SecondaryName, row,
                skill + "/SecondaryName");
    }
    add(QStringLiteral("lstArmor"), FieldId::ArmorType, 0, "/ArmorType");
    for (int slot = 0; slot < 8; ++slot) {
        const std::string n = std::to_string(slot);
        add(QStringLiteral("lstLanguages_%1").arg(slot), FieldId::LanguageName, slot,
            "/Languages/" + n + "/Name");
        add(QStringLiteral("lblLanguage_%1").arg(slot), FieldId::LanguageRank, slot,
            "/Languages/" + n + "/Rank");
        add(QStringLiteral("lstSpells_%1").arg(slot), FieldId::SpellName, slot, "/SpellLists/" + n + "/Name");
        add(QStringLiteral("txtSpell_%1").arg(slot), FieldId::SpellPercent, slot,
            "/SpellLists/" + n + "/Percent");
    }
    for (int coin = 0; coin < 5; ++coin)
        add(QStringLiteral("txtMoney_%1").arg(coin), FieldId::Money, coin, "/Money/" + std::to_string(coin));
    add(QStringLiteral("lblMoneyWeight"), FieldId::MoneyWeight, 0, "/MoneyWeight");
    add(QStringLiteral("txtBackground"), FieldId::Note, static_cast<int>(NoteKind::Background),
        "/Background");
    add(QStringLiteral("txtInventory"), FieldId::Note, static_cast<int>(NoteKind::Inventory), "/Inventory");
    add(QStringLiteral("txtMisc"), FieldId::Note, static_cast<int>(NoteKind::Miscellaneous),
        "/Miscellaneous");
    add(QStringLiteral("txtJournal"), FieldId::Note, static_cast<int>(NoteKind::Journal), "/Journal");
    return fields;
}

// A text as its control shows it: a note's line ends as LF alone.
QString AsShown(const Shown& field, const std::string& text)
{
    QString shown = QString::fromStdString(text);
    if (field.id == FieldId::Note)
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

// The text the record holds for a field, as the program's model gives it.
std::string ModelText(const SheetModel& model, const Shown& field)
{
    switch (field.id) {
    case FieldId::RaceIndex:
        return model.RaceName();
    case FieldId::ProfessionIndex:
        return model.ProfessionName();
    case FieldId::YouthIndex:
        return model.YouthName();
    default:
        return model.Text(field.id, field.index);
    }
}

} // namespace

// The boxes the monkey's inputs are meant to meet: a picture or a file that is none loaded as a
// character or chosen as a template, a print without a printer, and the about box's System Info
// button. A fault of the program (an internal error, memory run out) is never one of them.
bool ExpectedBox(const QString& box)
{
    static const QRegularExpression expected(QStringLiteral(
        "^(Load\nThe character (could not be loaded\\.|was loaded, )"
        "|KELD Character Generator\n(The report cannot be printed: there is no default printer\\."
        "|System Information Is Unavailable At This Time$"
        "|(?!(7|51) )[0-9]+ ))"));
    return expected.match(box).hasMatch();
}

class MonkeyTest : public QObject {
    Q_OBJECT
private slots:
    void RandomInputKeepsTheWindowsAndTheFileInStep()
    {
        const unsigned long seed = EnvNumber("KELD_MONKEY_SEED", 20261208);
        const unsigned long steps = EnvNumber("KELD_MONKEY_STEPS", 3000);
        // No step may take longer than this, events included: a step that hangs or crawls fails
        // the run with its name instead of running into the test's overall timeout.
        const qint64 stepBudgetMs = static_cast<qint64>(EnvNumber("KELD_MONKEY_STEP_MS", 20000));
        std::printf("KELD_MONKEY_SEED=%lu KELD_MONKEY_STEPS=%lu\n", seed, steps);
        std::fflush(stdout);

        ShellFixture fixture;
        QTemporaryDir folder;
        PrintDestination::SetFactory([] { return std::unique_ptr<QPrinter>(); });
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        Item(*app, "mnuViewDice")->trigger();
        QVERIFY(app->Sheet()->Dice());

        // KELD_MONKEY_TRACE prints every step as it starts, for a run that hangs or crashes.
        const bool trace = qEnvironmentVariableIsSet("KELD_MONKEY_TRACE");
        QStringList last;
        {
            Monkey monkey(*app, folder, seed);
            QElapsedTimer clock;
            for (unsigned long step = 0; step < steps; ++step) {
                clock.start();
                last << QString::number(step) + QStringLiteral(": ") + monkey.Step();
                if (trace) {
                    std::printf("%s\n", qPrintable(last.back()));
                    std::fflush(stdout);
                }
                if (last.size() > 12)
                    last.removeFirst();
                QCoreApplication::processEvents();
                Monkey::CloseModalAndPopups();
                if (app->Ended() || fixture.EndedCount() != 0)
                    QFAIL(qPrintable(QStringLiteral("the program ended; last steps:\n") + last.join(u'\n')));
                const qint64 took = clock.elapsed();
                if (took > stepBudgetMs)
                    QFAIL(qPrintable(QStringLiteral("a step took %1 ms; last steps:\n").arg(took) +
                                     last.join(u'\n')));
                // The monkey's own inputs may be refused with a box; any other box is a fault.
                for (const QString& box : MessageBox::TakeShown())
                    if (!ExpectedBox(box))
                        QFAIL(qPrintable(QStringLiteral("an unexpected message box:\n") + box +
                                         QStringLiteral("\nseed %1; last steps:\n").arg(seed) +
                                         last.join(u'\n')));
            }
        }
        const QString context = QStringLiteral("seed %1; last steps:\n%2").arg(seed).arg(last.join(u'\n'));
        // Focus leaves the box last typed into, as the user's click on Save would take it.
        app->Sheet()->setFocus();
        QCoreApplication::processEvents();

        // The windows show what the record holds.
        const std::vector<Shown> fields = ShownFields();
        CompareShown(
            fields, [&](const Shown& field) { return AsShown(field, ModelText(app->Model(), field)); },
            QStringLiteral("the record"), context);
        // The caption stays until a name is set.
        const QString title = app->Sheet()->windowTitle();
        QVERIFY2(title == QString::fromStdString(app->Model().Title()) ||
                     title == QLatin1String("KELD Character Sheet"),
                 qPrintable(title + QStringLiteral("; ") + context));
        if (QTest::currentTestFailed())
            return;

        // Saved, and loaded by a program just started, the windows show what keldcg-cli reads
        // from the file. (A load into the session's own sheet keeps what no file holds: the stat
        // codes that drops gave to rows other than the secondary skills, the "00" that New does not
        // lay out again, texts that an unchanged write leaves as typed.)
        const QString first = folder.filePath(QStringLiteral("first.kld"));
        FileDialog::SetNextFileName(first);
        app->Sheet()->Save();
        QVERIFY2(QFile::exists(first), qPrintable(MessageBox::TakeShown().join(u'\n') + context));
        const bool over102 = app->Model().Over102();
        app->Exit();
        app.reset();
        app = fixture.MakeApp();
        QVERIFY(app->Start());
        if (app->Model().Over102() != over102)
            Item(*app, "mnuStatsOver")->trigger();
        FileDialog::SetNextFileName(first);
        app->Sheet()->Load();
        const Json sheet =
            CliShow(QFileInfo(fixture.DataFile("racemod.txt")).absolutePath(), app->Model().Over102(), first);
        QVERIFY2(sheet.is_object(), qPrintable(context));
        CompareShown(
            fields,
            [&](const Shown& field) { return AsShown(field, sheet.at(field.json).get<std::string>()); },
            QStringLiteral("keldcg-cli"), context);
        QVERIFY2(app->Sheet()->windowTitle() ==
                         QString::fromStdString(sheet.at("Title").get<std::string>()) ||
                     app->Sheet()->windowTitle() == QLatin1String("KELD Character Sheet"),
                 qPrintable(context));
        const std::string picture = sheet.at("PictureFile").get<std::string>();
        QVERIFY2(
            app->Inventory()->findChild<QWidget*>(QStringLiteral("Image1"))->toolTip() ==
                (picture.empty() ? QStringLiteral("No picture loaded.") : QString::fromStdString(picture)),
            qPrintable(context));
        if (QTest::currentTestFailed())
            return;

        // Saving what was loaded gives the same file, once a first round has settled the line end
        // that every note read from a file ends with.
        const QString second = folder.filePath(QStringLiteral("second.kld"));
        const QString third = folder.filePath(QStringLiteral("third.kld"));
        FileDialog::SetNextFileName(second);
        app->Sheet()->Save();
        FileDialog::SetNextFileName(second);
        app->Sheet()->Load();
        FileDialog::SetNextFileName(third);
        app->Sheet()->Save();
        QVERIFY2(!ReadAll(second).isEmpty(), qPrintable(context));
        QVERIFY2(ReadAll(second) == ReadAll(third), qPrintable(context));
        PrintDestination::SetFactory({});
        app->Exit();
    }

    // Keys typed into a note reach the file and the report though focus never left the note.
    void TypedJournalReachesSaveAndPreview()
    {
        ShellFixture fixture;
        QTemporaryDir folder;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        auto* journal = app->Inventory()->findChild<QPlainTextEdit*>(QStringLiteral("txtJournal"));
        QVERIFY(journal);
        journal->moveCursor(QTextCursor::End);
        QTest::keyClicks(journal, QStringLiteral(" met Quill"));

        const QString saved = folder.filePath(QStringLiteral("typed.kld"));
        FileDialog::SetNextFileName(saved);
        app->Sheet()->Save();
        QVERIFY(ReadAll(saved).contains("Journal - met Quill"));

        QTest::keyClicks(journal, QStringLiteral(" at dawn"));
        Item(*app, "mnuPreviewDetail")->trigger();
        QVERIFY(app->Sheet()->Reports().Window());
        QVERIFY(app->Sheet()->Reports().Window()->Document().TextUtf8().find("Journal - met Quill at dawn") !=
                std::string::npos);
        app->Exit();
    }

    // Nor is a note typed last lost when the program ends, the note still having the focus.
    void TypedJournalReachesTheRecordAtExit()
    {
        ShellFixture fixture;
        auto app = fixture.MakeApp();
        QVERIFY(app->Start());
        auto* journal = app->Inventory()->findChild<QPlainTextEdit*>(QStringLiteral("txtJournal"));
        QVERIFY(journal);
        journal->setFocus();
        journal->moveCursor(QTextCursor::End);
        QTest::keyClicks(journal, QStringLiteral(" met Quill"));
        app->Exit();
        QVERIFY(app->Ended());
        QCOMPARE(app->Model().Record().Note(NoteKind::Journal), std::string("Journal - met Quill"));
    }

private:
    static void CompareShown(const std::vector<Shown>& fields,
                             const std::function<QString(const Shown&)>& expected, const QString& source,
                             const QString& context)
    {
        const QHash<QString, QString> shown = ShownTexts();
        QStringList differences;
        for (const Shown& field : fields) {
            if (!shown.contains(field.control)) {
                differences << field.control + QStringLiteral(" is missing");
                continue;
            }
            const QString want = expected(field);
            if (shown.value(field.control) != want)
                differences << QStringLiteral("%1 shows '%2', %3 has '%4'")
                                   .arg(field.control, shown.value(field.control), source, want);
        }
        QVERIFY2(differences.isEmpty(), qPrintable(differences.join(u'\n') + QStringLiteral("\n") + context));
    }
};

QTEST_MAIN(MonkeyTest)
#include "MonkeyTest.moc"
