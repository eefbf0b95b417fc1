#include "character/SheetModel.h"
#include "charfile/CharacterFileReader.h"
#include "common/ProgramFolder.h"
#include "report/window/PrintDestination.h"
#include "report/window/ReportCommands.h"
#include "report/window/ReportWindow.h"
#include "rules/RulesTables.h"
#include "settings/SettingsStore.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>

#include <filesystem>
#include <memory>

using namespace keld;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The words of a PDF; a missing pdftotext fails the test with the package to install rather
// than as an empty text far from the cause.
QString PdfText(const QString& path)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    if (!process.waitForStarted())
        qFatal("pdftotext is missing: install the package poppler-utils");
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A message box as MessageBox records it: the program's title, then the text.
QString Shown(const char* text)
{
    return QGuiApplication::applicationDisplayName() + u'\n' + QLatin1String(text);
}

QString DataFile(const char* name)
{
    return QString::fromStdString((FindDataFolder(name) / name).string());
}

} // namespace

class ReportWindowTest : public QObject {
    Q_OBJECT

    RulesTables m_tables;
    SheetModel m_sheet;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<FileDialog> m_sheetDialog;
    QString m_detailPath;
    QString m_summaryPath;
    std::unique_ptr<ReportCommands> m_commands;
    // What the stand-in printer was asked for: one PDF per job.
    QStringList m_jobs;

    QString TempPath(const QString& name) const { return m_dir->filePath(name); }

    // The default printer is a PDF writer into the test's folder.
    void StandInPrinter(const QString& folder = {})
    {
        PrintDestination::SetFactory([this, folder] {
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            const QString base = folder.isEmpty() ? m_dir->path() : folder;
            m_jobs << base + QStringLiteral("/job%1.pdf").arg(m_jobs.size() + 1);
            printer->setOutputFileName(m_jobs.back());
            return printer;
        });
    }

    QPushButton* Button(const char* name) const
    {
        return m_commands->Window() ? m_commands->Window()->findChild<QPushButton*>(QLatin1String(name))
                                    : nullptr;
    }

    QString PreviewText() const { return m_commands->Window()->Preview()->toPlainText(); }

    // The files the test folder holds apart from the settings.
    QStringList WrittenFiles() const
    {
        return QDir(m_dir->path()).entryList(QDir::Files | QDir::NoDotAndDotDot);
    }

private slots:
    void initTestCase()
    {
        m_sheet.SetOver102(true);
        m_sheet.ClearCharacter();
        QVERIFY(LoadRulesTables(FindDataFolder(kRaceFileName), m_tables).Ok());
        m_sheet.FillLists(&m_tables);
        QVERIFY(ReadCharacterFile(m_sheet, KELD_TEST_DATA "/charfile/valid-character.kld").Ok());
        QCOMPARE(m_sheet.Text(FieldId::General, 0), std::string("Broken"));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<SettingsStore>(QDir(m_dir->path()).filePath("config").toStdString());
        m_sheetDialog = std::make_unique<FileDialog>(nullptr);
        m_detailPath = DataFile("detchar.rtf");
        m_summaryPath = DataFile("subchar.rtf");
        m_commands = std::make_unique<ReportCommands>(m_sheet, nullptr, *m_sheetDialog, *m_settings,
                                                      m_detailPath, m_summaryPath);
        m_jobs.clear();
        StandInPrinter();
        MessageBox::TakeShown();
    }

    void cleanup()
    {
        m_commands->CloseReportWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_commands.reset();
        PrintDestination::SetFactory({});
    }

    // Both default templates preview the character in one window, which a print then closes.
    void PreviewsReuseOneWindowUntilAPrint()
    {
        m_commands->PreviewDetail();
        QPointer<ReportWindow> window = m_commands->Window();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Print Preview"));
        QVERIFY(PreviewText().contains("Broken"));
        QVERIFY(PreviewText().contains("a rope"));
        QVERIFY(!window->Preview()->textCursor().hasSelection());

        m_commands->PreviewSummary();
        QCOMPARE(m_commands->Window(), window.data());
        QVERIFY(PreviewText().contains("Broken"));
        QCOMPARE(MessageBox::TakeShown(), QStringList());
        for (const char* name : {"cmdPrint", "cmdsaveRTF", "cmdSavePDF", "cmdClose"})
            QVERIFY2(Button(name) && !Button(name)->accessibleName().isEmpty(), name);
        QVERIFY(!window->Preview()->accessibleName().isEmpty());

        m_commands->PrintDetail();
        QCOMPARE(m_commands->Window(), nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!window);
        QCOMPARE(m_jobs.size(), 1);

        // Close discards the window; the next preview builds a new one.
        m_commands->PreviewSummary();
        QVERIFY(m_commands->Window());
        QTest::mouseClick(Button("cmdClose"), Qt::LeftButton);
        QCOMPARE(m_commands->Window(), nullptr);
    }

    // A template that cannot be loaded is reported with its number, and the window opens anyway.
    void UnloadableTemplatesAreReported()
    {
        m_detailPath = TempPath("missing.rtf");
        m_commands->PreviewDetail();
        QCOMPARE(MessageBox::TakeShown(), QStringList{Shown("53  File not found")});
        QVERIFY(m_commands->Window() && m_commands->Window()->isVisible());

        // A file that is not RTF leaves the report the window held before.
        m_commands->PreviewSummary();
        QFile junk(TempPath("junk.rtf"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("plain text");
        junk.close();
        m_summaryPath = junk.fileName();
        m_commands->PreviewSummary();
        QCOMPARE(MessageBox::TakeShown(), QStringList{Shown("5  Invalid procedure call or argument")});
        QVERIFY(PreviewText().contains("Broken"));
    }

    // Print commands send the whole report as one job; the preview's Print sends only the selection.
    void PrintingSendsOneJobOfTheWholeReportOrTheSelection()
    {
        m_commands->PrintSummary();
        QCOMPARE(m_jobs.size(), 1);
        const QString summary = PdfText(m_jobs[0]);
        QVERIFY2(summary.contains("Broken") && summary.contains("Essence") && summary.contains("Craft"),
                 qPrintable(summary));
        QCOMPARE(m_commands->Window(), nullptr);
        QCOMPARE(MessageBox::TakeShown(), QStringList());

        m_commands->PreviewDetail();
        QTextEdit* preview = m_commands->Window()->Preview();
        const QTextCursor name = preview->document()->find(QStringLiteral("Broken"));
        QVERIFY(!name.isNull());
        preview->setTextCursor(name);
        QTest::mouseClick(Button("cmdPrint"), Qt::LeftButton);
        QCOMPARE(m_jobs.size(), 2);
        const QString part = PdfText(m_jobs[1]);
        QVERIFY2(part.contains("Broken") && !part.contains("30000") && !part.contains("Essence"),
                 qPrintable(part));
        QVERIFY(m_commands->Window());

        // The same selection is what Save As PDF writes.
        FileDialog::SetNextFileName(TempPath("part"));
        QTest::mouseClick(Button("cmdSavePDF"), Qt::LeftButton);
        QCOMPARE(FileDialog::LastKind(), FileDialog::Kind::Save);
        QCOMPARE(FileDialog::LastInitialName(), QStringLiteral("Broken.pdf"));
        QCOMPARE(PdfText(TempPath("part.pdf")), part);

        preview->moveCursor(QTextCursor::Start);
        QTest::mouseClick(Button("cmdPrint"), Qt::LeftButton);
        QCOMPARE(m_jobs.size(), 3);
        QVERIFY(PdfText(m_jobs[2]).contains("30000"));
    }

    // Save As RTF writes the bytes the command-line report writes for the same character.
    void SaveAsRtfMatchesTheCommandLineReport()
    {
        const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/keldcg-cli");
        QVERIFY2(QFile::exists(cli), "build keldcg-cli first");
        for (const QString& templatePath : {m_detailPath, m_summaryPath}) {
            const QString expected = TempPath("cli.rtf");
            QCOMPARE(QProcess::execute(cli, {QStringLiteral("report"),
                                             KELD_TEST_DATA "/charfile/valid-character.kld", templatePath,
                                             expected}),
                     0);
            m_detailPath = templatePath;
            m_commands->PreviewDetail();
            FileDialog::SetNextFileName(TempPath("window"));
            QTest::mouseClick(Button("cmdsaveRTF"), Qt::LeftButton);
            QCOMPARE(FileDialog::LastKind(), FileDialog::Kind::Save);
            QCOMPARE(FileDialog::LastInitialName(), QStringLiteral("Broken.rtf"));
            const QByteArray saved = ReadAll(TempPath("window.rtf"));
            QVERIFY(!saved.isEmpty());
            QVERIFY(saved == ReadAll(expected));
        }
        QCOMPARE(MessageBox::TakeShown(), QStringList());

        // A file that cannot be written is named in a message.
        FileDialog::SetNextFileName(TempPath("no-such-folder/x.rtf"));
        QTest::mouseClick(Button("cmdsaveRTF"), Qt::LeftButton);
        FileDialog::SetNextFileName(TempPath("no-such-folder/x.pdf"));
        QTest::mouseClick(Button("cmdSavePDF"), Qt::LeftButton);
        const QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown[0].contains(TempPath("no-such-folder/x.rtf")), qPrintable(shown[0]));
        QVERIFY2(shown[1].contains(TempPath("no-such-folder/x.pdf")), qPrintable(shown[1]));
    }

    // Cancel in any of the dialogs writes, stores and shows nothing.
    void CancelChangesNothing()
    {
        m_commands->PreviewDetail();
        const QStringList before = WrittenFiles();
        FileDialog::SetNextCancel();
        QTest::mouseClick(Button("cmdsaveRTF"), Qt::LeftButton);
        FileDialog::SetNextCancel();
        QTest::mouseClick(Button("cmdSavePDF"), Qt::LeftButton);
        FileDialog::SetNextCancel();
        m_commands->ChooseDetailTemplate();
        FileDialog::SetNextCancel();
        m_commands->ChooseSummaryTemplate();
        QCOMPARE(WrittenFiles(), before);
        QVERIFY(!std::filesystem::exists(m_settings->StoreFile(ApplicationName())));
        QCOMPARE(m_detailPath, DataFile("detchar.rtf"));
        QCOMPARE(m_summaryPath, DataFile("subchar.rtf"));
        QCOMPARE(MessageBox::TakeShown(), QStringList());
    }

    // A choice the settings store cannot keep still holds for this run, and the user is told.
    void UnstoredTemplateIsUsedAndSaysSo()
    {
        QVERIFY(QDir().mkpath(QString::fromStdString(m_settings->StoreFile(ApplicationName()).string())));
        FileDialog::SetNextFileName(DataFile("subchar.rtf"));
        m_commands->ChooseDetailTemplate();
        QCOMPARE(m_detailPath, DataFile("subchar.rtf"));
        const QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("could not be remembered") && shown[0].contains(".ini: "), qPrintable(shown[0]));
    }

    // A chosen template is stored at once and used by the next print.
    void ChosenTemplateIsStoredAndPrinted()
    {
        QFile mine(TempPath("mine.rtf"));
        QVERIFY(mine.open(QIODevice::WriteOnly));
        mine.write("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 Own layout for [NAME]\\par}");
        mine.close();

        FileDialog::SetNextFileName(TempPath("mine"));
        m_commands->ChooseSummaryTemplate();
        QCOMPARE(FileDialog::LastKind(), FileDialog::Kind::Open);
        QCOMPARE(m_summaryPath, mine.fileName());
        QCOMPARE(m_settings->GetSetting(ApplicationName(), "Options", "SummaryTemplate"),
                 mine.fileName().toStdString());

        FileDialog::SetNextFileName(mine.fileName());
        m_commands->ChooseDetailTemplate();
        QCOMPARE(m_detailPath, mine.fileName());
        QCOMPARE(m_settings->GetSetting(ApplicationName(), "Options", "DetailTemplate"),
                 mine.fileName().toStdString());

        m_commands->PrintSummary();
        QCOMPARE(m_jobs.size(), 1);
        QVERIFY(PdfText(m_jobs[0]).contains("Own layout for Broken"));
    }

    // Without a printer, or when the job fails, the user is told and may save a PDF instead.
    void PrinterFailuresOfferAPdf()
    {
        PrintDestination::SetFactory([] { return std::unique_ptr<QPrinter>(); });
        MessageBox::SetNextAnswer(QMessageBox::Save);
        FileDialog::SetNextFileName(TempPath("instead"));
        m_commands->PrintDetail();
        QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("no default printer"), qPrintable(shown[0]));
        QCOMPARE(FileDialog::LastInitialName(), QStringLiteral("Broken.pdf"));
        QVERIFY(PdfText(TempPath("instead.pdf")).contains("30000"));
        QCOMPARE(m_commands->Window(), nullptr);

        // A box nobody answers saves nothing.
        m_commands->PrintSummary();
        QCOMPARE(MessageBox::TakeShown().size(), 1);
        QCOMPARE(WrittenFiles(), QStringList{QStringLiteral("instead.pdf")});

        StandInPrinter(TempPath("no-such-folder"));
        MessageBox::SetNextAnswer(QMessageBox::Ok);
        m_commands->PreviewSummary();
        QTest::mouseClick(Button("cmdPrint"), Qt::LeftButton);
        shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("could not be printed"), qPrintable(shown[0]));
        QCOMPARE(WrittenFiles(), QStringList{QStringLiteral("instead.pdf")});
    }
};

QTEST_MAIN(ReportWindowTest)
#include "ReportWindowTest.moc"
