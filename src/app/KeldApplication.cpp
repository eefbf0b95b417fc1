// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/KeldApplication.h"

#include "app/MainWindow.h"
#include "app/TerminationWatcher.h"
#include "common/ProgramFolder.h"
#include "common/TextFile.h"
#include "inventory/window/InventoryWindow.h"
#include "ui/BusyGuard.h"
#include "ui/MessageBox.h"
#include "ui/PasteGuard.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace keld {

namespace {

SettingsStore MakeStore(const std::filesystem::path& folder)
{
    return folder.empty() ? SettingsStore() : SettingsStore(folder);
}

} // namespace

KeldApplication::KeldApplication() : KeldApplication(Options{}) {}

KeldApplication::KeldApplication(Options options)
    : m_options(std::move(options)), m_appName(ApplicationName()),
      m_settings(MakeStore(m_options.configFolder)), m_model(&m_tables), m_binding(m_model)
{
    // Long rule loops repaint but take no input, so a second click cannot enter the core
    // half-way through a chain; it runs when the loop is over.
    m_model.SetProcessEvents(ProcessPaintEvents);
    // Every window's text boxes, against a paste of nothing.
    PasteGuard::Install();

    // The session may end without the Exit command: a logout, a shutdown, the window system.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this, [this] { Exit(); });
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { Exit(); });
    }
    m_termination = std::make_unique<TerminationWatcher>();
    connect(m_termination.get(), &TerminationWatcher::terminationRequested, this, &KeldApplication::Exit);
}

KeldApplication::~KeldApplication()
{
    // The windows go before the binding and the model they show.
    m_sheet.reset();
    m_inventory.reset();
}

std::filesystem::path KeldApplication::DataFolderFor(const char* fileName) const
{
    return m_options.dataFolder.empty() ? FindDataFolder(fileName) : m_options.dataFolder;
}

bool KeldApplication::Start()
{
    m_ended = false;
    m_sheetClosing = false;
    // The store is read once, here; one that cannot be used is set aside, and the box says so.
    const bool started =
        RunStep([this] { return m_settings.Load(m_appName); }) && RunStep([this] {
            m_detailTemplatePath = QString::fromStdString(
                m_settings.GetSetting(m_appName, "Options", "DetailTemplate",
                                      PathToUtf8(DataFolderFor("detchar.rtf") / "detchar.rtf")));
            return Success();
        }) &&
        RunStep([this] {
            m_summaryTemplatePath = QString::fromStdString(
                m_settings.GetSetting(m_appName, "Options", "SummaryTemplate",
                                      PathToUtf8(DataFolderFor("subchar.rtf") / "subchar.rtf")));
            return Success();
        }) &&
        RunStep([this] { return ShowInventory(); }) && OpenSheet();
    if (!started) {
        Abort();
        return false;
    }
    // Whatever the opening got through, the sheet is the program's window and must be there.
    m_sheet->show();
    return true;
}

bool KeldApplication::RunStep(const std::function<Status()>& step)
{
    for (;;) {
        const Status status = step();
        if (status)
            return true;
        switch (ShowStartupError(status.Error())) {
        case QMessageBox::Retry:
            continue;
        case QMessageBox::Ignore:
            return true;
        default:
            return false;
        }
    }
}

QMessageBox::StandardButton KeldApplication::ShowStartupError(const KeldError& error)
{
    emit startupErrorRaised(error);
    QString where;
    if (!error.File().empty())
        where = QString::fromStdString(error.Location());
    return MessageBox::Show(nullptr, QMessageBox::Critical, tr("Error"),
                            QString::fromStdString(error.StartupMessage()),
                            QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, where);
}

Status KeldApplication::ShowInventory()
{
    if (!m_inventory)
        m_inventory = std::make_unique<InventoryWindow>(m_binding, m_settings);
    return m_inventory->Open();
}

bool KeldApplication::OpenSheet()
{
    if (!m_sheet) {
        m_sheet = std::make_unique<MainWindow>(m_binding, m_settings, m_appName,
                                               DataFolderFor("keldcg.log") / "keldcg.log",
                                               m_detailTemplatePath, m_summaryTemplatePath);
        connect(m_sheet.get(), &MainWindow::exitRequested, this, &KeldApplication::Exit);
        connect(m_sheet.get(), &MainWindow::closeRequested, this, [this] {
            if (!m_sheetClosing && !m_ended)
                CloseSheet();
        });
        connect(m_sheet.get(), &MainWindow::inventoryRequested, this, [this] {
            if (!m_inventory)
                return;
            m_inventory->show();
            m_inventory->raise();
            m_inventory->activateWindow();
        });
    }
    // Each step of the opening stands under the error box on its own: Ignore goes on with the
    // next, so one bad setting or rules file leaves the rest of the sheet working. A table
    // that failed fills its list with what it holds (at least the blank entry).
    return RunStep([this] { return m_sheet->RestoreGeometry(); }) &&
           RunStep([this] { return m_sheet->RestoreToolbar(); }) &&
           RunStep([this] { return m_sheet->RestoreStatsOver(); }) && RunStep([this] {
               m_sheet->ClearCharacter();
               return Success();
           }) &&
           RunStep([this] {
               const Status loaded = LoadRaceTable(DataFolderFor(kRaceFileName), m_tables);
               m_model.FillRaceList();
               return loaded;
           }) &&
           RunStep([this] {
               const Status loaded = LoadProfessionTable(DataFolderFor(kProfessionFileName), m_tables);
               m_model.FillProfessionList();
               return loaded;
           }) &&
           RunStep([this] {
               const Status loaded = LoadYouthTable(DataFolderFor(kYouthFileName), m_tables);
               m_model.FillYouthList();
               return loaded;
           });
}

void KeldApplication::Exit()
{
    if (m_ended)
        return;
    // The record is complete from here on, whatever the windows held back when they close.
    m_model.HandOverHeldEdits();
    CloseCompanions();
    if (!m_sheetClosing && m_sheet) {
        // Closing the sheet stores its settings and runs this sequence once more, which ends.
        CloseSheet();
        return;
    }
    End();
}

void KeldApplication::CloseCompanions()
{
    if (m_sheet) {
        m_sheet->CloseDice();
        m_sheet->CloseReportWindow();
    }
    // The inventory window only hides; it stores its place on each pass, as closing it does.
    if (m_inventory) {
        m_inventory->SavePosition();
        m_inventory->hide();
    }
    if (m_sheet)
        m_sheet->CloseToolbarAndAbout();
}

void KeldApplication::CloseSheet()
{
    m_sheetClosing = true;
    m_sheet->SaveSettings();
    m_sheet->hide();
    Exit();
}

void KeldApplication::Abort()
{
    // Nothing is stored: the windows go without their closing steps.
    m_ended = true;
    if (m_sheet)
        m_sheet->hide();
    if (m_inventory)
        m_inventory->hide();
}

void KeldApplication::End()
{
    m_ended = true;
    // Everything the run saved goes to the file in one write. Like every error of the exit
    // sequence, a failure is not shown: there is no window left to show it in.
    (void)m_settings.Flush(m_appName);
    if (m_options.endProgram)
        m_options.endProgram();
    else
        QCoreApplication::exit(0);
}

} // namespace keld
