// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/SheetModel.h"
#include "common/KeldError.h"
#include "inventory/InventoryFields.h"
#include "inventory/PictureFit.h"
#include "ui/FileDialog.h"

#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace keld {

class PictureBox;
class SheetBinding;
class SettingsStore;

// The inventory window (Form4): notes, money and its weight, the picture. A view over the sheet's
// record through the binding, which must outlive it. Closing only hides it.
class InventoryWindow : public QWidget {
    Q_OBJECT
public:
    InventoryWindow(SheetBinding& binding, SettingsStore& settings, QWidget* parent = nullptr);
    ~InventoryWindow() override;

    // Places the window at its stored position ("FORM4TOP", "FORM4LEFT"; the bottom right corner
    // of the screen by default, and when the stored place is on no screen at all) and shows it.
    // Error 13 when a stored coordinate is not a number; the window is then neither moved nor shown.
    Status Open();
    // Saves the position in twips; done on every close, and by the shell at exit.
    void SavePosition();

    // The picture chooser, as a click on the picture runs it.
    void ChoosePicture();
    // The picture box's size in twips as it stands.
    PictureSize PictureBoxTwips() const { return m_boxTwips; }
    // The status line's warning, empty when there is none.
    QString StatusText() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* BuildMoney();
    QWidget* BuildPicture();
    QPlainTextEdit* BuildNote(NoteKind note, const char* objectName, const QString& accessibleName);
    void ShowRecordPicture();
    void SetPictureBoxTwips(PictureSize size);
    void ShowPictureWarning(const KeldError& error);
    // Writes the notes typed since the last hand-over into the record.
    void FlushNotes();
    // The largest size in device pixels the picture box can show.
    QSize PictureShownPx() const;

    SheetBinding& m_binding;
    SettingsStore& m_settings;
    FileDialog m_pictureDialog;
    std::array<QLineEdit*, kMoneyCount> m_money{};
    std::array<QPlainTextEdit*, kNoteCount> m_notes{};
    // A note typed into is converted and written to the record when focus leaves it, a command
    // asks the model for held edits, or a note is written; not on every key: a long journal
    // would otherwise cost its whole length per key.
    std::array<bool, kNoteCount> m_noteHeld{};
    HeldEditsRegistration m_heldNotes;
    bool m_writingNote = false;
    QLabel* m_moneyWeight = nullptr;
    QWidget* m_pictureArea = nullptr;
    PictureBox* m_picture = nullptr;
    PictureSize m_boxTwips{kPictureBoxTwips, kPictureBoxTwips};
    QLabel* m_status = nullptr;
    // Set while the chooser writes the path, so the record's change does not load it a second time.
    bool m_choosing = false;
};

} // namespace keld
