// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/KeldApplication.h"
#include "app/MainWindow.h"
#include "settings/SettingsStore.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QFile>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace keld::test {

// A program with its own settings store and its own copy of the shipped data, so that a test
// can break a rules file or store odd settings without touching anything else.
class ShellFixture {
public:
    ShellFixture()
    {
        for (const char* name :
             {"racemod.txt", "profmod.txt", "adolmod.txt", "detchar.rtf", "subchar.rtf", "keldcg.log"})
            QFile::copy(QStringLiteral(KELD_SOURCE_DIR "/data/") + QLatin1String(name), DataFile(name));
        MessageBox::TakeShown();
    }

    QString DataFile(const char* name) const { return m_data.filePath(QLatin1String(name)); }
    QString ConfigFolder() const { return m_config.path(); }

    KeldApplication::Options Options()
    {
        KeldApplication::Options options;
        options.configFolder = m_config.path().toStdString();
        options.dataFolder = m_data.path().toStdString();
        options.endProgram = [this] { ++m_ended; };
        return options;
    }

    // A program that has not started yet; starting it is the test's business.
    std::unique_ptr<KeldApplication> MakeApp() { return std::make_unique<KeldApplication>(Options()); }

    int EndedCount() const { return m_ended; }

    SettingsStore Store() const { return SettingsStore(m_config.path().toStdString()); }
    // A setting as an earlier run left it in the file.
    bool StoreSetting(const std::string& section, const std::string& key, const std::string& value) const
    {
        SettingsStore store = Store();
        return store.SaveSetting(ApplicationName(), section, key, value).Ok() &&
               store.Flush(ApplicationName()).Ok();
    }
    QString IniPath() const { return QString::fromStdString(Store().StoreFile(ApplicationName()).string()); }
    bool IniExists() const { return QFile::exists(IniPath()); }
    // "SECTION/KEY=value" for every entry of the store file, in file order.
    QStringList IniEntries() const
    {
        QFile file(IniPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList entries;
        QString section;
        for (const QString& raw : QString::fromUtf8(file.readAll()).split(u'\n')) {
            const QString line = raw.trimmed();
            if (line.startsWith(u'['))
                section = line.mid(1, line.size() - 2);
            else if (line.contains(u'='))
                entries << section + u'/' + line;
        }
        return entries;
    }
    QStringList IniKeys() const
    {
        QStringList keys;
        for (const QString& entry : IniEntries())
            keys << entry.section(u'=', 0, 0);
        return keys;
    }
    QString IniValue(const QString& sectionKey) const
    {
        for (const QString& entry : IniEntries())
            if (entry.section(u'=', 0, 0) == sectionKey)
                return entry.section(u'=', 1);
        return {};
    }

    void WriteDataFile(const char* name, const QByteArray& bytes) const
    {
        QFile file(DataFile(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

private:
    QTemporaryDir m_config;
    QTemporaryDir m_data;
    int m_ended = 0;
};

inline QAction* Item(KeldApplication& app, const char* name)
{
    QAction* action = app.Sheet()->MenuItem(QLatin1String(name));
    if (!action)
        qWarning("no menu item %s", name);
    return action;
}

} // namespace keld::test
