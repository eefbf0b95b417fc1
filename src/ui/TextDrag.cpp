// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TextDrag.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace keld {

namespace {

const QString kCaptionMark = QStringLiteral("application/x-keldcg-caption");

// Refuses a dragged caption wherever no drop target takes it.
class CaptionRefuser : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            auto* widget = qobject_cast<QWidget*>(watched);
            if (!widget || !IsCaptionDrag(drop->mimeData()) || TextDropTarget::IsTarget(widget))
                break;
            drop->ignore();
            return true;
        }
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

QMimeData* CaptionMimeData(const QString& caption)
{
    auto* data = new QMimeData;
    data->setText(caption);
    data->setData(kCaptionMark, QByteArray("1"));
    return data;
}

bool IsCaptionDrag(const QMimeData* data)
{
    return data && data->hasFormat(kCaptionMark);
}

void StartCaptionDrag(QWidget* source, const QString& caption)
{
    TextDropTarget::RefuseCaptionsElsewhere();
    auto* drag = new QDrag(source);
    drag->setMimeData(CaptionMimeData(caption));
    drag->exec(Qt::CopyAction);
}

TextDropTarget::TextDropTarget(QWidget* target, std::function<void(const QString&)> onDrop)
    : QObject(target), m_onDrop(std::move(onDrop))
{
    target->setAcceptDrops(true);
    target->installEventFilter(this);
    RefuseCaptionsElsewhere();
}

bool TextDropTarget::IsTarget(const QWidget* widget)
{
    for (const QObject* child : widget->children())
        if (qobject_cast<const TextDropTarget*>(child))
            return true;
    return false;
}

void TextDropTarget::RefuseOtherDrops(QWidget* root)
{
    for (QWidget* widget : root->findChildren<QWidget*>())
        if (widget->acceptDrops() && !IsTarget(widget))
            widget->setAcceptDrops(false);
}

void TextDropTarget::RefuseCaptionsElsewhere()
{
    auto* app = QCoreApplication::instance();
    if (!app || app->findChild<CaptionRefuser*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    app->installEventFilter(new CaptionRefuser(app));
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

#include "TextDrag.moc"
