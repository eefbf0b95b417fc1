#include "report/window/PageView.h"

#include "report/render/RenderBuilder.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace keld {

namespace {

constexpr double kMinPercent = 10;
constexpr double kMaxPercent = 800;
constexpr double kZoomStep = 1.25;

} // namespace

PageView::PageView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    // The surround follows the theme; the pages are white paper under any theme.
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    // A scroll bar that came and went would change the fitted width and with it the height.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void PageView::SetDocument(QTextDocument* document)
{
    m_document = document;
    m_cursor = document ? QTextCursor(document) : QTextCursor();
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
    viewport()->update();
}

QString PageView::toPlainText() const
{
    return m_document ? m_document->toPlainText() : QString();
}

int PageView::PageCount() const
{
    return m_document ? std::max(1, m_document->pageCount()) : 0;
}

int PageView::Gap() const
{
    return std::max(8, fontMetrics().height());
}

QSizeF PageView::PaperPixels() const
{
    if (!m_document)
        return {};
    const QSizeF page = render::PagePixels(*m_document);
    return page.isValid() && page.width() > 0 && page.height() > 0 ? page : QSizeF(816, 1056);
}

double PageView::OneToOne() const
{
    return m_document ? logicalDpiX() / render::PixelDpi(*m_document) : 1.0;
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
    if (bar->value() >= bar->maximum() && bar->maximum() > 0 && PageRect(count - 1).top() < viewport()->height())
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
    if (!m_document)
        return;
    QPainter painter(viewport());
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
        render::PaintPage(painter, *m_document, index, selections);
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
            viewport()->update();
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
    viewport()->update();
}

} // namespace keld
