// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QAction;
class QToolBar;

namespace keld {

// The floating toolbar window (Form5): one column of buttons for the most used menu commands,
// kept against the sheet's left edge. It has no frame of its own; the sheet moves it along.
class ToolbarWindow : public QWidget {
    Q_OBJECT
public:
    // One position of the toolbar: a button that runs `command` (a menu item of the sheet), or a
    // separator when `command` is null.
    struct Position {
        QString tooltip;
        QString icon;
        QAction* command = nullptr;
    };

    // `spare` gives the part of the sheet, on the screen, that shows nothing (beside its panel).
    ToolbarWindow(QWidget* sheet, const std::vector<Position>& positions, std::function<QRect()> spare);

    QToolBar* Toolbar() const { return m_toolbar; }
    // The toolbar's size, against the sheet's left edge at the sheet's top. Where that would
    // leave the toolbar off the screen (a sheet at the screen's left edge), it goes against the
    // sheet's right edge instead, and where neither is on the screen (a maximised sheet), over the
    // sheet, raised above it, so that it can always be seen and used.
    void Dock();
    // Where the toolbar's frame (of size `frame`) goes beside `sheet` (its frame), on `area` (the
    // screen's available area); `spare` is the sheet's part that shows nothing, its first choice
    // when it must lie over the sheet.
    static QRect Place(const QRect& sheet, const QRect& spare, const QRect& area, const QSize& frame);

signals:
    // The window was closed by other means than the sheet's Toolbar item (the window system).
    void closedByUser();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* m_sheet;
    QToolBar* m_toolbar;
    std::function<QRect()> m_spare;
    // Whether the toolbar lies over the sheet, where a click on the sheet raises the sheet above it.
    bool m_overSheet = false;
};

} // namespace keld
