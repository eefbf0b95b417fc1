// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowPlace.h"

#include "settings/SettingsStore.h"
#include "ui/Twips.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <string>

namespace keld {

namespace {

constexpr std::string_view kSection = "SCREEN";

std::string FormKey(std::string_view form, std::string_view edge)
{
    std::string key(form);
    key += edge;
    return key;
}

// Beyond this a stored coordinate is no place on any desktop (and would overflow a pixel count).
constexpr double kFarthestTwips = 1e7;

QSize FrameExtra(const QWidget* window)
{
    return window->frameGeometry().size() - window->size();
}

// Waits for the window's first showing and for the frame the window system puts around it,
// and fits the window on its screen each time; gone once the frame is known or soon after.
class FitWhenFramed : public QObject {
    Q_OBJECT

public:
    explicit FitWhenFramed(QWidget* window) : QObject(window), m_window(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_window)
            return false;
        switch (event->type()) {
        case QEvent::Show:
            Fit();
            if (!m_shown) {
                m_shown = true;
                // A window system that frames nothing (or never says so) leaves the user's moves
                // alone after a moment.
                QTimer::singleShot(3000, this, [this] { Done(); });
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (m_shown && FrameExtra(m_window) != m_extra)
                Fit();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void Fit()
    {
        m_extra = FrameExtra(m_window);
        FitOnScreen(m_window);
        if (m_shown && !m_extra.isNull())
            Done();
    }

    void Done()
    {
        if (m_window)
            m_window->removeEventFilter(this);
        deleteLater();
    }

    QPointer<QWidget> m_window;
    QSize m_extra;
    bool m_shown = false;
};

} // namespace

QRect AvailableAreaFor(const QRect& frame)
{
    const QScreen* best = nullptr;
    qint64 bestArea = -1;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->geometry().intersected(frame);
        const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    if (bestArea <= 0) {
        // On no screen: the nearest one.
        qint64 nearest = -1;
        for (const QScreen* screen : QGuiApplication::screens()) {
            const QPoint d = screen->geometry().center() - frame.center();
            const qint64 distance = qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
            if (nearest < 0 || distance < nearest) {
                best = screen;
                nearest = distance;
            }
        }
    }
    if (!best)
        best = QGuiApplication::primaryScreen();
    return best ? best->availableGeometry() : QRect(0, 0, 1024, 768);
}

QRect FitInto(const QRect& frame, const QRect& area, const QSize& minimum)
{
    const int width = std::max(std::min(frame.width(), area.width()), minimum.width());
    const int height = std::max(std::min(frame.height(), area.height()), minimum.height());
    // Larger than the area even so: its top left corner, with the caption, stays reachable.
    const int left = std::max(std::min(frame.left(), area.right() + 1 - width), area.left());
    const int top = std::max(std::min(frame.top(), area.bottom() + 1 - height), area.top());
    return QRect(left, top, width, height);
}

void FitOnScreen(QWidget* window)
{
    const QRect frame = window->frameGeometry();
    const QSize extra = FrameExtra(window);
    const QRect fitted = FitInto(frame, AvailableAreaFor(frame), window->minimumSize() + extra);
    if (fitted.size() != frame.size())
        window->resize(fitted.size() - extra);
    if (fitted.topLeft() != frame.topLeft())
        window->move(fitted.topLeft());
}

void FitOnScreenWhenShown(QWidget* window)
{
    FitOnScreen(window);
    for (const QObject* child : window->children())
        if (qobject_cast<const FitWhenFramed*>(child))
            return;
    new FitWhenFramed(window);
}

bool OnSomeScreen(const QRect& frame)
{
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->geometry().intersects(frame))
            return true;
    return false;
}

bool WithinOneScreen(const QRect& rect)
{
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->geometry().contains(rect))
            return true;
    return false;
}

Result<int> LoadWindowCoordinate(SettingsStore& settings, std::string_view app, std::string_view key,
                                 int fallbackPx, const QWidget* window)
{
    const auto twips =
        settings.GetCoordinate(app, kSection, key, static_cast<float>(PxToTwips(fallbackPx, window)));
    if (!twips)
        return twips.Error();
    if (!std::isfinite(*twips))
        return fallbackPx;
    return TwipsToPx(std::clamp(static_cast<double>(*twips), -kFarthestTwips, kFarthestTwips), window);
}

Result<QPoint> LoadWindowPlace(SettingsStore& settings, std::string_view app, std::string_view form,
                               const QPoint& fallback, const QWidget* window)
{
    const auto top = LoadWindowCoordinate(settings, app, FormKey(form, "TOP"), fallback.y(), window);
    if (!top)
        return top.Error();
    const auto left = LoadWindowCoordinate(settings, app, FormKey(form, "LEFT"), fallback.x(), window);
    if (!left)
        return left.Error();
    return QPoint(*left, *top);
}

void SaveWindowCoordinate(SettingsStore& settings, std::string_view app, std::string_view key, int px,
                          const QWidget* window)
{
    (void)settings.SaveCoordinate(app, kSection, key, static_cast<float>(PxToTwips(px, window)));
}

void SaveWindowPlace(SettingsStore& settings, std::string_view app, std::string_view form,
                     const QPoint& place, const QWidget* window)
{
    SaveWindowCoordinate(settings, app, FormKey(form, "TOP"), place.y(), window);
    SaveWindowCoordinate(settings, app, FormKey(form, "LEFT"), place.x(), window);
}

} // namespace keld

#include "WindowPlace.moc"
