#pragma once

#include <QString>
#include <QWidget>

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

    ToolbarWindow(QWidget* sheet, const std::vector<Position>& positions);

    QToolBar* Toolbar() const { return m_toolbar; }
    // The toolbar's size, against the sheet's left edge at the sheet's top. Where that would
    // leave the toolbar off the screen (a sheet at the screen's left edge), it goes against the
    // sheet's right edge instead, so that it can always be seen.
    void Dock();

signals:
    // The window was closed by other means than the sheet's Toolbar item (the window system).
    void closedByUser();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* m_sheet;
    QToolBar* m_toolbar;
};

} // namespace keld
