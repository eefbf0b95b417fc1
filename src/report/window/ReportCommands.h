// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace keld {

class SheetModel;
class SettingsStore;
class FileDialog;
class ReportWindow;

// The print, preview and template commands of the sheet, and the report window they open.
class ReportCommands : public QObject {
    Q_OBJECT
public:
    // sheetDialog is the sheet's own file dialog (the template commands share it with Load and
    // Save); the template paths are the program-wide ones that start-up read.
    ReportCommands(SheetModel& model, QWidget* sheet, FileDialog& sheetDialog, SettingsStore& settings,
                   QString& detailTemplatePath, QString& summaryTemplatePath, QObject* parent = nullptr);

    void PrintDetail();
    void PrintSummary();
    void PreviewDetail();
    void PreviewSummary();
    void ChooseDetailTemplate();
    void ChooseSummaryTemplate();
    // Closes the report window if it is open (exit).
    void CloseReportWindow();

    // The report window, or nullptr when there is none.
    ReportWindow* Window() const { return m_window; }
    // Loads a template into the report window, creating it (hidden) when there is none. A
    // template that cannot be loaded is reported and leaves the window's report as it was.
    ReportWindow* LoadReportTemplate(const QString& path);

private:
    // LoadReportTemplate that says whether the template was loaded.
    bool LoadTemplateInto(const QString& path);
    void Print(const QString& path);
    void Preview(const QString& path);
    void ChooseTemplate(QString& path, const char* key);

    SheetModel& m_model;
    QWidget* m_sheet;
    FileDialog& m_sheetDialog;
    SettingsStore& m_settings;
    QString& m_detailTemplatePath;
    QString& m_summaryTemplatePath;
    QPointer<ReportWindow> m_window;
};

} // namespace keld
