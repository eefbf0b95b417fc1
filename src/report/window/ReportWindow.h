// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"
#include "report/RtfDocument.h"
#include "ui/FileDialog.h"

#include <QMessageBox>
#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QTextDocument;

namespace keld {

class SheetModel;
class PageView;

namespace render {
class RenderedReport;
}

// The report window ("Print Preview"): one filled report, shown read-only, printed on the default
// printer, or saved as RTF or PDF. It deletes itself when closed.
class ReportWindow : public QWidget {
    Q_OBJECT
public:
    explicit ReportWindow(const SheetModel& model, QWidget* parent = nullptr);
    ~ReportWindow() override;

    // Loads an RTF template in place of the report; on failure the report keeps what it held.
    Status LoadTemplate(const QString& path);
    // Fills the report with the open character's values as the record holds them (a command
    // hands over the views' held edits first) and shows the result.
    void FillData();

    // The report as the engine holds it (what "Save As RTF" writes).
    const RtfDocument& Document() const { return m_document; }
    // The report laid out on its pages (what printing puts on paper when nothing is selected).
    const render::RenderedReport& Rendered();
    // The report's pages as they print, where the user selects what "&Print" prints.
    PageView* Preview() const;

    // Prints the part of the report selected in the preview, or the whole report when nothing
    // is, on the default printer in one job. Without a printer, or when the job fails, it says so
    // and offers to save the same pages as a PDF file. True when the job went to the printer.
    bool Print();
    // Choose a file with the window's own dialog and write the report there. Cancel writes
    // nothing; a failed write is reported with the file and the reason.
    void SaveAsRtf();
    // Always the whole report, selection or not.
    void SaveAsPdf();

    // Test seam: how long printing and saving work before the progress box shows.
    static void SetProgressDelay(int milliseconds);

signals:
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowZoom();
    void Render();
    // The selected part of the preview as a document with the report's page layout, or nullptr
    // when nothing is selected.
    std::unique_ptr<QTextDocument> SelectionDocument();
    QString CharacterName() const;
    QWidget* MessageParent();
    bool OfferPdf(const QString& what);
    void ReportSaveFailure(const KeldError& error);

    const SheetModel& m_model;
    RtfDocument m_document;
    std::unique_ptr<render::RenderedReport> m_rendered;
    bool m_renderedStale = true;
    FileDialog m_dialog;
    PageView* m_preview;
    QComboBox* m_zoom;
    QLabel* m_pageLabel;
    QLabel* m_status; // what the renderer changed or left out to show the report
    QPushButton* m_print;
    QPushButton* m_saveRtf;
    QPushButton* m_savePdf;
    QPushButton* m_close;
};

// The report commands' message boxes, under the program's default title. A box shown while a
// command has the busy pointer on gets the normal pointer, so it does not look hung.
QMessageBox::StandardButton ShowReportMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                              QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                              const QString& informativeText = {});

} // namespace keld
