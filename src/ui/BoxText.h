// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class QFont;
class QLineEdit;

namespace keld {

// The width, in pixels, that a one-line box has for its text.
int TextRoomOf(const QLineEdit* edit);
// Whether the box shows its whole text.
bool ShowsWholeText(const QLineEdit* edit);
// The width the box needs to show `sample` whole in `font`, frame and margins included.
int BoxWidthFor(const QLineEdit* edit, const QFont& font, const QString& sample);

// A box not being edited shows the start of its text, not the end typing left in view, and a
// text wider than the box is given whole in its tooltip.
class BoxTextStart : public QObject {
    Q_OBJECT
public:
    // Installs the behaviour on `edit` once; further calls do nothing.
    static void Install(QLineEdit* edit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};

} // namespace keld
