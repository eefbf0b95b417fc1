// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"

#include <QString>

class QFileDialog;
class QWidget;

namespace keld {

// The file name offered for a character called `name`: `name` + "." + extension, with what a
// file name cannot hold (/ \ : * ? " < > | and control characters) made "_", without leading
// or trailing dots and blanks, cut to leave room for the extension; a name left empty becomes
// `fallback`.
QString OfferedFileName(const QString& name, const QString& extension,
                        const QString& fallback = QStringLiteral("character"));

// The open and save dialogs every file command goes through. Each owning window keeps one
// object, which remembers the file name of its last use. Cancel is reported as error 32755.
class FileDialog {
public:
    enum class Kind { Open, Save };

    explicit FileDialog(QWidget* owner) : m_owner(owner) {}

    // filter is in the "Description|*.a;*.b|..." form; defaultExtension ("kld") is appended to a
    // chosen name without an extension; fileName, when given, replaces the remembered name.
    Result<QString> Show(Kind kind, const QString& filter, const QString& defaultExtension,
                         const QString* fileName = nullptr);
    Result<QString> ShowOpen(const QString& filter, const QString& defaultExtension,
                             const QString* fileName = nullptr)
    {
        return Show(Kind::Open, filter, defaultExtension, fileName);
    }
    Result<QString> ShowSave(const QString& filter, const QString& defaultExtension,
                             const QString* fileName = nullptr)
    {
        return Show(Kind::Save, filter, defaultExtension, fileName);
    }

    // The file name of the last use (the initial name of the next one).
    const QString& FileName() const { return m_fileName; }

    // "(*.kld)|*.kld" -> "(*.kld)", "Bitmaps (*.bmp)|*.bmp;*.dib" -> "Bitmaps (*.bmp *.dib)":
    // Qt's filter list, one entry per pair, each showing its masks once.
    static QString QtFilter(const QString& filter);
    static QString WithDefaultExtension(const QString& path, const QString& defaultExtension);

    // Sets up `dialog` as Show does (kind, filter, extension, initial name, a size that shows its
    // columns); Show then runs it.
    static void Prepare(QFileDialog& dialog, Kind kind, const QString& filter, const QString& defaultExtension,
                        const QString& fileName);

    // Test seam: the next dialog shown answers with this path (or cancels) without opening.
    static void SetNextFileName(const QString& path);
    static void SetNextCancel();
    // What the last dialog shown was asked (kind, initial name, filter), for tests.
    static Kind LastKind();
    static QString LastInitialName();
    static QString LastFilter();

private:
    QWidget* m_owner;
    QString m_fileName;
};

} // namespace keld
