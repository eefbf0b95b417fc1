// SPDX-License-Identifier: GPL-3.0-or-later
#include "inventory/window/InventoryWindow.h"

#include "inventory/MoneyWeight.h"
#include "inventory/window/PictureBox.h"
#include "settings/SettingsStore.h"
#include "binding/SheetBinding.h"
#include "ui/PasteGuard.h"
#include "ui/TextDrag.h"
#include "ui/Twips.h"
#include "ui/WindowPlace.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace keld {

namespace {

// Every kind the picture box reads comes first, so a picture of any of them shows at once.
const QString kPictureFilter = QStringLiteral(
    "Pictures|*.bmp;*.dib;*.gif;*.jpg;*.jpeg;*.png|Bitmaps (*.bmp)|*.bmp;*.dib|GIF (*.gif)|*.gif|"
    "JPEG/JPG (*.jpg)|*.jpg;*.jpeg|PNG (*.png)|*.png|All Files (*.*)|*.*");
const QString kNoPicture = QStringLiteral("No picture loaded.");

constexpr double kWindowWidthTwips = 8400;
constexpr double kWindowHeightTwips = 8100;
constexpr double kCoinBoxWidthTwips = 1100;

struct Coin {
    const char* caption;
    const char* spoken;
};
constexpr std::array<Coin, kMoneyCount> kCoins = {{{"Gold:", "Gold coins"},
                                                   {"Silver", "Silver coins"},
                                                   {"Bronze:", "Bronze coins"},
                                                   {"Copper:", "Copper coins"},
                                                   {"Tin:", "Tin coins"}}};

// The record keeps a note's line ends as CR LF, as the character file has them; the box works
// with LF alone.
QString NoteToQt(const std::string& note)
{
    QString text = ToQt(note);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

std::string NoteFromQt(QString text)
{
    text.replace(u'\n', QStringLiteral("\r\n"));
    return FromQt(text);
}

// Only typed characters are filtered: keys without text (arrows, Delete), control characters and
// shortcuts such as paste pass, so text that arrives otherwise is not filtered. Control with Alt is
// how some keyboards type characters, so that is filtered.
bool RejectsCoinKey(const QKeyEvent& key)
{
    const Qt::KeyboardModifiers chord =
        key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (chord == Qt::ControlModifier || chord == Qt::MetaModifier)
        return false;
    for (const char32_t c : key.text().toUcs4()) {
        const bool control = c < 0x20 || c == 0x7f;
        if (!control && !AcceptCoinKey(c))
            return true;
    }
    return false;
}

} // namespace

InventoryWindow::InventoryWindow(SheetBinding& binding, SettingsStore& settings, QWidget* parent)
    : QWidget(parent, Qt::Window), m_binding(binding), m_settings(settings), m_pictureDialog(this)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("KELD Character Inventory"));
    setAccessibleName(windowTitle());
    PasteGuard::Install();
    // A die or a stat chip dropped on a coin or a note would be spliced into its text.
    TextDropTarget::RefuseCaptionsElsewhere();
    m_heldNotes = m_binding.Model().RegisterHeldEdits([this] { FlushNotes(); });

    auto* top = new QHBoxLayout;
    top->addWidget(BuildMoney(), 0, Qt::AlignTop);
    top->addWidget(BuildPicture(), 0, Qt::AlignTop);
    // The background note has no caption: its text starts with its own heading.
    top->addWidget(BuildNote(NoteKind::Background, "txtBackground", QStringLiteral("Background")), 1);

    auto* notes = new QGridLayout;
    auto addCaptioned = [this, notes](QPlainTextEdit* edit, const char* name, const QString& caption, int row,
                                      int column, int columnSpan) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QString::fromLatin1(name));
        label->setBuddy(edit);
        notes->addWidget(label, row, column, 1, columnSpan);
        notes->addWidget(edit, row + 1, column, 1, columnSpan);
        notes->setRowStretch(row + 1, 1);
    };
    addCaptioned(BuildNote(NoteKind::Inventory, "txtInventory", QStringLiteral("Inventory")), "lblInventory",
                 QStringLiteral("Inventory:"), 0, 0, 1);
    addCaptioned(BuildNote(NoteKind::Miscellaneous, "txtMisc", QStringLiteral("Miscellaneous")), "lblMisc",
                 QStringLiteral("Miscellaneous:"), 0, 1, 1);
    addCaptioned(BuildNote(NoteKind::Journal, "txtJournal", QStringLiteral("Journal")), "lblJournal",
                 QStringLiteral("Journal:"), 2, 0, 2);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setAccessibleName(QStringLiteral("Status"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(notes, 1);
    layout->addWidget(m_status);

    m_binding.Bind(FieldId::PictureFile, 0, [this] { ShowRecordPicture(); });
    for (int i = 0; i < kMoneyCount; ++i)
        m_binding.BindLineEdit(m_money[i], FieldId::Money, i);
    m_binding.BindLabel(m_moneyWeight, FieldId::MoneyWeight, 0);
    // Show what the record holds now; later changes arrive through the binding.
    for (int i = 0; i < kMoneyCount; ++i)
        m_binding.FieldChanged(FieldId::Money, i);
    for (int note = 0; note < kNoteCount; ++note)
        m_binding.FieldChanged(FieldId::Note, note);
    m_binding.FieldChanged(FieldId::MoneyWeight, 0);
    m_binding.FieldChanged(FieldId::PictureFile, 0);

    resize(TwipsToPx(kWindowWidthTwips, this), TwipsToPx(kWindowHeightTwips, this));
}

InventoryWindow::~InventoryWindow()
{
    // What was typed last is not lost with the window; the registration ends with the member.
    FlushNotes();
}

void InventoryWindow::FlushNotes()
{
    for (int note = 0; note < kNoteCount; ++note) {
        if (!m_noteHeld[note])
            continue;
        m_noteHeld[note] = false;
        // The box already shows this text; its own change notice has nothing to do.
        const bool writing = std::exchange(m_writingNote, true);
        (void)m_binding.Model().EditText(FieldId::Note, note,
                                         NoteFromQt(m_notes[note]->toPlainText())); // any text
        m_writingNote = writing;
    }
}

QWidget* InventoryWindow::BuildMoney()
{
    auto* frame = new QGroupBox(QStringLiteral("Money"), this);
    frame->setObjectName(QStringLiteral("fraMoney"));
    auto* grid = new QGridLayout(frame);
    for (int i = 0; i < kMoneyCount; ++i) {
        auto* edit = new QLineEdit(frame);
        edit->setObjectName(QStringLiteral("txtMoney_%1").arg(i));
        edit->setAccessibleName(QString::fromLatin1(kCoins[i].spoken));
        edit->setFixedWidth(TwipsToPx(kCoinBoxWidthTwips, this));
        edit->setInputMethodHints(Qt::ImhDigitsOnly);
        // Composed input would bypass the key filter.
        edit->setAttribute(Qt::WA_InputMethodEnabled, false);
        edit->installEventFilter(this);
        auto* caption = new QLabel(QString::fromLatin1(kCoins[i].caption), frame);
        caption->setObjectName(QStringLiteral("lblMoney_%1").arg(i));
        caption->setBuddy(edit);
        grid->addWidget(caption, i, 0);
        grid->addWidget(edit, i, 1, 1, 2);
        m_money[i] = edit;
    }
    auto* caption = new QLabel(QStringLiteral("Weight:"), frame);
    caption->setObjectName(QStringLiteral("lblWeight"));
    m_moneyWeight = new QLabel(frame);
    m_moneyWeight->setObjectName(QStringLiteral("lblMoneyWeight"));
    m_moneyWeight->setAccessibleDescription(QStringLiteral("Money weight in pounds"));
    m_moneyWeight->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* unit = new QLabel(QStringLiteral("lbs"), frame);
    unit->setObjectName(QStringLiteral("lblLbs"));
    grid->addWidget(caption, kMoneyCount, 0);
    grid->addWidget(m_moneyWeight, kMoneyCount, 1);
    grid->addWidget(unit, kMoneyCount, 2);
    grid->setColumnStretch(1, 1);
    return frame;
}

QWidget* InventoryWindow::BuildPicture()
{
    auto* frame = new QGroupBox(QStringLiteral("Picture"), this);
    frame->setObjectName(QStringLiteral("fraPicture"));
    // The box moves and resizes inside a fixed square, so fitting a picture never shifts the layout.
    m_pictureArea = new QWidget(frame);
    m_pictureArea->setObjectName(QStringLiteral("picArea"));
    const int side = TwipsToPx(kPictureBoxTwips, this);
    m_pictureArea->setFixedSize(side, side);
    m_picture = new PictureBox(m_pictureArea);
    m_picture->setObjectName(QStringLiteral("Image1"));
    m_picture->setAccessibleName(QStringLiteral("Character picture"));
    connect(m_picture, &PictureBox::clicked, this, &InventoryWindow::ChoosePicture);
    SetPictureBoxTwips(m_boxTwips);
    auto* layout = new QVBoxLayout(frame);
    layout->addWidget(m_pictureArea);
    return frame;
}

QPlainTextEdit* InventoryWindow::BuildNote(NoteKind note, const char* objectName,
                                           const QString& accessibleName)
{
    auto* edit = new NoteEdit(this);
    edit->setObjectName(QString::fromLatin1(objectName));
    edit->setAccessibleName(accessibleName);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setTabChangesFocus(true);
    edit->installEventFilter(this);
    const int index = static_cast<int>(note);
    m_notes[index] = edit;
    m_binding.Bind(FieldId::Note, index, [this, edit, index] {
        if (m_writingNote)
            return;
        // The record's note replaces whatever the box held.
        m_noteHeld[index] = false;
        const QString text = NoteToQt(m_binding.Model().Text(FieldId::Note, index));
        if (edit->toPlainText() != text) {
            const QSignalBlocker blocker(edit);
            edit->setPlainText(text);
        }
    });
    connect(edit, &QPlainTextEdit::textChanged, this, [this, index] { m_noteHeld[index] = true; });
    return edit;
}

Status InventoryWindow::Open()
{
    if (QLayout* own = layout())
        own->activate();
    resize(size().expandedTo(minimumSizeHint()));
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // The frame is known only once the window is shown; until then it is the window itself.
    const auto fallback = [this, area] {
        const QSize frame = frameGeometry().size();
        return QPoint(area.right() + 1 - frame.width(), area.bottom() + 1 - frame.height());
    };

    const auto stored = LoadWindowPlace(m_settings, ApplicationName(), "FORM4", fallback(), this);
    if (!stored)
        return stored.Error();

    const QPoint place = *stored;
    // A place left behind by a screen that is gone could never be reached.
    const bool atDefault = place == fallback() || !OnSomeScreen(QRect(place, frameGeometry().size()));
    move(atDefault ? fallback() : place);
    // Wholly on the screen, also once the window system has added the frame to its size.
    FitOnScreenWhenShown(this);
    show();
    if (atDefault)
        move(fallback());
    FitOnScreen(this);
    raise();
    return Success();
}

void InventoryWindow::SavePosition()
{
    SaveWindowPlace(m_settings, ApplicationName(), "FORM4", pos(), this);
}

void InventoryWindow::closeEvent(QCloseEvent* event)
{
    // The window and its contents live for the whole run; closing only hides it.
    SavePosition();
    hide();
    event->ignore();
}

bool InventoryWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut &&
        std::find(m_notes.begin(), m_notes.end(), watched) != m_notes.end())
        FlushNotes();
    if (event->type() == QEvent::KeyPress &&
        std::find(m_money.begin(), m_money.end(), watched) != m_money.end())
        if (RejectsCoinKey(*static_cast<QKeyEvent*>(event)))
            return true;
    return QWidget::eventFilter(watched, event);
}

void InventoryWindow::ChoosePicture()
{
    const auto chosen = m_pictureDialog.ShowOpen(kPictureFilter, QStringLiteral("bmp"));
    if (!chosen)
        return;
    // A picture that cannot be loaded leaves the one shown, and its path stays the one saved, so
    // the saved character has the picture the user sees.
    auto picture = LoadPictureFile(*chosen, PictureShownPx());
    if (!picture) {
        ShowPictureWarning(picture.Error());
        return;
    }
    m_choosing = true;
    (void)m_binding.Model().WritePictureFile(FromQt(*chosen));
    m_choosing = false;
    const double width = PxToTwips(picture->Natural.width(), this);
    const double height = PxToTwips(picture->Natural.height(), this);
    SetPictureBoxTwips(FitPicture(width, height));
    m_picture->SetImage(std::move(picture->Image));
    m_picture->setToolTip(*chosen);
    m_picture->setAccessibleDescription(*chosen);
    m_status->clear();
}

// A picture that comes with a loaded character (or goes with New) is stretched to the box as it
// stands.
void InventoryWindow::ShowRecordPicture()
{
    if (m_choosing)
        return;
    // A relative path of a loaded character is found beside its file first.
    const QString path = ToQt(m_binding.Model().PictureFileToOpen());
    m_status->clear();
    if (path.isEmpty()) {
        m_picture->SetImage({});
        m_picture->setToolTip(kNoPicture);
        m_picture->setAccessibleDescription(kNoPicture);
        return;
    }
    m_picture->setToolTip(path);
    m_picture->setAccessibleDescription(path);
    auto picture = LoadPictureFile(path, PictureShownPx());
    if (!picture) {
        // The old picture belongs to another character.
        m_picture->SetImage({});
        ShowPictureWarning(picture.Error());
        return;
    }
    m_picture->SetImage(std::move(picture->Image));
}

QSize InventoryWindow::PictureShownPx() const
{
    // At least twice the box, so the picture stays sharp on a dense screen it is moved to.
    const double scale = std::max(2.0, devicePixelRatioF());
    const int side = static_cast<int>(std::ceil(TwipsToPx(kPictureBoxTwips, this) * scale));
    return {side, side};
}

void InventoryWindow::SetPictureBoxTwips(PictureSize size)
{
    m_boxTwips = size;
    const int side = m_pictureArea->width();
    const int width = std::max(1, TwipsToPx(size.Width, this));
    const int height = std::max(1, TwipsToPx(size.Height, this));
    m_picture->setGeometry((side - width) / 2, (side - height) / 2, width, height);
}

void InventoryWindow::ShowPictureWarning(const KeldError& error)
{
    const QString why = ToQt(error.Detail().empty() ? error.Description() : error.Detail());
    m_status->setText(QStringLiteral("Picture not loaded (%1): %2").arg(why, ToQt(error.File())));
}

QString InventoryWindow::StatusText() const
{
    return m_status->text();
}

} // namespace keld
