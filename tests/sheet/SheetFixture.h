// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/SheetModel.h"
#include "common/ProgramFolder.h"
#include "rules/RulesTables.h"
#include "binding/SheetBinding.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace keld::test {

// The sheet's model, the shipped rules tables and the binding over the model. Each area's test
// clears, fills the lists and refreshes in the order it needs, and adds its area after these.
struct SheetParts {
    RulesTables tables;
    SheetModel model;
    SheetBinding binding{model};

    // Without the shipped tables no list or rule under test would mean anything.
    void LoadTables()
    {
        if (!LoadRulesTables(FindDataFolder(kRaceFileName), tables))
            qFatal("the shipped rules tables did not load");
    }
};

// The control of that name below `root`; a missing one stops the run, as every later step would
// fail on it.
template <typename T> T* FindControl(const QWidget* root, const QString& name)
{
    T* widget = root->findChild<T*>(name);
    if (!widget)
        qFatal("no control %s", qPrintable(name));
    return widget;
}

// A drop as a drag delivers it: Qt only hands a drop to the widget that took the drag's entry.
inline void Drop(QWidget* target, const QMimeData& data)
{
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

} // namespace keld::test
