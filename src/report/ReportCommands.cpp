#include "ReportCommands.h"

namespace keld {

ReportCommands::ReportCommands(SheetModel& model, QWidget* sheet, FileDialog& sheetDialog,
                               const SettingsStore& settings, QString& detailTemplatePath,
                               QString& summaryTemplatePath, QObject* parent)
    : QObject(parent), m_model(model), m_sheet(sheet), m_sheetDialog(sheetDialog), m_settings(settings),
      m_detailTemplatePath(detailTemplatePath), m_summaryTemplatePath(summaryTemplatePath)
{
}

void ReportCommands::PrintDetail() {}
void ReportCommands::PrintSummary() {}
void ReportCommands::PreviewDetail() {}
void ReportCommands::PreviewSummary() {}
void ReportCommands::ChooseDetailTemplate() {}
void ReportCommands::ChooseSummaryTemplate() {}
void ReportCommands::CloseReportWindow() {}

} // namespace keld
