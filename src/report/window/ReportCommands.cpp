// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/window/ReportCommands.h"

#include "character/SheetModel.h"
#include "common/KeldError.h"
#include "common/TextFile.h"
#include "report/RtfDocument.h"
#include "report/window/ReportWindow.h"
#include "settings/SettingsStore.h"
#include "ui/BusyGuard.h"
#include "ui/FileDialog.h"

#include <exception>
#include <new>
#include <optional>

namespace keld {

namespace {

const QString kTemplateFilter = QStringLiteral("(*.rtf)|*.rtf");

// Runs a command's steps; a failure that escapes them comes back as the error to show.
template <typename Steps> std::optional<KeldError> Guarded(Steps steps)
{
    try {
        steps();
        return std::nullopt;
    } catch (const KeldException& e) {
        return e.Error();
    } catch (const std::bad_alloc&) {
        return KeldError(kErrOutOfMemory);
    } catch (const std::exception& e) {
        // A fault of the program, not of the user's template: said as such.
        return KeldError(kErrInternal, e.what());
    }
}

QString ErrorText(const KeldError& error, const char* separator)
{
    return QString::number(error.Number()) + QLatin1String(separator) +
           QString::fromStdString(error.Description());
}

// A template that cannot be used: the number and description, then the file and the reason.
QString TemplateErrorText(const KeldError& error)
{
    QString text = ErrorText(error, "  ");
    const QString file = QString::fromStdString(error.File());
    const QString reason = QString::fromStdString(error.Detail());
    if (!file.isEmpty())
        text += QStringLiteral("\n%1: %2").arg(file, reason.isEmpty() ? QString::fromStdString(error.Description())
                                                                       : reason);
    else if (!reason.isEmpty())
        text += u'\n' + reason;
    return text;
}

} // namespace

ReportCommands::ReportCommands(SheetModel& model, QWidget* sheet, FileDialog& sheetDialog,
                               SettingsStore& settings, QString& detailTemplatePath,
                               QString& summaryTemplatePath, QObject* parent)
    : QObject(parent), m_model(model), m_sheet(sheet), m_sheetDialog(sheetDialog), m_settings(settings),
      m_detailTemplatePath(detailTemplatePath), m_summaryTemplatePath(summaryTemplatePath)
{
}

ReportWindow* ReportCommands::LoadReportTemplate(const QString& path)
{
    (void)LoadTemplateInto(path); // reported to the user; the window keeps its report
    return m_window;
}

bool ReportCommands::LoadTemplateInto(const QString& path)
{
    if (!m_window) {
        auto* window = new ReportWindow(m_model, m_sheet);
        connect(window, &ReportWindow::Closed, this, [this, window] {
            if (m_window == window)
                m_window = nullptr;
        });
        m_window = window;
    }
    if (Status loaded = m_window->LoadTemplate(path); !loaded) {
        ShowReportMessage(m_sheet, QMessageBox::Critical, TemplateErrorText(loaded.Error()));
        return false;
    }
    return true;
}

void ReportCommands::Print(const QString& path)
{
    // After the template message nothing goes to the printer: what the window held is not the
    // report that was asked for.
    if (!LoadTemplateInto(path)) {
        CloseReportWindow();
        return;
    }
    ReportWindow* window = m_window;
    // The report shows the note typed last, though its box may still have the focus.
    m_model.HandOverHeldEdits();
    window->FillData();
    window->Print();
    CloseReportWindow();
}

void ReportCommands::Preview(const QString& path)
{
    std::optional<KeldError> failure;
    {
        BusyGuard busy;
        ProcessPaintEvents();
        failure = Guarded([&] {
            ReportWindow* window = LoadReportTemplate(path);
            m_model.HandOverHeldEdits();
            window->FillData();
            window->show();
            window->raise();
            window->activateWindow();
        });
    }
    ProcessPaintEvents();
    if (failure)
        ShowReportMessage(m_sheet, QMessageBox::Critical, ErrorText(*failure, " "));
}

void ReportCommands::PrintDetail()
{
    std::optional<KeldError> failure;
    {
        BusyGuard busy;
        ProcessPaintEvents();
        failure = Guarded([&] { Print(m_detailTemplatePath); });
    }
    ProcessPaintEvents();
    if (failure)
        ShowReportMessage(
            m_sheet, QMessageBox::Critical,
            ErrorText(*failure, " ") +
                QStringLiteral("\nPlease report this error and it's circumstances to the developer."));
}

void ReportCommands::PrintSummary()
{
    if (std::optional<KeldError> failure = Guarded([&] { Print(m_summaryTemplatePath); }))
        ShowReportMessage(m_sheet, QMessageBox::Critical, ErrorText(*failure, " "));
}

void ReportCommands::PreviewDetail()
{
    Preview(m_detailTemplatePath);
}

void ReportCommands::PreviewSummary()
{
    Preview(m_summaryTemplatePath);
}

void ReportCommands::ChooseTemplate(QString& path, const char* key)
{
    Result<QString> chosen = m_sheetDialog.ShowOpen(kTemplateFilter, QStringLiteral("rtf"));
    if (!chosen)
        return;
    // A file that is no template is refused now, while the user still knows which file it was.
    {
        RtfDocument probe;
        if (Status loaded = probe.LoadFile(PathFromUtf8(chosen->toStdString())); !loaded) {
            ShowReportMessage(m_sheet, QMessageBox::Critical, TemplateErrorText(loaded.Error()));
            return;
        }
    }
    path = *chosen;
    // A rare choice the user made on purpose: written at once rather than at exit, so that a crash
    // later in the run does not lose it. The choice holds for this run either way; the user should
    // know when it will not outlive it.
    const std::string app = ApplicationName();
    Status saved = m_settings.SaveSetting(app, "Options", key, chosen->toStdString());
    if (saved)
        saved = m_settings.Flush(app);
    if (!saved)
        ShowReportMessage(
            m_sheet, QMessageBox::Warning,
            QStringLiteral("The template %1 is used until the program ends, but it could not be "
                           "remembered for the next start.")
                .arg(*chosen),
            QMessageBox::Ok,
            QString::fromStdString(saved.Error().File()) + QStringLiteral(": ") +
                QString::fromStdString(saved.Error().Detail().empty() ? saved.Error().Description()
                                                                      : saved.Error().Detail()));
}

void ReportCommands::ChooseDetailTemplate()
{
    ChooseTemplate(m_detailTemplatePath, "DetailTemplate");
}

void ReportCommands::ChooseSummaryTemplate()
{
    ChooseTemplate(m_summaryTemplatePath, "SummaryTemplate");
}

void ReportCommands::CloseReportWindow()
{
    if (ReportWindow* window = m_window) {
        m_window = nullptr;
        window->close();
    }
}

} // namespace keld
