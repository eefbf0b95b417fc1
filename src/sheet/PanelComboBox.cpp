#include "sheet/PanelComboBox.h"

#include <QWheelEvent>

namespace keld {

void PanelComboBox::wheelEvent(QWheelEvent* event)
{
    if (hasFocus())
        QComboBox::wheelEvent(event);
    else
        event->ignore();
}

} // namespace keld
