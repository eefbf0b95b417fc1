#pragma once

#include "common/KeldError.h"

#include <QString>

class QWidget;

namespace keld {

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

    // "(*.kld)|*.kld" -> "(*.kld) (*.kld)": Qt's filter list, one entry per pair.
    static QString QtFilter(const QString& filter);
    static QString WithDefaultExtension(const QString& path, const QString& defaultExtension);

    // Test seam: the next dialog shown answers with this path (or cancels) without opening.
    static void SetNextFileName(const QString& path);
    static void SetNextCancel();
    // What the last dialog shown was asked (kind and initial name), for tests.
    static Kind LastKind();
    static QString LastInitialName();

private:
    QWidget* m_owner;
    QString m_fileName;
};

} // namespace keld
