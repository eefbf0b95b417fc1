// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/SheetModel.h"
#include "common/KeldError.h"
#include "rules/RulesTables.h"
#include "settings/SettingsStore.h"
#include "binding/SheetBinding.h"

#include <QMessageBox>
#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace keld {

class InventoryWindow;
class MainWindow;
class TerminationWatcher;

// The program: owns the open character, the rules tables, the settings and the windows for the
// whole run, brings them up in order and takes them down again.
class KeldApplication : public QObject {
    Q_OBJECT
public:
    struct Options {
        // Where the settings store lives; empty for the user's configuration folder.
        std::filesystem::path configFolder;
        // Where the rules data, the default templates and keldcg.log are; empty to look in the
        // program folder, then the installed data folder.
        std::filesystem::path dataFolder;
        // Ends the program after the exit sequence; empty to leave the event loop.
        std::function<void()> endProgram;
    };

    KeldApplication();
    explicit KeldApplication(Options options);
    ~KeldApplication() override;

    // Runs the start-up sequence; false when the user chose Abort in its error box.
    bool Start();
    // The exit sequence: closes the companion windows, then the sheet, which stores its settings,
    // and ends the program. Errors on the way are ignored.
    void Exit();
    bool Ended() const { return m_ended; }

    SheetModel& Model() { return m_model; }
    SettingsStore& Settings() { return m_settings; }
    const std::string& AppName() const { return m_appName; }
    const QString& DetailTemplatePath() const { return m_detailTemplatePath; }
    const QString& SummaryTemplatePath() const { return m_summaryTemplatePath; }
    // Null before start-up created them.
    MainWindow* Sheet() const { return m_sheet.get(); }
    InventoryWindow* Inventory() const { return m_inventory.get(); }

signals:
    // An error stopped a start-up step; the error box follows.
    void startupErrorRaised(const keld::KeldError& error);

private:
    // Runs a start-up step under the error box; false for Abort.
    bool RunStep(const std::function<Status()>& step);
    QMessageBox::StandardButton ShowStartupError(const KeldError& error);
    Status ShowInventory();
    // The sheet's opening, each of its steps under the error box; false for Abort.
    bool OpenSheet();
    void CloseCompanions();
    void CloseSheet();
    void Abort();
    void End();
    std::filesystem::path DataFolderFor(const char* fileName) const;

    Options m_options;
    std::string m_appName;
    SettingsStore m_settings;
    RulesTables m_tables;
    SheetModel m_model;
    SheetBinding m_binding;
    QString m_detailTemplatePath;
    QString m_summaryTemplatePath;
    std::unique_ptr<InventoryWindow> m_inventory;
    std::unique_ptr<MainWindow> m_sheet;
    std::unique_ptr<TerminationWatcher> m_termination;
    bool m_sheetClosing = false;
    bool m_ended = false;
};

} // namespace keld
