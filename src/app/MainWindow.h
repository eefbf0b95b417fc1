// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/AboutBox.h"
#include "app/ToolbarWindow.h"
#include "common/KeldError.h"
#include "dice/window/DiceWindow.h"
#include "ui/FileDialog.h"

#include <QMainWindow>
#include <QPointer>

#include <filesystem>
#include <string>

class QAction;
class QMenu;

namespace keld {

struct CharacterFileWarnings;
class ReportCommands;
class SettingsStore;
class SheetBinding;
class SheetModel;
class SheetView;

// The character sheet window (Form2): the sheet's panel, its menu bar and the commands behind
// the menus and the toolbar window. Start-up and exit are the program's (KeldApplication); this
// window reads and writes its own settings when told to.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The template paths are the program-wide ones, shared with the report commands; logFile is
    // the about box's release history.
    MainWindow(SheetBinding& binding, SettingsStore& settings, std::string appName,
               std::filesystem::path logFile, QString& detailTemplatePath, QString& summaryTemplatePath,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // The opening steps that read the store, each failing with error 13 on a stored text that is
    // not a number: the height, top and left in twips; the Toolbar item (and the toolbar window);
    // the "Stats Over 102" item and the option.
    Status RestoreGeometry();
    Status RestoreToolbar();
    Status RestoreStatsOver();
    // What closing the sheet stores, in this order: height, top, left, Toolbar, Stats Over 102.
    void SaveSettings();

    // The menu commands.
    void New();
    // ClearCharacter, and the caption then names the (empty) character, as at start-up.
    void ClearCharacter();
    void Load();
    void Save();
    void ShowAbout();
    void ShowDice();
    void SetToolbarShown(bool shown);
    // Exit's steps for the sheet's companions; each does nothing for a window that is not open.
    void CloseDice();
    void CloseReportWindow();
    void CloseToolbarAndAbout();

    SheetView* View() const { return m_view; }
    FileDialog& Dialog() { return m_dialog; }
    ReportCommands& Reports() const { return *m_reports; }
    // Null until first needed.
    ToolbarWindow* Toolbar() const { return m_toolbar; }
    DiceWindow* Dice() const { return m_dice; }
    AboutBox* About() const { return m_about; }
    // A menu item by its name ("mnuSave").
    QAction* MenuItem(const QString& name) const;

signals:
    // "E&xit" was chosen.
    void exitRequested();
    // The window's close box was used.
    void closeRequested();
    // "&Inventory" was chosen.
    void inventoryRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildMenus();
    QAction* AddItem(QMenu* menu, const char* name, const QString& caption);
    QMenu* AddMenu(QMenu* parent, const char* name, const QString& caption, const QString& spoken);
    void EnsureToolbar();
    void DockToolbar();
    void ApplyStoredHeight();
    void ShowFileError(const QString& title, const QString& text, const KeldError& error,
                       const QString& path);
    void ShowLoadWarnings(const CharacterFileWarnings& read, const QString& path);
    void ShowTitle();

    SheetBinding& m_binding;
    SheetModel& m_model;
    SettingsStore& m_settings;
    std::string m_appName;
    std::filesystem::path m_logFile;
    FileDialog m_dialog;
    SheetView* m_view;
    ReportCommands* m_reports;
    QPointer<ToolbarWindow> m_toolbar;
    QPointer<DiceWindow> m_dice;
    QPointer<AboutBox> m_about;
    QAction* m_mnuToolbar = nullptr;
    QAction* m_mnuStatsOver = nullptr;
    std::string m_shownTitle;
    // Whether the flag was read from the store or set by the user, so exit may write it.
    bool m_toolbarKnown = true;
    bool m_statsOverKnown = true;
    // The stored height is the whole window's; the frame's share is known only once the window
    // system has framed it, so the height is set again then.
    int m_wantedFrameHeight = 0;
    int m_frameExtraUsed = 0;
};

} // namespace keld
