#include "ui/WindowPlace.h"

#include "settings/SettingsStore.h"
#include "ui/Twips.h"

#include <QGuiApplication>
#include <QPoint>
#include <QRect>
#include <QScreen>

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

} // namespace

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

Result<int> LoadWindowCoordinate(const SettingsStore& settings, std::string_view app, std::string_view key,
                                 int fallbackPx, const QWidget* window)
{
    const auto twips =
        settings.GetCoordinate(app, kSection, key, static_cast<float>(PxToTwips(fallbackPx, window)));
    if (!twips)
        return twips.Error();
    return TwipsToPx(*twips, window);
}

Result<QPoint> LoadWindowPlace(const SettingsStore& settings, std::string_view app, std::string_view form,
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

void SaveWindowCoordinate(const SettingsStore& settings, std::string_view app, std::string_view key, int px,
                          const QWidget* window)
{
    (void)settings.SaveCoordinate(app, kSection, key, static_cast<float>(PxToTwips(px, window)));
}

void SaveWindowPlace(const SettingsStore& settings, std::string_view app, std::string_view form,
                     const QPoint& place, const QWidget* window)
{
    SaveWindowCoordinate(settings, app, FormKey(form, "TOP"), place.y(), window);
    SaveWindowCoordinate(settings, app, FormKey(form, "LEFT"), place.x(), window);
}

} // namespace keld
