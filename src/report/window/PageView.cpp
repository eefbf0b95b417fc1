// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/window/PageView.h"

#include "report/render/RenderedReport.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace keld {

namespace {

constexpr double kMinPercent = 10;
constexpr double kMaxPercent = 800;
constexpr double kZoomStep = 1.25;

// The page view for screen readers: read-only text that is the page in view, so a report of a
// thousand pages is read a page at a time as the user pages through it.
class PageViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit PageViewAccessible(PageView* view) : QAccessibleWidget(view, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Description && View()->PageCount() > 0) {
            const QString page =
                QStringLiteral("Page %1 of %2").arg(View()->CurrentPage() + 1).arg(View()->PageCount());
            const QString own = QAccessibleWidget::text(kind);
            return own.isEmpty() ? page : page + QStringLiteral(". ") + own;
        }
        return QAccessibleWidget::text(kind);
    }

    void selection(int index, int* start, int* end) const override
    {
        *start = *end = 0;
        const QTextCursor cursor = View()->textCursor();
        if (index != 0 || !cursor.hasSelection())
            return;
        *start = Local(cursor.selectionStart());
        *end = Local(cursor.selectionEnd());
    }
    int selectionCount() const override
    {
        int start = 0, end = 0;
        selection(0, &start, &end);
        return start < end ? 1 : 0;
    }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override
    {
        QTextCursor cursor = View()->textCursor();
        cursor.clearSelection();
        View()->setTextCursor(cursor);
    }
    void setSelection(int, int start, int end) override
    {
        QTextCursor cursor = View()->textCursor();
        if (cursor.isNull())
            return;
        cursor.setPosition(Global(start));
        cursor.setPosition(Global(end), QTextCursor::KeepAnchor);
        View()->setTextCursor(cursor);
    }

    int cursorPosition() const override { return Local(View()->textCursor().position()); }
    void setCursorPosition(int position) override
    {
        QTextCursor cursor = View()->textCursor();
        if (cursor.isNull())
            return;
        cursor.setPosition(Global(position));
        View()->setTextCursor(cursor);
    }

    QString text(int start, int end) const override
    {
        const QString page = Page();
        start = std::clamp(start, 0, static_cast<int>(page.size()));
        end = end < 0 ? static_cast<int>(page.size()) : std::clamp(end, start, static_cast<int>(page.size()));
        return page.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(Page().size()); }

    QRect characterRect(int offset) const override
    {
        const QRect rect = View()->PositionRect(Global(offset));
        return rect.isNull() ? QRect() : QRect(View()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        const int position = View()->HitTest(View()->viewport()->mapFromGlobal(point));
        const int local = position - Start();
        return position < 0 || local < 0 || local > characterCount() ? -1 : local;
    }
    void scrollToSubstring(int, int) override {} // the text is the page in view
    QString attributes(int offset, int* start, int* end) const override
    {
        *start = *end = offset;
        return {};
    }

private:
    PageView* View() const { return static_cast<PageView*>(widget()); }
    int Start() const { return View()->PageStart(View()->CurrentPage()); }
    QString Page() const { return View()->PageText(View()->CurrentPage()); }
    int Local(int position) const { return std::clamp(position - Start(), 0, characterCount()); }
    int Global(int offset) const { return Start() + std::clamp(offset, 0, characterCount()); }
};

QAccessibleInterface* PageViewFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(PageView::staticMetaObject.className()) && object)
        return new PageViewAccessible(static_cast<PageView*>(object));
    return nullptr;
}

} // namespace

PageView::PageView(QWidget* parent) : QAbstractScrollArea(parent)
{
    static const bool accessible = [] {
        QAccessible::installFactory(&PageViewFactory);
        return true;
    }();
    (void)accessible;
    setFocusPolicy(Qt::StrongFocus);
    // The surround follows the theme; the pages are white paper under any theme.
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    // A scroll bar that came and went would change the fitted width and with it the height.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void PageView::SetReport(const render::RenderedReport* report)
{
    m_report = report;
    // A cursor takes a document it may edit; here it only ever selects.
    m_document = report ? const_cast<QTextDocument*>(&report->Document()) : nullptr;
    m_cursor = m_document ? QTextCursor(m_document) : QTextCursor();
    m_pageStarts.clear();
    m_lastPage = -1;
    UpdateGeometry();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
    viewport()->update();
    EmitPage();
}

void PageView::setTextCursor(const QTextCursor& cursor)
{
    if (cursor.document() != m_document)
        return;
    m_cursor = cursor;
    SelectionChanged();
}

QString PageView::toPlainText() const
{
    return m_document ? m_document->toPlainText() : QString();
}

int PageView::PageCount() const
{
    return m_report ? std::max(1, m_report->PageCount()) : 0;
}

int PageView::PageStart(int index) const
{
    if (!m_document)
        return 0;
    const int count = PageCount();
    if (m_pageStarts.empty()) {
        // Each page begins with the first line laid out on it.
        m_pageStarts.push_back(0);
        const double height = PaperPixels().height();
        QAbstractTextDocumentLayout* layout = m_document->documentLayout();
        for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
            const QTextLayout* lines = block.layout();
            const double top = layout->blockBoundingRect(block).top();
            for (int i = 0; lines && i < lines->lineCount(); ++i) {
                const QTextLine line = lines->lineAt(i);
                const int page = static_cast<int>((top + line.y()) / height);
                while (static_cast<int>(m_pageStarts.size()) <= page &&
                       static_cast<int>(m_pageStarts.size()) < count)
                    m_pageStarts.push_back(block.position() + line.textStart());
            }
        }
        const int end = std::max(0, m_document->characterCount() - 1);
        while (static_cast<int>(m_pageStarts.size()) < count)
            m_pageStarts.push_back(end);
    }
    if (index >= static_cast<int>(m_pageStarts.size()))
        return std::max(0, m_document->characterCount() - 1);
    return m_pageStarts[static_cast<std::size_t>(std::max(0, index))];
}

QString PageView::PageText(int index) const
{
    if (!m_document)
        return {};
    const int start = PageStart(index), end = std::max(start, PageStart(index + 1));
    QString text;
    text.reserve(end - start);
    for (int position = start; position < end; ++position) {
        const QChar c = m_document->characterAt(position);
        switch (c.unicode()) {
        case QChar::ParagraphSeparator:
        case QChar::LineSeparator:
        case 0xfdd0: // a table's start and end
        case 0xfdd1:
            text += u'\n';
            break;
        default:
            text += c;
        }
    }
    return text;
}

QRect PageView::PositionRect(int position) const
{
    if (!m_document)
        return {};
    const QTextBlock block = m_document->findBlock(position);
    const QTextLayout* layout = block.layout();
    if (!block.isValid() || !layout)
        return {};
    const QTextLine line = layout->lineForTextPosition(position - block.position());
    if (!line.isValid())
        return {};
    const QPointF top = m_document->documentLayout()->blockBoundingRect(block).topLeft();
    const double x = top.x() + line.cursorToX(position - block.position());
    const double next = top.x() + line.cursorToX(position - block.position() + 1);
    const double y = top.y() + line.y();
    const double height = PaperPixels().height();
    const int page = static_cast<int>(y / height);
    const QRect paper = PageRect(page);
    const double scale = Scale();
    return QRectF(paper.left() + x * scale, paper.top() + (y - page * height) * scale,
                  std::max(1.0, (next - x) * scale), line.height() * scale)
        .toAlignedRect();
}

int PageView::Gap() const
{
    return std::max(8, fontMetrics().height());
}

QSizeF PageView::PaperPixels() const
{
    if (!m_document)
        return {};
    const QSizeF page = m_report->PagePixels();
    return page.isValid() && page.width() > 0 && page.height() > 0 ? page : QSizeF(816, 1056);
}

double PageView::OneToOne() const
{
    return m_report ? logicalDpiX() / m_report->PixelDpi() : 1.0;
}

double PageView::Scale() const
{
    const QSizeF paper = PaperPixels();
    if (paper.isEmpty())
        return 1.0;
    const double width = std::max(1, viewport()->width() - 2 * Gap()) / paper.width();
    switch (m_mode) {
    case ZoomMode::FitWidth:
        return width;
    case ZoomMode::WholePage:
        return std::min(width, std::max(1, viewport()->height() - 2 * Gap()) / paper.height());
    case ZoomMode::Fixed:
        break;
    }
    return OneToOne() * m_percent / 100.0;
}

double PageView::Percent() const
{
    return Scale() / OneToOne() * 100.0;
}

void PageView::SetMode(ZoomMode mode)
{
    if (mode == ZoomMode::Fixed && m_mode != ZoomMode::Fixed)
        m_percent = Percent();
    ApplyMode(mode);
}

void PageView::ApplyMode(ZoomMode mode)
{
    const double before = verticalScrollBar()->maximum() > 0
                              ? double(verticalScrollBar()->value()) / verticalScrollBar()->maximum()
                              : 0.0;
    m_mode = mode;
    UpdateGeometry();
    // The same part of the report stays in view.
    verticalScrollBar()->setValue(static_cast<int>(std::lround(before * verticalScrollBar()->maximum())));
    viewport()->update();
    emit ZoomChanged();
    EmitPage();
}

void PageView::SetPercent(double percent)
{
    m_percent = std::clamp(percent, kMinPercent, kMaxPercent);
    ApplyMode(ZoomMode::Fixed);
}

void PageView::ZoomIn()
{
    SetPercent(Percent() * kZoomStep);
}

void PageView::ZoomOut()
{
    SetPercent(Percent() / kZoomStep);
}

void PageView::UpdateGeometry()
{
    const QSizeF paper = PaperPixels();
    const double scale = Scale();
    const int gap = Gap();
    const int width = static_cast<int>(std::ceil(paper.width() * scale)) + 2 * gap;
    const int pageHeight = static_cast<int>(std::ceil(paper.height() * scale));
    const int height = gap + PageCount() * (pageHeight + gap);
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, width - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    horizontalScrollBar()->setSingleStep(std::max(1, gap * 2));
    verticalScrollBar()->setRange(0, std::max(0, height - view.height()));
    verticalScrollBar()->setPageStep(view.height());
    verticalScrollBar()->setSingleStep(std::max(1, gap * 2));
}

QRect PageView::PageRect(int index) const
{
    const QSizeF paper = PaperPixels();
    const double scale = Scale();
    const int gap = Gap();
    const int width = static_cast<int>(std::ceil(paper.width() * scale));
    const int height = static_cast<int>(std::ceil(paper.height() * scale));
    const int spare = viewport()->width() - width - 2 * gap;
    const int left = spare > 0 ? gap + spare / 2 : gap - horizontalScrollBar()->value();
    const int top = gap + index * (height + gap) - verticalScrollBar()->value();
    return {left, top, width, height};
}

int PageView::CurrentPage() const
{
    const int count = PageCount();
    if (count <= 1)
        return 0;
    const QScrollBar* bar = verticalScrollBar();
    if (bar->value() >= bar->maximum() && bar->maximum() > 0 &&
        PageRect(count - 1).top() < viewport()->height())
        return count - 1;
    // The page that holds the upper third of the view.
    const int probe = viewport()->height() / 3;
    for (int index = count - 1; index >= 0; --index)
        if (PageRect(index).top() <= probe)
            return index;
    return 0;
}

void PageView::ShowPage(int index)
{
    index = std::clamp(index, 0, std::max(0, PageCount() - 1));
    verticalScrollBar()->setValue(PageRect(index).top() + verticalScrollBar()->value() - Gap());
    EmitPage();
}

void PageView::EmitPage()
{
    const int page = CurrentPage(), count = PageCount();
    if (page == m_lastPage && count == m_lastCount)
        return;
    m_lastPage = page;
    m_lastCount = count;
    // A screen reader reads the page in view.
    if (QAccessible::isActive()) {
        QString text = PageText(page);
        QAccessibleTextUpdateEvent update(this, 0, m_spokenPage, text);
        QAccessible::updateAccessibility(&update);
        m_spokenPage = std::move(text);
        QAccessibleEvent described(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&described);
    }
    emit PageChanged(page, count);
}

int PageView::HitTest(const QPoint& point) const
{
    if (!m_document)
        return -1;
    const int count = PageCount();
    const QRect first = PageRect(0);
    const int stride = first.height() + Gap();
    int index = stride > 0 ? static_cast<int>(std::floor(double(point.y() - first.top()) / stride)) : 0;
    index = std::clamp(index, 0, count - 1);
    const QRect page = PageRect(index);
    const QSizeF paper = PaperPixels();
    const double scale = Scale();
    const double x = std::clamp((point.x() - page.left()) / scale, 0.0, paper.width());
    const double y = std::clamp((point.y() - page.top()) / scale, 0.0, paper.height() - 1);
    return m_document->documentLayout()->hitTest(QPointF(x, index * paper.height() + y), Qt::FuzzyHit);
}

QSize PageView::sizeHint() const
{
    // A page at its real size, as wide as the screen allows (the window caps it).
    const QSizeF paper = PaperPixels().isEmpty() ? QSizeF(816, 1056) : PaperPixels();
    const int width = static_cast<int>(std::ceil(paper.width() * OneToOne())) + 2 * Gap() + 2 * frameWidth() +
                      verticalScrollBar()->sizeHint().width();
    return {width, static_cast<int>(paper.height() * OneToOne() * 0.6)};
}

void PageView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    // Keyboard focus shows as a frame in the highlight colour along the view's edge; the styles
    // draw none for a scroll area.
    const auto focusFrame = qScopeGuard([&] {
        if (!hasFocus())
            return;
        painter.setClipping(false);
        painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(viewport()->rect()).adjusted(1, 1, -1, -1));
    });
    if (!m_document)
        return;
    const double scale = Scale();
    QList<QAbstractTextDocumentLayout::Selection> selections;
    if (m_cursor.hasSelection()) {
        QAbstractTextDocumentLayout::Selection selection;
        selection.cursor = m_cursor;
        selection.format.setBackground(palette().brush(QPalette::Active, QPalette::Highlight));
        selection.format.setForeground(palette().brush(QPalette::Active, QPalette::HighlightedText));
        selections << selection;
    }
    for (int index = 0, count = PageCount(); index < count; ++index) {
        const QRect page = PageRect(index);
        if (page.top() > event->rect().bottom())
            break;
        if (!page.intersects(event->rect()))
            continue;
        painter.fillRect(page, Qt::white);
        painter.setPen(palette().color(QPalette::Shadow));
        painter.drawRect(page.adjusted(-1, -1, 0, 0));
        painter.save();
        painter.setClipRect(page);
        painter.translate(page.topLeft());
        painter.scale(scale, scale);
        m_report->PaintPage(painter, index, selections);
        painter.restore();
    }
}

void PageView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateGeometry();
    if (m_mode != ZoomMode::Fixed)
        emit ZoomChanged();
    EmitPage();
}

void PageView::scrollContentsBy(int, int)
{
    viewport()->update();
    EmitPage();
}

void PageView::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        if (event->angleDelta().y() > 0)
            ZoomIn();
        else if (event->angleDelta().y() < 0)
            ZoomOut();
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

void PageView::keyPressEvent(QKeyEvent* event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    QScrollBar* bar = verticalScrollBar();
    switch (event->key()) {
    case Qt::Key_PageDown:
        ShowPage(CurrentPage() + 1);
        break;
    case Qt::Key_PageUp: {
        // Back to the top of the page in view first, then to the page before it.
        const int current = CurrentPage();
        ShowPage(PageRect(current).top() < Gap() ? current : current - 1);
        break;
    }
    case Qt::Key_Home:
        bar->setValue(bar->minimum());
        break;
    case Qt::Key_End:
        bar->setValue(bar->maximum());
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        if (!control)
            return QAbstractScrollArea::keyPressEvent(event);
        ZoomIn();
        break;
    case Qt::Key_Minus:
        if (!control)
            return QAbstractScrollArea::keyPressEvent(event);
        ZoomOut();
        break;
    case Qt::Key_0:
        if (!control)
            return QAbstractScrollArea::keyPressEvent(event);
        SetPercent(100);
        break;
    default:
        if (event->matches(QKeySequence::SelectAll) && m_document) {
            m_cursor.select(QTextCursor::Document);
            SelectionChanged();
        } else if (event->matches(QKeySequence::Copy)) {
            CopySelection();
        } else {
            return QAbstractScrollArea::keyPressEvent(event);
        }
    }
    event->accept();
}

void PageView::CopySelection() const
{
    if (!m_cursor.hasSelection())
        return;
    auto* data = new QMimeData;
    const QTextDocumentFragment fragment = m_cursor.selection();
    data->setText(fragment.toPlainText());
    data->setHtml(fragment.toHtml());
    QGuiApplication::clipboard()->setMimeData(data);
}

void PageView::OfferSelection() const
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection() || !m_cursor.hasSelection())
        return;
    clipboard->setText(m_cursor.selection().toPlainText(), QClipboard::Selection);
}

void PageView::SelectionChanged()
{
    viewport()->update();
    OfferSelection();
    if (QAccessible::isActive()) {
        const int start = PageStart(CurrentPage());
        QAccessibleTextSelectionEvent selected(this, std::max(0, m_cursor.selectionStart() - start),
                                               std::max(0, m_cursor.selectionEnd() - start));
        QAccessible::updateAccessibility(&selected);
    }
}

void PageView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void PageView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void PageView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_document)
        return QAbstractScrollArea::mouseReleaseEvent(event);
    // The selection is offered once the drag has made it, not at every move.
    OfferSelection();
}

void PageView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_document)
        return QAbstractScrollArea::mousePressEvent(event);
    const int position = HitTest(event->position().toPoint());
    if (position < 0)
        return;
    m_cursor.setPosition(position, event->modifiers() & Qt::ShiftModifier ? QTextCursor::KeepAnchor
                                                                          : QTextCursor::MoveAnchor);
    viewport()->update();
}

void PageView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_document)
        return QAbstractScrollArea::mouseMoveEvent(event);
    const int position = HitTest(event->position().toPoint());
    if (position < 0)
        return;
    m_cursor.setPosition(position, QTextCursor::KeepAnchor);
    viewport()->update();
}

void PageView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_document)
        return QAbstractScrollArea::mouseDoubleClickEvent(event);
    const int position = HitTest(event->position().toPoint());
    if (position < 0)
        return;
    m_cursor.setPosition(position);
    m_cursor.select(QTextCursor::WordUnderCursor);
    SelectionChanged();
}

} // namespace keld
