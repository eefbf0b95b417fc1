// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QMimeData;
class QWidget;

namespace keld {

// Labels are dragged by their caption: the drag carries it as plain text, so a target takes a
// stat chip, a die value or text dragged from another program alike. It also carries a mark, so
// that the program's other text boxes can tell it from a text being moved.
QMimeData* CaptionMimeData(const QString& caption);
// Whether the data is a caption dragged from one of the program's labels.
bool IsCaptionDrag(const QMimeData* data);
// Starts dragging caption from source (blocks in a nested event loop until the drop).
void StartCaptionDrag(QWidget* source, const QString& caption);

// Makes target accept dropped text and hands the text to onDrop.
class TextDropTarget : public QObject {
    Q_OBJECT

public:
    TextDropTarget(QWidget* target, std::function<void(const QString&)> onDrop);

    // Whether widget was made a drop target here.
    static bool IsTarget(const QWidget* widget);
    // Turns off the toolkit's own drop handling (text boxes insert any dropped text) on every
    // widget below root that is not a drop target, so the pointer shows where a drop goes.
    static void RefuseOtherDrops(QWidget* root);
    // Makes every widget of the program that is not a drop target refuse a dragged caption (a
    // die or a chip), its pointer showing so, while text boxes still take text moved between
    // them. Installed once on the application; further calls do nothing.
    static void RefuseCaptionsElsewhere();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QString&)> m_onDrop;
};

} // namespace keld
