// SPDX-License-Identifier: GPL-3.0-or-later
// Printing against a real print system: a CUPS server of the test's own, in a temporary folder,
// with one queue that writes to /dev/null. Skipped, with the reason, where CUPS is not installed.
#include "character/SheetModel.h"
#include "charfile/CharacterFileReader.h"
#include "common/ProgramFolder.h"
#include "report/window/PrintDestination.h"
#include "report/window/ReportWindow.h"
#include "rules/RulesTables.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

#include <pwd.h>
#include <unistd.h>

using namespace keld;

namespace {

const QString kQueue = QStringLiteral("keldtest");

QString DataFile(const char* name)
{
    return QString::fromStdString((FindDataFolder(name) / name).string());
}

} // namespace

class ReportPrintSystemTest : public QObject {
    Q_OBJECT

    RulesTables m_tables;
    SheetModel m_sheet;
    QTemporaryDir m_server{QStringLiteral("/tmp/keldcups-XXXXXX")}; // a socket path has 108 bytes at most
    QProcess m_cupsd;

    // Runs a CUPS command against the test's server; its output, or a failed test.
    QString Cups(const QString& command, const QStringList& args)
    {
        // The administration commands live in sbin, which a normal user's PATH may leave out.
        QString program = QStandardPaths::findExecutable(command);
        if (program.isEmpty())
            program = QStandardPaths::findExecutable(command,
                                                     {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        QProcess process;
        process.start(program, args);
        if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            qWarning("%s %s: %s", qPrintable(command), qPrintable(args.join(u' ')),
                     process.readAllStandardError().constData());
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }

    // The jobs the server holds for the queue that have not printed yet.
    QString PendingJobs() { return Cups(QStringLiteral("lpstat"), {QStringLiteral("-o"), kQueue}); }

    void MakeQueue()
    {
        Cups(QStringLiteral("lpadmin"),
             {QStringLiteral("-p"), kQueue, QStringLiteral("-E"), QStringLiteral("-v"),
              QStringLiteral("file:///dev/null"), QStringLiteral("-m"), QStringLiteral("raw")});
        Cups(QStringLiteral("lpadmin"), {QStringLiteral("-d"), kQueue});
    }

    std::unique_ptr<ReportWindow> Report()
    {
        auto window = std::make_unique<ReportWindow>(m_sheet);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        if (!window->LoadTemplate(DataFile("subchar.rtf")).Ok())
            qFatal("the summary template cannot be loaded");
        window->FillData();
        return window;
    }

private slots:
    void initTestCase()
    {
        const QStringList sbin{QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")};
        const QString cupsd = QStandardPaths::findExecutable(QStringLiteral("cupsd"), sbin);
        const QString lpadmin = QStandardPaths::findExecutable(QStringLiteral("lpadmin"), sbin);
        if (cupsd.isEmpty() || lpadmin.isEmpty())
            QSKIP(
                "CUPS is not installed (Debian package cups): printing against a print system is not tested");

        QVERIFY(m_server.isValid());
        const QString root = m_server.path();
        const QString socket = root + QStringLiteral("/cups.sock");
        for (const char* folder : {"spool", "cache", "state", "log", "tmp"})
            QVERIFY(QDir(root).mkpath(QLatin1String(folder)));
        QFile conf(root + QStringLiteral("/cupsd.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(
            QStringLiteral("Listen %1\nBrowsing No\nWebInterface No\nDefaultAuthType None\nLogLevel warn\n"
                           "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n"
                           "<Location />\nOrder allow,deny\nAllow all\n</Location>\n")
                .arg(socket)
                .toLocal8Bit());
        conf.close();
        QFile files(root + QStringLiteral("/cups-files.conf"));
        QVERIFY(files.open(QIODevice::WriteOnly));
        QString fileSettings =
            QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\n"
                           "StateDir %1/state\nTempDir %1/tmp\nErrorLog %1/log/error_log\n"
                           "AccessLog %1/log/access_log\nPageLog %1/log/page_log\nFileDevice Yes\n")
                .arg(root);
        // A server started by a normal user runs as that user.
        if (::geteuid() != 0)
            fileSettings +=
                QStringLiteral("User %1\n").arg(QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name));
        files.write(fileSettings.toLocal8Bit());
        files.close();

        // Before anything asks CUPS: the library keeps the server it first used.
        qputenv("CUPS_SERVER", socket.toLocal8Bit());
        m_cupsd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_cupsd.start(cupsd, {QStringLiteral("-f"), QStringLiteral("-c"), conf.fileName(),
                              QStringLiteral("-s"), files.fileName()});
        QVERIFY2(m_cupsd.waitForStarted(), "cupsd does not start");
        QDeadlineTimer deadline(10000);
        while (!QFile::exists(socket) && !deadline.hasExpired())
            QThread::msleep(50);
        QVERIFY2(QFile::exists(socket), "cupsd does not listen");
        QThread::msleep(200);

        m_sheet.SetOver102(true);
        m_sheet.ClearCharacter();
        QVERIFY(LoadRulesTables(FindDataFolder(kRaceFileName), m_tables).Ok());
        m_sheet.FillLists(&m_tables);
        QVERIFY(ReadCharacterFile(m_sheet, KELD_TEST_DATA "/charfile/valid-character.kld").Ok());
    }

    void init()
    {
        MakeQueue();
        Cups(QStringLiteral("cupsenable"), {kQueue});
        Cups(QStringLiteral("cupsaccept"), {kQueue});
        Cups(QStringLiteral("cancel"), {QStringLiteral("-a"), kQueue});
        MessageBox::TakeShown();
    }

    void cleanupTestCase()
    {
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(10000))
                m_cupsd.kill();
        }
    }

    // A queue that works takes the job, and nothing is said.
    void WorkingQueuePrintsSilently()
    {
        auto window = Report();
        QVERIFY(window->Print());
        QCOMPARE(MessageBox::TakeShown(), QStringList());
    }

    // A stopped printer keeps the job in its queue; the user is told so, with the reason.
    void StoppedPrinterKeepsTheJobAndSaysWhy()
    {
        Cups(QStringLiteral("cupsdisable"), {QStringLiteral("-r"), QStringLiteral("paper jam"), kQueue});
        auto window = Report();
        QVERIFY(window->Print());
        const QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains(QStringLiteral("\"%1\" is stopped (paper jam)").arg(kQueue)) &&
                     shown[0].contains("waits in its queue"),
                 qPrintable(shown[0]));
        QVERIFY2(PendingJobs().contains(kQueue), "the job is not in the queue");
    }

    // A queue that refuses jobs gets none; the message gives the administrator's reason.
    void RefusingQueueSaysTheAdministratorsReason()
    {
        Cups(QStringLiteral("cupsreject"),
             {QStringLiteral("-r"), QStringLiteral("closed for maintenance"), kQueue});
        auto window = Report();
        QVERIFY(!window->Print());
        const QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("is not accepting jobs (closed for maintenance)") &&
                     shown[0].contains("PDF"),
                 qPrintable(shown[0]));
    }

    // A queue removed while the report is printing never gets the job: that is said, and the
    // report can be saved as a PDF instead.
    void QueueRemovedWhilePrintingIsSaid()
    {
        const auto restore = qScopeGuard([] { PrintDestination::SetAcceptCheck({}); });
        PrintDestination::SetAcceptCheck([this](const QPrinter&) {
            Cups(QStringLiteral("lpadmin"), {QStringLiteral("-x"), kQueue});
            return Success();
        });
        QTemporaryDir saved;
        MessageBox::SetNextAnswer(QMessageBox::Save);
        FileDialog::SetNextFileName(saved.filePath(QStringLiteral("instead")));
        auto window = Report();
        QVERIFY(!window->Print());
        const QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("was not printed") && shown[0].contains("PDF"), qPrintable(shown[0]));
        QVERIFY(QFile::exists(saved.filePath(QStringLiteral("instead.pdf"))));

        // Gone before the job is made, from under a printer that was set up for it: the same.
        PrintDestination::SetAcceptCheck({});
        MakeQueue();
        const auto factory = qScopeGuard([] { PrintDestination::SetFactory({}); });
        PrintDestination::SetFactory([this] {
            auto printer =
                std::make_unique<QPrinter>(QPrinterInfo::printerInfo(kQueue), QPrinter::HighResolution);
            Cups(QStringLiteral("lpadmin"), {QStringLiteral("-x"), kQueue});
            return printer;
        });
        auto again = Report();
        QVERIFY(!again->Print());
        const QStringList said = MessageBox::TakeShown();
        QCOMPARE(said.size(), 1);
        QVERIFY2(said[0].contains("was not printed") && said[0].contains("(the printer is no longer set up)"),
                 qPrintable(said[0]));
    }
};

QTEST_MAIN(ReportPrintSystemTest)
#include "ReportPrintSystemTest.moc"
