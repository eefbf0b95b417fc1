// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FileDialog.h"

#include "common/FileName.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

#include <deque>
#include <optional>

namespace keld {

namespace {

// Queued answers of the test seam; an empty optional is a cancel.
std::deque<std::optional<QString>>& NextAnswers()
{
    static std::deque<std::optional<QString>> answers;
    return answers;
}

FileDialog::Kind g_lastKind = FileDialog::Kind::Open;
QString g_lastInitialName;
QString g_lastFilter;

} // namespace

QString OfferedFileName(const QString& name, const QString& extension, const QString& fallback)
{
    return QString::fromStdString(
        OfferedFileNameUtf8(name.toStdString(), extension.toStdString(), fallback.toStdString()));
}

QString FileDialog::QtFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList masks = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& mask : masks)
            mask = mask.trimmed();
        QString description = parts[i].trimmed();
        // Qt shows the description and reads the masks from its last parentheses: a shown list
        // ("Bitmaps (*.bmp)") gives way to the whole one, so each mask shows once.
        if (description.endsWith(u')')) {
            const qsizetype open = description.lastIndexOf(u'(');
            if (open >= 0)
                description = description.left(open).trimmed();
        }
        const QString list = QStringLiteral("(%1)").arg(masks.join(u' '));
        entries << (description.isEmpty() ? list : description + u' ' + list);
    }
    if (parts.size() % 2 == 1 && !parts.back().isEmpty())
        entries << parts.back();
    return entries.join(QStringLiteral(";;"));
}

QString FileDialog::WithDefaultExtension(const QString& path, const QString& defaultExtension)
{
    if (path.isEmpty() || defaultExtension.isEmpty())
        return path;
    if (!QFileInfo(path).suffix().isEmpty())
        return path;
    return path + u'.' + defaultExtension;
}

Result<QString> FileDialog::Show(Kind kind, const QString& filter, const QString& defaultExtension,
                                 const QString* fileName)
{
    if (fileName)
        m_fileName = *fileName;
    g_lastKind = kind;
    g_lastInitialName = m_fileName;
    g_lastFilter = filter;

    std::optional<QString> chosen;
    if (!NextAnswers().empty()) {
        chosen = NextAnswers().front();
        NextAnswers().pop_front();
    } else {
        QFileDialog dialog(m_owner);
        Prepare(dialog, kind, filter, defaultExtension, m_fileName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().constFirst();
    }
    if (!chosen || chosen->isEmpty())
        return KeldError(kErrCancel);
    m_fileName = WithDefaultExtension(*chosen, defaultExtension);
    return m_fileName;
}

void FileDialog::Prepare(QFileDialog& dialog, Kind kind, const QString& filter,
                         const QString& defaultExtension, const QString& fileName)
{
    dialog.setAcceptMode(kind == Kind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    // The open dialog accepts a typed name of a file that does not exist, and the save dialog
    // does not ask before replacing one.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (kind == Kind::Save)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(QtFilter(filter));
    dialog.setDefaultSuffix(defaultExtension);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    // Qt's own size cuts the name, size, type and date columns; this shows them, within the
    // screen the dialog opens on.
    const QFontMetrics metrics(dialog.font());
    QSize wanted(metrics.averageCharWidth() * 110, metrics.height() * 30);
    const QWidget* over = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
    if (const QScreen* screen = over ? over->screen() : QGuiApplication::primaryScreen())
        wanted = wanted.boundedTo(screen->availableGeometry().size() * 9 / 10);
    dialog.resize(wanted.expandedTo(dialog.minimumSizeHint()));
}

void FileDialog::SetNextFileName(const QString& path)
{
    NextAnswers().push_back(path);
}

void FileDialog::SetNextCancel()
{
    NextAnswers().push_back(std::nullopt);
}

FileDialog::Kind FileDialog::LastKind()
{
    return g_lastKind;
}

QString FileDialog::LastInitialName()
{
    return g_lastInitialName;
}

QString FileDialog::LastFilter()
{
    return g_lastFilter;
}

} // namespace keld
