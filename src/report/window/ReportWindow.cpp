// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/window/ReportWindow.h"

#include "character/CharacterRecord.h"
#include "character/SheetModel.h"
#include "common/TextFile.h"
#include "report/ReportValues.h"
#include "report/render/RenderedReport.h"
#include "report/render/ReportRenderer.h"
#include "report/window/PageView.h"
#include "report/window/PrintDestination.h"
#include "ui/BusyGuard.h"
#include "ui/MessageBox.h"
#include "ui/NamedComboBox.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPageLayout>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace keld {

namespace {

// The fixed entries of the zoom box; a zoom between them gets one more.
constexpr int kZoomEntries = 7;

// Prints a selection on the report's own paper, without the report's headers and footers: its
// margins are part of the document.
bool PrintSelection(const QTextDocument& selection, const render::RenderedReport& report,
                    QPagedPaintDevice& device)
{
    QPageLayout layout = report.PageLayout();
    layout.setMinimumMargins(QMarginsF());
    layout.setMargins(QMarginsF());
    device.setPageLayout(layout);
    selection.print(&device);
    return true;
}

// Busy pointer at once; past half a second a progress box with the page count and Cancel.
class PageProgressBox {
public:
    PageProgressBox(QWidget* parent, const QString& title)
        : m_box(QString(), QStringLiteral("Cancel"), 0, 1, parent)
    {
        m_box.setWindowTitle(title);
        m_box.setObjectName(QStringLiteral("dlgProgress"));
        m_box.setAccessibleName(title);
        m_box.setWindowModality(Qt::WindowModal);
        m_box.setMinimumDuration(ProgressDelay());
        m_box.setAutoClose(false);
        m_box.setAutoReset(false);
        m_box.setValue(0);
    }

    // True to go on.
    bool Step(int done, int count)
    {
        m_box.setMaximum(count);
        m_box.setLabelText(QStringLiteral("Page %1 of %2").arg(done).arg(count));
        m_box.setValue(done);
        return !m_box.wasCanceled();
    }
    bool Cancelled() const { return m_box.wasCanceled(); }

    static int& ProgressDelay()
    {
        static int delay = 500;
        return delay;
    }

private:
    BusyGuard m_busy;
    QProgressDialog m_box;
};

// A PDF stand-in writes nothing when its file cannot be created; a real printer says so in its state.
bool JobFailed(const QPrinter& printer)
{
    if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
        return true;
    return printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty() &&
           !QFileInfo::exists(printer.outputFileName());
}

// The rule of both Save As commands: the chosen format's extension is added unless the name
// already ends in it, so that no file carries the other format's name.
QString WithExtension(const QString& path, const QString& extension)
{
    const QString ending = u'.' + extension;
    return path.endsWith(ending, Qt::CaseInsensitive) ? path : path + ending;
}

// Whether `path` can be written, asked before a long rendering rather than after it: an existing
// file must be writable and its folder must take a new file (the save writes one beside it).
Status CheckWritable(const QString& path)
{
    const std::string target = path.toStdString();
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return KeldError(kErrPathFileAccess, "is a folder, not a file", target);
        // What else is no regular file is written as a stream or refused by the save itself.
        if (!S_ISREG(st.st_mode))
            return Success();
        if (::access(target.c_str(), W_OK) != 0)
            return KeldError(kErrPermissionDenied, "is read-only", target);
    }
    QString folder = QFileInfo(path).path();
    std::string probe = (folder.isEmpty() ? std::string(".") : folder.toStdString()) + "/.keld-check-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return KeldError(kErrPathFileAccess, std::string("cannot be written: ") + std::strerror(errno),
                         target);
    ::close(fd);
    ::unlink(probe.c_str());
    return Success();
}

} // namespace

ReportWindow::ReportWindow(const SheetModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window), m_model(model), m_dialog(this)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Print Preview"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_preview = new PageView(this);
    m_preview->setObjectName(QStringLiteral("RichTextBox1"));
    m_preview->setAccessibleName(QStringLiteral("Report preview"));
    m_preview->setAccessibleDescription(QStringLiteral("Select part of the report to print only that part"));

    m_zoom = new NamedComboBox(this);
    m_zoom->setObjectName(QStringLiteral("cboZoom"));
    m_zoom->setAccessibleName(QStringLiteral("Zoom"));
    m_zoom->addItem(QStringLiteral("Fit Width"), -1);
    m_zoom->addItem(QStringLiteral("Whole Page"), -2);
    for (int percent : {50, 75, 100, 150, 200})
        m_zoom->addItem(QStringLiteral("%1 %").arg(percent), percent);
    Q_ASSERT(m_zoom->count() == kZoomEntries);
    m_zoom->setToolTip(QStringLiteral("Zoom (Ctrl+wheel, Ctrl+plus, Ctrl+minus)"));
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(QStringLiteral("lblPage"));
    m_pageLabel->setAccessibleDescription(QStringLiteral("Page shown"));

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setAccessibleName(QStringLiteral("Report notes"));
    m_status->setWordWrap(true);
    m_status->hide();

    auto makeButton = [this](const char* name, const QString& caption, const QString& spoken) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QLatin1String(name));
        button->setAccessibleName(spoken);
        // Enter presses the focused button, as Space does. This window is no dialog, so no button
        // is pressed by Enter elsewhere: in the page view it does nothing.
        button->setAutoDefault(true);
        return button;
    };
    m_print = makeButton("cmdPrint", QStringLiteral("&Print"), QStringLiteral("Print"));
    m_saveRtf = makeButton("cmdsaveRTF", QStringLiteral("Save As RTF"), QStringLiteral("Save As RTF"));
    m_savePdf = makeButton("cmdSavePDF", QStringLiteral("Save As PDF"), QStringLiteral("Save As PDF"));
    m_close = makeButton("cmdClose", QStringLiteral("Close"), QStringLiteral("Close"));
    m_print->setToolTip(
        QStringLiteral("Print the selected part of the report, or all of it, on the default printer"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_print);
    buttons->addWidget(m_saveRtf);
    buttons->addWidget(m_savePdf);
    buttons->addStretch(1);
    buttons->addWidget(m_zoom);
    buttons->addWidget(m_pageLabel);
    buttons->addStretch(1);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_preview, 1);
    layout->addWidget(m_status);
    layout->addLayout(buttons);

    connect(m_print, &QPushButton::clicked, this, [this] { Print(); });
    connect(m_saveRtf, &QPushButton::clicked, this, &ReportWindow::SaveAsRtf);
    connect(m_savePdf, &QPushButton::clicked, this, &ReportWindow::SaveAsPdf);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_zoom, &QComboBox::activated, this, [this](int index) {
        const int choice = m_zoom->itemData(index).toInt();
        if (choice == -1)
            m_preview->SetMode(PageView::ZoomMode::FitWidth);
        else if (choice == -2)
            m_preview->SetMode(PageView::ZoomMode::WholePage);
        else
            m_preview->SetPercent(choice);
    });
    connect(m_preview, &PageView::ZoomChanged, this, &ReportWindow::ShowZoom);
    connect(m_preview, &PageView::PageChanged, this, [this](int index, int count) {
        m_pageLabel->setText(QStringLiteral("Page %1 of %2").arg(index + 1).arg(count));
    });
    // Tab follows the layout: the pages, then the buttons and the zoom from left to right.
    setTabOrder(m_preview, m_print);
    setTabOrder(m_print, m_saveRtf);
    setTabOrder(m_saveRtf, m_savePdf);
    setTabOrder(m_savePdf, m_zoom);
    setTabOrder(m_zoom, m_close);

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    Render();
    ShowZoom();
    const QRect screen = this->screen()->availableGeometry();
    const int margins = layout->contentsMargins().left() + layout->contentsMargins().right();
    // A page at its real size where the screen is wide enough; fitted to the width otherwise.
    resize(std::min(m_preview->sizeHint().width() + margins, screen.width() * 9 / 10),
           std::max(screen.height() * 8 / 10, 300));
    m_preview->setFocus();
}

void ReportWindow::ShowZoom()
{
    int index = -1;
    switch (m_preview->Mode()) {
    case PageView::ZoomMode::FitWidth:
        index = 0;
        break;
    case PageView::ZoomMode::WholePage:
        index = 1;
        break;
    case PageView::ZoomMode::Fixed: {
        // A zoom between the listed ones is shown as an entry of its own after them, in the
        // normal style rather than as a grey placeholder that looks disabled.
        const int percent = static_cast<int>(std::lround(m_preview->Percent()));
        index = m_zoom->findData(percent);
        if (index >= 0 && index < kZoomEntries)
            break;
        const QString text = QStringLiteral("%1 %").arg(percent);
        if (m_zoom->count() == kZoomEntries) {
            m_zoom->addItem(text, percent);
        } else {
            m_zoom->setItemText(kZoomEntries, text);
            m_zoom->setItemData(kZoomEntries, percent);
        }
        index = kZoomEntries;
        break;
    }
    }
    if (index != kZoomEntries && m_zoom->count() > kZoomEntries)
        m_zoom->removeItem(kZoomEntries);
    m_zoom->setCurrentIndex(index);
}

void ReportWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Opens at the top of page 1.
    m_preview->ShowPage(0);
}

ReportWindow::~ReportWindow() = default;

Status ReportWindow::LoadTemplate(const QString& path)
{
    Status loaded = m_document.LoadFile(PathFromUtf8(path.toStdString()));
    if (loaded)
        m_renderedStale = true;
    return loaded;
}

void ReportWindow::FillData()
{
    keld::FillData(m_document, m_model);
    Render();
}

const render::RenderedReport& ReportWindow::Rendered()
{
    if (m_renderedStale)
        Render();
    return *m_rendered;
}

PageView* ReportWindow::Preview() const
{
    return m_preview;
}

void ReportWindow::Render()
{
    // The view shows the very pages that printing paints; it lets go of the old ones first.
    auto fresh = std::make_unique<render::RenderedReport>(RenderReport(m_document));
    m_preview->SetReport(fresh.get());
    // A report cut or changed to keep within the renderer's bounds says so here as well as on its
    // last page, where it is easily missed.
    const QStringList& notes = fresh->Notes();
    m_status->setText(notes.join(u'\n'));
    m_status->setVisible(!notes.isEmpty());
    m_rendered = std::move(fresh);
    m_renderedStale = false;
}

std::unique_ptr<QTextDocument> ReportWindow::SelectionDocument()
{
    const QTextCursor selected = m_preview->textCursor();
    if (!selected.hasSelection())
        return nullptr;
    // A copy of the report keeps its page size, margins, fonts and pictures; only the text goes.
    std::unique_ptr<QTextDocument> part(Rendered().Document().clone());
    QTextCursor cursor(part.get());
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    cursor.insertFragment(selected.selection());
    return part;
}

bool ReportWindow::Print()
{
    std::unique_ptr<QPrinter> printer = PrintDestination::DefaultPrinter();
    if (!printer)
        return OfferPdf(QStringLiteral("The report cannot be printed: there is no default printer."));
    const QString where = printer->printerName().isEmpty()
                              ? QStringLiteral("the printer")
                              : QStringLiteral("\"%1\"").arg(printer->printerName());
    // A printer that refuses jobs would swallow this one without a word.
    if (const Status accepting = PrintDestination::Accepting(*printer); !accepting)
        return OfferPdf(QStringLiteral("The report cannot be printed on %1: it %2.")
                            .arg(where, QString::fromStdString(accepting.Error().Detail())));
    const QString name = CharacterName();
    printer->setDocName(name.isEmpty() ? QStringLiteral("Report") : name);
    const int lastJob = PrintDestination::LastJob(*printer);
    bool painted = false;
    bool cancelled = false;
    {
        PageProgressBox progress(MessageParent(), QStringLiteral("Printing"));
        if (const std::unique_ptr<QTextDocument> selection = SelectionDocument()) {
            painted = PrintSelection(*selection, Rendered(), *printer);
        } else {
            painted = PrintReport(Rendered(), *printer,
                                  [&](int done, int count) { return progress.Step(done, count); });
            cancelled = progress.Cancelled();
        }
    }
    if (cancelled) {
        // Nothing of a cancelled job reaches the printer.
        printer->abort();
        return false;
    }
    if (!painted || JobFailed(*printer))
        return OfferPdf(QStringLiteral("The report could not be printed on %1.").arg(where));
    // Qt does not say whether the print system took the job; it is asked.
    const PrintDestination::Outcome sent = PrintDestination::Confirm(*printer, lastJob);
    const QString reason = sent.reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(sent.reason);
    switch (sent.state) {
    case PrintDestination::Outcome::State::Lost:
        return OfferPdf(
            QStringLiteral("The report was not printed: the print system did not take the job for %1%2.")
                .arg(where, reason));
    case PrintDestination::Outcome::State::Waiting:
        ShowReportMessage(MessageParent(), QMessageBox::Information,
                          QStringLiteral("The printer %1 is stopped%2.").arg(where, reason), QMessageBox::Ok,
                          QStringLiteral("The report waits in its queue and prints when the printer is "
                                         "started again."));
        return true;
    case PrintDestination::Outcome::State::Sent:
        break;
    }
    return true;
}

bool ReportWindow::OfferPdf(const QString& what)
{
    // OK comes first, so a box that nobody answers saves nothing.
    if (ShowReportMessage(MessageParent(), QMessageBox::Warning, what, QMessageBox::Ok | QMessageBox::Save,
                          QStringLiteral("Choose Save to save it as a PDF file instead.")) ==
        QMessageBox::Save)
        SaveAsPdf();
    return false;
}

void ReportWindow::SaveAsRtf()
{
    const QString initialName = OfferedFileName(CharacterName(), QStringLiteral("rtf"));
    Result<QString> chosen = [&] {
        NormalPointer pointer;
        return m_dialog.ShowSave(QStringLiteral("(*.rtf)|*.rtf"), QStringLiteral("rtf"), &initialName);
    }();
    if (!chosen)
        return;
    const QString path = WithExtension(*chosen, QStringLiteral("rtf"));
    if (Status saved = m_document.SaveFile(PathFromUtf8(path.toStdString())); !saved)
        ReportSaveFailure(saved.Error());
}

void ReportWindow::SaveAsPdf()
{
    const QString initialName = OfferedFileName(CharacterName(), QStringLiteral("pdf"));
    Result<QString> chosen = [&] {
        NormalPointer pointer;
        return m_dialog.ShowSave(QStringLiteral("(*.pdf)|*.pdf"), QStringLiteral("pdf"), &initialName);
    }();
    if (!chosen)
        return;
    const QString path = WithExtension(*chosen, QStringLiteral("pdf"));
    // Rendering a long report takes seconds: a target that cannot be written is said first.
    if (Status writable = CheckWritable(path); !writable) {
        ReportSaveFailure(writable.Error());
        return;
    }

    // Always the whole report: only printing takes the selection.
    Status saved = Success();
    {
        PageProgressBox progress(MessageParent(), QStringLiteral("Saving As PDF"));
        saved = WritePdf(
            PathFromUtf8(path.toStdString()), ReportPdfInfo(CharacterName()), [&](QPagedPaintDevice& device) {
                return PrintReport(Rendered(), device,
                                   [&](int done, int count) { return progress.Step(done, count); });
            });
    }
    // A cancelled save leaves no file and needs no word.
    if (!saved && saved.Error().Number() != kErrCancel)
        ReportSaveFailure(saved.Error());
}

void ReportWindow::SetProgressDelay(int milliseconds)
{
    PageProgressBox::ProgressDelay() = milliseconds;
}

void ReportWindow::ReportSaveFailure(const KeldError& error)
{
    const QString file = QString::fromStdString(error.File());
    const QString reason =
        QString::fromStdString(error.Detail().empty() ? error.Description() : error.Detail());
    ShowReportMessage(MessageParent(), QMessageBox::Warning, QStringLiteral("The report was not saved."),
                      QMessageBox::Ok,
                      file.isEmpty() ? reason + u'.' : QStringLiteral("\"%1\" %2.").arg(file, reason));
}

QString ReportWindow::CharacterName() const
{
    return QString::fromStdString(m_model.Text(FieldId::General, static_cast<int>(GeneralField::Name)));
}

QWidget* ReportWindow::MessageParent()
{
    // A print command loads the report without showing the window.
    return isVisible() ? this : parentWidget();
}

void ReportWindow::closeEvent(QCloseEvent* event)
{
    emit Closed();
    QWidget::closeEvent(event);
}

QMessageBox::StandardButton ShowReportMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                              QMessageBox::StandardButtons buttons,
                                              const QString& informativeText)
{
    NormalPointer pointer;
    return MessageBox::Show(parent, icon, MessageBox::ProgramTitle(), text, buttons, informativeText);
}

} // namespace keld
