// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ShellIcons.h"

#include <QFile>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>

// The resources live in a static library, so they must be registered by hand.
static void InitShellResources()
{
    Q_INIT_RESOURCE(shell);
}

namespace keld {

namespace {

QByteArray ReadIcon(const QString& name)
{
    static const bool initialised = (InitShellResources(), true);
    (void)initialised;
    QFile file(QStringLiteral(":/shell/icons/%1.svg").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Renders the SVG on demand with "currentColor" as the palette's text colour of the moment.
class SvgIconEngine : public QIconEngine {
public:
    explicit SvgIconEngine(QByteArray svg) : m_svg(std::move(svg)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        const QPalette palette = QGuiApplication::palette();
        const QColor ink = palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
                                         QPalette::WindowText);
        QByteArray svg = m_svg;
        svg.replace("currentColor", ink.name().toLatin1());
        QSvgRenderer renderer(svg);
        painter->save();
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.45);
        renderer.render(painter, QRectF(rect));
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        if (size.isEmpty())
            return pixmap;
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    // Window systems that want fixed sizes (the window icon) get these.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(24, 24), QSize(32, 32), QSize(48, 48), QSize(64, 64), QSize(128, 128)};
    }
    QIconEngine* clone() const override { return new SvgIconEngine(m_svg); }
    QString key() const override { return QStringLiteral("KeldSvgIconEngine"); }
    bool isNull() override { return m_svg.isEmpty(); }

private:
    QByteArray m_svg;
};

} // namespace

QIcon ShellIcon(const QString& name)
{
    QByteArray svg = ReadIcon(name);
    if (svg.isEmpty())
        return {};
    return QIcon(new SvgIconEngine(std::move(svg)));
}

QIcon ProgramIcon()
{
    return ShellIcon(QStringLiteral("keldcg"));
}

} // namespace keld
