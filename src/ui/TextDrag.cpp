#include "ui/TextDrag.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace keld {

QMimeData* CaptionMimeData(const QString& caption)
{
    auto* data = new QMimeData;
    data->setText(caption);
    return data;
}

void StartCaptionDrag(QWidget* source, const QString& caption)
{
    auto* drag = new QDrag(source);
    drag->setMimeData(CaptionMimeData(caption));
    drag->exec(Qt::CopyAction);
}

TextDropTarget::TextDropTarget(QWidget* target, std::function<void(const QString&)> onDrop)
    : QObject(target), m_onDrop(std::move(onDrop))
{
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

bool TextDropTarget::IsTarget(const QWidget* widget)
{
    for (const QObject* child : widget->children())
        if (dynamic_cast<const TextDropTarget*>(child))
            return true;
    return false;
}

void TextDropTarget::RefuseOtherDrops(QWidget* root)
{
    for (QWidget* widget : root->findChildren<QWidget*>())
        if (widget->acceptDrops() && !IsTarget(widget))
            widget->setAcceptDrops(false);
}

bool TextDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (drag->mimeData()->hasText()) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!drop->mimeData()->hasText())
            return false;
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        m_onDrop(drop->mimeData()->text());
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace keld
