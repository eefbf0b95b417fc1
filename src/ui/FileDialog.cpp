#include "ui/FileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
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

} // namespace

QString FileDialog::QtFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList masks = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& mask : masks)
            mask = mask.trimmed();
        QString description = parts[i].trimmed();
        // Qt reads the masks from the last parentheses, so a description that already shows
        // them must not be followed by a different list.
        entries << QStringLiteral("%1 (%2)").arg(description, masks.join(u' '));
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

    std::optional<QString> chosen;
    if (!NextAnswers().empty()) {
        chosen = NextAnswers().front();
        NextAnswers().pop_front();
    } else {
        QFileDialog dialog(m_owner);
        dialog.setAcceptMode(kind == Kind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        // The open dialog accepts a typed name of a file that does not exist, and the save
        // dialog does not ask before replacing one.
        dialog.setFileMode(QFileDialog::AnyFile);
        if (kind == Kind::Save)
            dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setNameFilter(QtFilter(filter));
        dialog.setDefaultSuffix(defaultExtension);
        if (!m_fileName.isEmpty())
            dialog.selectFile(m_fileName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().front();
    }
    if (!chosen || chosen->isEmpty())
        return KeldError(kErrCancel);
    m_fileName = WithDefaultExtension(*chosen, defaultExtension);
    return m_fileName;
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

} // namespace keld
