#include "report/window/ReportWindow.h"

#include "character/CharacterRecord.h"
#include "character/SheetModel.h"
#include "common/TextFile.h"
#include "report/ReportValues.h"
#include "report/render/RenderBuilder.h"
#include "report/render/ReportRenderer.h"
#include "report/window/PrintDestination.h"
#include "ui/BusyGuard.h"
#include "ui/MessageBox.h"

#include <QAbstractTextDocumentLayout>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPageLayout>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace keld {

// The report shown as a column of the page's width on a darker surround, so that lines wrap where
// they will on paper. Read-only: the user only selects.
class PagePreview final : public QTextEdit {
public:
    explicit PagePreview(QWidget* parent) : QTextEdit(parent)
    {
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setBackgroundRole(QPalette::Dark);
        setAutoFillBackground(true);
        // The page is paper under any desktop theme: templates colour their text and cells for
        // white paper, and automatic text prints black. Only the page's two roles are fixed; the
        // surround, the selection and the scroll bars follow the theme.
        QPalette paper;
        paper.setColor(QPalette::Base, Qt::white);
        paper.setColor(QPalette::Text, Qt::black);
        setPalette(paper);
        // A scroll bar that comes and goes would shift the page sideways.
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }

    // Shows `shown` (a copy of the report; the editor rewrites its page size for the screen).
    void ShowDocument(QTextDocument* shown)
    {
        const QSizeF page = shown->pageSize();
        m_pageWidth = page.width() > 0 ? static_cast<int>(std::ceil(page.width())) : 0;
        setDocument(shown);
        if (m_pageWidth > 0) {
            setLineWrapMode(QTextEdit::FixedPixelWidth);
            setLineWrapColumnOrWidth(m_pageWidth);
        } else {
            setLineWrapMode(QTextEdit::WidgetWidth);
        }
        // A table wider than the page widens the column rather than adding a scroll bar.
        connect(shown->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
                [this] { UpdateMargins(); });
        UpdateMargins();
    }

    int PageWidth() const { return m_pageWidth; }
    // The width the preview needs to show a whole page with its surround.
    int FullWidth() const
    {
        return ColumnWidth() + 2 * kGap + 2 * frameWidth() + verticalScrollBar()->sizeHint().width();
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QTextEdit::resizeEvent(event);
        UpdateMargins();
    }

private:
    static constexpr int kGap = 16;

    void UpdateMargins()
    {
        if (m_pageWidth <= 0) {
            setViewportMargins(0, 0, 0, 0);
            return;
        }
        const int available = width() - 2 * frameWidth() - verticalScrollBar()->sizeHint().width();
        const int spare = std::max(0, available - ColumnWidth());
        const int gap = std::min(kGap, spare / 2);
        setViewportMargins(spare / 2, gap, spare - spare / 2, gap);
    }

    int ColumnWidth() const
    {
        return std::max(m_pageWidth,
                        static_cast<int>(std::ceil(document()->documentLayout()->documentSize().width())));
    }

    int m_pageWidth = 0;
};

namespace {

// Prints a selection on the report's own paper, without the report's headers and footers: its
// margins are part of the document.
void PrintSelection(const QTextDocument& selection, const QTextDocument& report, QPagedPaintDevice& device)
{
    QPageLayout layout = render::PageLayoutOf(report);
    layout.setMinimumMargins(QMarginsF());
    layout.setMargins(QMarginsF());
    device.setPageLayout(layout);
    PrintReport(selection, device);
}

// A PDF stand-in writes nothing when its file cannot be created; a real printer says so in its state.
bool JobFailed(const QPrinter& printer)
{
    if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
        return true;
    return printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty() &&
           !QFileInfo::exists(printer.outputFileName());
}

} // namespace

ReportWindow::ReportWindow(const SheetModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window), m_model(model), m_dialog(this)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Print Preview"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_preview = new PagePreview(this);
    m_preview->setObjectName(QStringLiteral("RichTextBox1"));
    m_preview->setAccessibleName(QStringLiteral("Report preview"));
    m_preview->setAccessibleDescription(QStringLiteral("Select part of the report to print only that part"));

    auto makeButton = [this](const char* name, const QString& caption, const QString& spoken) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QLatin1String(name));
        button->setAccessibleName(spoken);
        // Enter in the preview must not print.
        button->setAutoDefault(false);
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
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_preview, 1);
    layout->addLayout(buttons);

    connect(m_print, &QPushButton::clicked, this, [this] { Print(); });
    connect(m_saveRtf, &QPushButton::clicked, this, &ReportWindow::SaveAsRtf);
    connect(m_savePdf, &QPushButton::clicked, this, &ReportWindow::SaveAsPdf);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);

    Render();
    const QRect screen = this->screen()->availableGeometry();
    const int margins = layout->contentsMargins().left() + layout->contentsMargins().right();
    // Without a page size of its own, the report gets the width of a letter page.
    const int previewWidth =
        m_preview->PageWidth() > 0 ? m_preview->FullWidth() : logicalDpiX() * 17 / 2 + m_preview->FullWidth();
    resize(std::min(previewWidth + margins, screen.width() * 9 / 10),
           std::max(screen.height() * 8 / 10, 300));
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

const QTextDocument& ReportWindow::Rendered()
{
    if (m_renderedStale)
        Render();
    return *m_rendered;
}

QTextEdit* ReportWindow::Preview() const
{
    return m_preview;
}

void ReportWindow::Render()
{
    m_rendered = RenderReport(m_document);
    m_renderedStale = false;
    // The editor deletes only the document it made itself; earlier copies are ours.
    QTextDocument* old = m_preview->document();
    const bool ours = old && old->parent() == m_preview;
    m_preview->ShowDocument(m_rendered->clone(m_preview));
    if (ours)
        delete old;
}

std::unique_ptr<QTextDocument> ReportWindow::SelectionDocument()
{
    const QTextCursor selected = m_preview->textCursor();
    if (!selected.hasSelection())
        return nullptr;
    // A copy of the report keeps its page size, margins, fonts and pictures; only the text goes.
    std::unique_ptr<QTextDocument> part(Rendered().clone());
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
    const QString name = CharacterName();
    printer->setDocName(name.isEmpty() ? QStringLiteral("Report") : name);
    if (const std::unique_ptr<QTextDocument> selection = SelectionDocument())
        PrintSelection(*selection, Rendered(), *printer);
    else
        PrintReport(Rendered(), *printer);
    if (JobFailed(*printer)) {
        const QString where = printer->printerName().isEmpty()
                                  ? QStringLiteral("the printer")
                                  : QStringLiteral("\"%1\"").arg(printer->printerName());
        return OfferPdf(QStringLiteral("The report could not be printed on %1.").arg(where));
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
    const QString initialName = CharacterName() + QStringLiteral(".rtf");
    Result<QString> chosen = [&] {
        NormalPointer pointer;
        return m_dialog.ShowSave(QStringLiteral("(*.rtf)|*.rtf"), QStringLiteral("rtf"), &initialName);
    }();
    if (!chosen)
        return;
    if (Status saved = m_document.SaveFile(PathFromUtf8(chosen->toStdString())); !saved)
        ReportSaveFailure(saved.Error());
}

void ReportWindow::SaveAsPdf()
{
    const QString initialName = CharacterName() + QStringLiteral(".pdf");
    Result<QString> chosen = [&] {
        NormalPointer pointer;
        return m_dialog.ShowSave(QStringLiteral("(*.pdf)|*.pdf"), QStringLiteral("pdf"), &initialName);
    }();
    if (!chosen)
        return;

    const Status saved = WritePdf(
        PathFromUtf8(chosen->toStdString()), {CharacterName(), QGuiApplication::applicationDisplayName()},
        [this](QPagedPaintDevice& device) {
            if (const std::unique_ptr<QTextDocument> selection = SelectionDocument())
                PrintSelection(*selection, Rendered(), device);
            else
                PrintReport(Rendered(), device);
        });
    if (!saved)
        ReportSaveFailure(saved.Error());
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
    return MessageBox::Show(parent, icon, QGuiApplication::applicationDisplayName(), text, buttons,
                            informativeText);
}

} // namespace keld
