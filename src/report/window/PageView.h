// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractScrollArea>
#include <QTextCursor>

#include <vector>

class QTextDocument;

namespace keld {

namespace render {
class RenderedReport;
}

// A paginated report shown as its paper pages, one below the other with a gap, each painted with
// its header and footer exactly as printing paints it. Text is selected with the mouse (or Ctrl+A)
// by hit testing the document under the painted pages; the view never changes the document.
class PageView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum class ZoomMode { FitWidth, WholePage, Fixed };

    explicit PageView(QWidget* parent = nullptr);

    // Shows `report` (not owned; it must outlive its time here), from the top of page 1.
    void SetReport(const render::RenderedReport* report);
    const render::RenderedReport* Report() const { return m_report; }
    // The report's body, for cursors that select in it.
    QTextDocument* document() const { return m_document; }

    QTextCursor textCursor() const { return m_cursor; }
    void setTextCursor(const QTextCursor& cursor);
    QString toPlainText() const;

    int PageCount() const;
    // The page at the top part of the view, from 0.
    int CurrentPage() const;
    // Scrolls the top of page `index` (clamped) to the top of the view.
    void ShowPage(int index);

    ZoomMode Mode() const { return m_mode; }
    // Screen pixels per document pixel.
    double Scale() const;
    // Percent of the paper's real size on screen.
    double Percent() const;
    void SetMode(ZoomMode mode);
    void SetPercent(double percent);
    void ZoomIn();
    void ZoomOut();

    // Page `index` in viewport coordinates.
    QRect PageRect(int index) const;
    // The document position under a viewport point, or -1 off the pages.
    int HitTest(const QPoint& point) const;

    // Where page `index` begins in the document, and its text with one character for each
    // document position (paragraph and cell ends as line breaks): what a screen reader reads.
    int PageStart(int index) const;
    QString PageText(int index) const;
    // The character at document `position` in viewport coordinates.
    QRect PositionRect(int position) const;

    QSize sizeHint() const override;

signals:
    // The current page or the page count changed (index from 0).
    void PageChanged(int index, int count);
    void ZoomChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QSizeF PaperPixels() const;
    double OneToOne() const;
    void ApplyMode(ZoomMode mode);
    void UpdateGeometry();
    void EmitPage();
    void CopySelection() const;
    // The selection as the X11 primary selection, for a middle-click paste.
    void OfferSelection() const;
    void SelectionChanged();
    int Gap() const;

    const render::RenderedReport* m_report = nullptr;
    QTextDocument* m_document = nullptr;
    QTextCursor m_cursor;
    ZoomMode m_mode = ZoomMode::FitWidth;
    double m_percent = 100;
    int m_lastPage = -1;
    int m_lastCount = -1;
    mutable std::vector<int> m_pageStarts; // filled when first asked for
    QString m_spokenPage;                  // the page text a screen reader was last given
};

} // namespace keld
