// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QStringList>

#include <filesystem>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace keld {

// The about box (frmAbout): title, version, description and legal lines, the sheet's icon, and
// the release history from keldcg.log. Not modal; OK closes it.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    AboutBox(const QIcon& icon, std::filesystem::path logFile, QWidget* parent = nullptr);

    // Fills the box and shows it.
    void Open();
    // Starts the first system-information viewer found, or says that none is available.
    void StartSysInfo();

    // The viewers looked for on the PATH, in order (tests replace them).
    void SetSystemInfoPrograms(QStringList programs) { m_sysInfoPrograms = std::move(programs); }
    static QStringList DefaultSystemInfoPrograms();

    static QString ApplicationTitle();
    static QString VersionText();
    // A line break before each line of the file: lines A and B give "\nA\nB"; an empty file gives
    // "". Nothing when the file cannot be read.
    static std::optional<QString> LogText(const std::filesystem::path& logFile);

    QPlainTextEdit* Log() const { return m_txtLog; }

private:
    void Fill();

    std::filesystem::path m_logFile;
    QStringList m_sysInfoPrograms;
    QLabel* m_picIcon;
    QLabel* m_lblTitle;
    QLabel* m_lblVersion;
    QLabel* m_lblDescription;
    QLabel* m_lblDisclaimer;
    QPlainTextEdit* m_txtLog;
    QPushButton* m_cmdOK;
    QPushButton* m_cmdSysInfo;
};

} // namespace keld
