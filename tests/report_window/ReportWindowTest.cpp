// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/window/ReportWindow.h"
#include "character/SheetModel.h"
#include "charfile/CharacterFileReader.h"
#include "common/ProgramFolder.h"
#include "report/render/RenderBuilder.h"
#include "report/window/PageView.h"
#include "report/window/PrintDestination.h"
#include "report/window/ReportCommands.h"
#include "rules/RulesTables.h"
#include "settings/SettingsStore.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <QWheelEvent>
#include <QtMath>

#include <filesystem>
#include <memory>

#include <unistd.h>

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

// "Title:" and "Creator:" as pdfinfo reads them from a PDF.
QString PdfInfoLines(const QString& path)
{
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {path});
    if (!process.waitForStarted())
        qFatal("pdfinfo is missing: install the package poppler-utils");
    process.waitForFinished();
    QStringList kept;
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split(u'\n'))
        if (line.startsWith(QLatin1String("Title:")) || line.startsWith(QLatin1String("Creator:")) ||
            line.startsWith(QLatin1String("Pages:")))
            kept << line.simplified();
    return kept.join(u'\n');
}

// A message box as MessageBox records it: the program's display name (never its file name), then
// the text.
QString Shown(const char* text)
{
    return QStringLiteral("KELD Character Generator\n") + QLatin1String(text);
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

    // Each target is refused with one message naming it, before any progress box; a target that
    // can be written then shows the progress as before.
    void RefusedFirst(const QStringList& targets)
    {
        ReportWindow::SetProgressDelay(0);
        const auto restore = qScopeGuard([] { ReportWindow::SetProgressDelay(500); });
        int progressShown = 0;
        struct ProgressWatch : QObject {
            int& shown;
            explicit ProgressWatch(int& count) : shown(count) {}
            bool eventFilter(QObject* watched, QEvent* event) override
            {
                if (event->type() == QEvent::Show && qobject_cast<QProgressDialog*>(watched))
                    ++shown;
                return false;
            }
        } watch(progressShown);
        qApp->installEventFilter(&watch);
        m_commands->PreviewDetail();

        for (const QString& target : targets) {
            FileDialog::SetNextFileName(target);
            QTest::mouseClick(Button("cmdSavePDF"), Qt::LeftButton);
            const QStringList shown = MessageBox::TakeShown();
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown[0].contains("was not saved") && shown[0].contains(target), qPrintable(shown[0]));
        }
        QCOMPARE(progressShown, 0);

        // A target that can be written shows the progress as before.
        FileDialog::SetNextFileName(TempPath("fine.pdf"));
        QTest::mouseClick(Button("cmdSavePDF"), Qt::LeftButton);
        QVERIFY(QFile::exists(TempPath("fine.pdf")));
        QVERIFY(progressShown > 0);
        qApp->removeEventFilter(&watch);
    }

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

    // A template of three pages: "One [NAME]", "Two", "Three".
    QString ThreePages() const
    {
        QFile pages(TempPath("three.rtf"));
        if (!pages.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(pages.fileName()));
        pages.write("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 One [NAME]\\page Two\\page Three\\par}");
        return pages.fileName();
    }

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

    // What the renderer changed to keep a hostile template within bounds is said in the window,
    // not only on the report's last page; a plain report says nothing there.
    void RenderNotesShowInTheStatusLine()
    {
        m_commands->PreviewDetail();
        auto* status = m_commands->Window()->findChild<QLabel*>(QStringLiteral("lblStatus"));
        QVERIFY(status);
        QVERIFY(status->isHidden());
        m_detailPath = QStringLiteral(KELD_TEST_DATA "/report-hostile/nested-tables.rtf");
        m_commands->PreviewDetail();
        QVERIFY(!status->isHidden());
        QVERIFY2(status->text().contains("nested"), qPrintable(status->text()));
        QCOMPARE(MessageBox::TakeShown(), QStringList());
    }

    // A template that cannot be loaded is reported with its number, and the window opens anyway.
    void UnloadableTemplatesAreReported()
    {
        m_detailPath = TempPath("missing.rtf");
        m_commands->PreviewDetail();
        QCOMPARE(MessageBox::TakeShown(),
                 QStringList{Shown("53  File not found\n") + m_detailPath +
                             QStringLiteral(": cannot be opened: No such file or directory")});
        QVERIFY(m_commands->Window() && m_commands->Window()->isVisible());

        // A file that is not RTF leaves the report the window held before.
        m_commands->PreviewSummary();
        QFile junk(TempPath("junk.rtf"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("plain text");
        junk.close();
        m_summaryPath = junk.fileName();
        m_commands->PreviewSummary();
        QCOMPARE(MessageBox::TakeShown(),
                 QStringList{Shown("5  Invalid procedure call or argument\n") + junk.fileName() +
                             QStringLiteral(": is not an RTF file")});
        QVERIFY(PreviewText().contains("Broken"));

        // A print after a failed load prints nothing at all, not what the window held.
        m_commands->PrintSummary();
        QCOMPARE(MessageBox::TakeShown().size(), 1);
        m_detailPath = TempPath("missing.rtf");
        m_commands->PrintDetail();
        QCOMPARE(MessageBox::TakeShown().size(), 1);
        QCOMPARE(m_jobs, QStringList());
        QCOMPARE(m_commands->Window(), nullptr);
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
        PageView* preview = m_commands->Window()->Preview();
        const QTextCursor name = preview->document()->find(QStringLiteral("Broken"));
        QVERIFY(!name.isNull());
        preview->setTextCursor(name);
        QTest::mouseClick(Button("cmdPrint"), Qt::LeftButton);
        QCOMPARE(m_jobs.size(), 2);
        const QString part = PdfText(m_jobs[1]);
        QVERIFY2(part.contains("Broken") && !part.contains("30000") && !part.contains("Essence"),
                 qPrintable(part));
        QVERIFY(m_commands->Window());

        // Save As PDF writes the whole report all the same, selection or not.
        FileDialog::SetNextFileName(TempPath("whole"));
        QTest::mouseClick(Button("cmdSavePDF"), Qt::LeftButton);
        QCOMPARE(FileDialog::LastKind(), FileDialog::Kind::Save);
        QCOMPARE(FileDialog::LastInitialName(), QStringLiteral("Broken.pdf"));
        const QString whole = PdfText(TempPath("whole.pdf"));
        QVERIFY2(whole.contains("30000") && whole.contains("Broken"), qPrintable(whole));
        QVERIFY(preview->textCursor().hasSelection());

        QTextCursor start(preview->document());
        preview->setTextCursor(start);
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
        // A file where the store's folder should be.
        QFile blocker(
            QString::fromStdString(m_settings->StoreFile(ApplicationName()).parent_path().string()));
        QVERIFY(QDir().mkpath(QFileInfo(blocker).path()));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        FileDialog::SetNextFileName(DataFile("subchar.rtf"));
        m_commands->ChooseDetailTemplate();
        QCOMPARE(m_detailPath, DataFile("subchar.rtf"));
        const QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("could not be remembered") && shown[0].contains(".ini: "),
                 qPrintable(shown[0]));
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
        // On disk already, not only at exit.
        QCOMPARE(SettingsStore(m_settings->ConfigFolder())
                     .GetSetting(ApplicationName(), "Options", "DetailTemplate"),
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

    // A printer that refuses jobs gets no job and the user is offered the PDF, from the print
    // commands and from the preview's Print alike.
    void RefusedPrintJobsOfferAPdf()
    {
        PrintDestination::SetAcceptCheck([](const QPrinter&) {
            return Status(KeldError(kErrInvalidArgument, "is not accepting jobs", "PDF"));
        });
        MessageBox::SetNextAnswer(QMessageBox::Save);
        FileDialog::SetNextFileName(TempPath("refused"));
        m_commands->PrintDetail();
        QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("cannot be printed") && shown[0].contains("is not accepting jobs"),
                 qPrintable(shown[0]));
        QVERIFY(PdfText(TempPath("refused.pdf")).contains("30000"));
        QCOMPARE(m_jobs.size(), 1);
        QVERIFY(!QFile::exists(m_jobs[0]));

        m_commands->PreviewSummary();
        QTest::mouseClick(Button("cmdPrint"), Qt::LeftButton);
        shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("is not accepting jobs"), qPrintable(shown[0]));
        QVERIFY(!QFile::exists(m_jobs[1]));
        PrintDestination::SetAcceptCheck({});
    }

    // The template chooser refuses what is not a usable template, with the file and the reason,
    // and keeps the template it had.
    void ChooserRefusesFilesThatAreNoTemplates()
    {
        QFile big(TempPath("big.rtf"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.write("{\\rtf1 big}");
        QVERIFY(big.resize(qint64(RtfDocument::kMaxTemplateBytes) + 1)); // sparse: nothing is written
        big.close();
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), TempPath("zero.rtf")));
        QVERIFY(QDir().mkpath(TempPath("folder.rtf")));
        QFile text(TempPath("notes.rtf"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("just notes");
        text.close();
        const struct {
            QString path;
            const char* reason;
        } cases[] = {{TempPath("zero.rtf"), ": is not a regular file"},
                     {big.fileName(), ": is larger than 4 MB"},
                     {text.fileName(), ": is not an RTF file"},
                     {TempPath("folder.rtf"), ": is a folder"}};
        for (const auto& c : cases) {
            FileDialog::SetNextFileName(c.path);
            m_commands->ChooseDetailTemplate();
            const QStringList shown = MessageBox::TakeShown();
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown[0].section(u'\n', 1, 1).startsWith(QLatin1String("5  ")) ||
                         shown[0].section(u'\n', 1, 1).startsWith(QLatin1String("75  ")),
                     qPrintable(shown[0]));
            QVERIFY2(shown[0].section(u'\n', 2).startsWith(c.path + QLatin1String(c.reason)),
                     qPrintable(shown[0]));
            QCOMPARE(m_detailPath, DataFile("detchar.rtf"));
        }
        QVERIFY(!std::filesystem::exists(m_settings->StoreFile(ApplicationName())));
    }

    // Offered names are names a file can have; a PDF is always saved as .pdf.
    void OfferedFileNamesAreUsable()
    {
        const auto restore = qScopeGuard([this] { (void)m_sheet.WriteName("Broken"); });
        const struct {
            const char* name;
            const char* offered;
        } cases[] = {{"Bob/Evil", "Bob_Evil"},
                     {"", "character"},
                     {"a:b*c?\"d<e>f|g\\h\ti", "a_b_c__d_e_f_g_h_i"},
                     {"..", "character"},
                     {".hidden", "hidden"}};
        m_commands->PreviewDetail();
        for (const auto& c : cases) {
            QVERIFY(m_sheet.WriteName(c.name).Ok());
            FileDialog::SetNextCancel();
            QTest::mouseClick(Button("cmdsaveRTF"), Qt::LeftButton);
            QCOMPARE(FileDialog::LastInitialName(), QLatin1String(c.offered) + QLatin1String(".rtf"));
            FileDialog::SetNextCancel();
            QTest::mouseClick(Button("cmdSavePDF"), Qt::LeftButton);
            QCOMPARE(FileDialog::LastInitialName(), QLatin1String(c.offered) + QLatin1String(".pdf"));
        }
        FileDialog::SetNextFileName(TempPath("typed.rtf"));
        QTest::mouseClick(Button("cmdSavePDF"), Qt::LeftButton);
        QVERIFY(!QFile::exists(TempPath("typed.rtf")));
        QVERIFY(ReadAll(TempPath("typed.rtf.pdf")).startsWith("%PDF"));
    }

    // Window and command line write the same PDF information: the name and the program.
    void PdfInformationMatchesTheCommandLine()
    {
        m_commands->PreviewDetail();
        FileDialog::SetNextFileName(TempPath("window.pdf"));
        QTest::mouseClick(Button("cmdSavePDF"), Qt::LeftButton);
        const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/keldcg-cli");
        QCOMPARE(
            QProcess::execute(cli, {QStringLiteral("report"), KELD_TEST_DATA "/charfile/valid-character.kld",
                                    m_detailPath, TempPath("cli.pdf")}),
            0);
        const QString info = PdfInfoLines(TempPath("window.pdf"));
        QVERIFY2(info.contains(QStringLiteral("Title: Broken")) &&
                     info.contains(
                         QRegularExpression(QStringLiteral("Creator: KELD Character Generator \\d+\\.\\d+"))),
                 qPrintable(info));
        QCOMPARE(PdfInfoLines(TempPath("cli.pdf")), info);
    }

    // The preview shows the printed pages with their headers and footers, opens at the top of
    // page 1 fitted to the width, pages and zooms by keyboard and wheel, and selects by mouse.
    void PreviewShowsThePagesThatPrint()
    {
        QFile pages(TempPath("pages.rtf"));
        QVERIFY(pages.open(QIODevice::WriteOnly));
        pages.write(
            "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24\\margt1440\\margb1440"
            "{\\header\\pard HEADLINE\\par}{\\footer\\pard Page {\\field{\\*\\fldinst PAGE}{\\fldrslt 1}} of "
            "{\\field{\\*\\fldinst NUMPAGES}{\\fldrslt 1}}\\par}"
            "\\pard One [NAME]\\page Two\\page Three\\par}");
        pages.close();
        m_summaryPath = pages.fileName();
        m_commands->PreviewSummary();
        ReportWindow* window = m_commands->Window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        PageView* view = window->Preview();
        auto* label = window->findChild<QLabel*>(QStringLiteral("lblPage"));
        QVERIFY(label);
        QCOMPARE(view->PageCount(), 3);
        QCOMPARE(view->verticalScrollBar()->value(), 0);
        QCOMPARE(label->text(), QStringLiteral("Page 1 of 3"));
        QCOMPARE(view->Mode(), PageView::ZoomMode::FitWidth);
        const QRect first = view->PageRect(0);
        QVERIFY2(first.top() > 0 && first.left() > 0 && first.right() < view->viewport()->width(),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(first.x())
                                .arg(first.y())
                                .arg(first.width())
                                .arg(first.height())));
        QVERIFY(first.width() > view->viewport()->width() * 8 / 10);

        QTest::keyClick(view, Qt::Key_PageDown);
        QCOMPARE(label->text(), QStringLiteral("Page 2 of 3"));
        QVERIFY(view->PageRect(1).top() > 0 && view->PageRect(1).top() < first.top() + 2);
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(label->text(), QStringLiteral("Page 3 of 3"));
        QTest::keyClick(view, Qt::Key_PageUp);
        QTest::keyClick(view, Qt::Key_PageUp);
        QCOMPARE(label->text(), QStringLiteral("Page 2 of 3"));
        QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(label->text(), QStringLiteral("Page 1 of 3"));
        QCOMPARE(view->verticalScrollBar()->value(), 0);

        // Zoom: the whole page in view, then by keys and wheel, then real size.
        auto* zoom = window->findChild<QComboBox*>(QStringLiteral("cboZoom"));
        QVERIFY(zoom);
        zoom->activated(zoom->findText(QStringLiteral("Whole Page")));
        QVERIFY(view->PageRect(0).height() <= view->viewport()->height());
        // Paper with its header at the top and its footer at the bottom; the surround between.
        const QImage shot = view->viewport()->grab().toImage();
        // At 2x the grab has twice the pixels of the view.
        const qreal ratio = shot.devicePixelRatio();
        auto device = [&](const QRect& r) {
            return QRect((QPointF(r.topLeft()) * ratio).toPoint(), (QSizeF(r.size()) * ratio).toSize());
        };
        // Inside the page's edge line.
        auto inked = [&](QRect band) {
            band = device(band.adjusted(2, 0, -2, 0)).intersected(shot.rect());
            for (int y = band.top(); y <= band.bottom(); ++y)
                for (int x = band.left(); x <= band.right(); ++x)
                    if (qGray(shot.pixel(x, y)) < 128)
                        return true;
            return false;
        };
        const QRect page1 = view->PageRect(0);
        const int margin = page1.height() / 11; // an inch of a letter page
        QVERIFY(inked(QRect(page1.left(), page1.top(), page1.width(), margin)));
        QVERIFY(inked(QRect(page1.left(), page1.bottom() - margin, page1.width(), margin)));
        QVERIFY(!inked(QRect(page1.left(), page1.top() + margin + page1.height() / 4, page1.width(),
                             page1.height() / 4)));
        QCOMPARE(
            shot.pixel((QPointF(page1.center().x(), (page1.bottom() + view->PageRect(1).top()) / 2) * ratio)
                           .toPoint()),
            view->viewport()->palette().color(QPalette::Dark).rgb());

        const double whole = view->Percent();
        QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(view->Mode(), PageView::ZoomMode::Fixed);
        QVERIFY(view->Percent() > whole * 1.2);
        QWheelEvent wheel(QPointF(10, 10), view->viewport()->mapToGlobal(QPointF(10, 10)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &wheel);
        QVERIFY(qAbs(view->Percent() - whole) < 1);
        zoom->activated(zoom->findText(QStringLiteral("100 %")));
        QVERIFY(qAbs(view->Percent() - 100) < 0.5);
        QCOMPARE(zoom->currentText(), QStringLiteral("100 %"));
        QCOMPARE(view->PageRect(0).width(), qCeil(view->Report()->PagePixels().width() * view->logicalDpiX() /
                                                  view->Report()->PixelDpi()));
        zoom->activated(zoom->findText(QStringLiteral("Fit Width")));

        // A double click selects the word under it, which is what Print then prints.
        const int two = view->document()->find(QStringLiteral("Two")).selectionStart();
        QTextBlock block = view->document()->findBlock(two);
        const QRectF box = view->document()->documentLayout()->blockBoundingRect(block);
        const QTextLine line = block.layout()->lineForTextPosition(two - block.position());
        const double y = box.top() + line.y() + line.height() / 2;
        const double pageHeight = view->Report()->PagePixels().height();
        const int page = int(y / pageHeight);
        view->ShowPage(page);
        const QPoint at = view->PageRect(page).topLeft() +
                          QPointF((box.left() + line.cursorToX(two - block.position()) + 3) * view->Scale(),
                                  (y - page * pageHeight) * view->Scale())
                              .toPoint();
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(view->textCursor().selectedText(), QStringLiteral("Two"));
        QTest::mouseClick(Button("cmdPrint"), Qt::LeftButton);
        QCOMPARE(m_jobs.size(), 1);
        const QString printed = PdfText(m_jobs[0]);
        QVERIFY2(printed.contains("Two") && !printed.contains("One"), qPrintable(printed));

        // The pages are those Save As PDF writes.
        FileDialog::SetNextFileName(TempPath("pages.pdf"));
        QTest::mouseClick(Button("cmdSavePDF"), Qt::LeftButton);
        QVERIFY(PdfInfoLines(TempPath("pages.pdf")).contains(QStringLiteral("Pages: 3")));

        QTest::keyClick(view, Qt::Key_Escape);
        QCOMPARE(m_commands->Window(), nullptr);
    }

    // What the print system did with a job is said: a job it never took (its queue gone while the
    // report printed) is offered as a PDF like a refused one; a stopped printer keeps the job and
    // the user is told why it does not print.
    void PrintSystemOutcomesAreSaid()
    {
        const auto restore = qScopeGuard([] { PrintDestination::SetJobCheck({}); });
        PrintDestination::SetJobCheck([](const QPrinter&) {
            return PrintDestination::Outcome{PrintDestination::Outcome::State::Lost,
                                             QStringLiteral("The printer or class does not exist.")};
        });
        MessageBox::SetNextAnswer(QMessageBox::Save);
        FileDialog::SetNextFileName(TempPath("lost"));
        m_commands->PrintDetail();
        QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(Shown("The report was not printed")) &&
                     shown[0].contains("(The printer or class does not exist.)") && shown[0].contains("PDF"),
                 qPrintable(shown[0]));
        QVERIFY(PdfText(TempPath("lost.pdf")).contains("30000"));

        PrintDestination::SetJobCheck([](const QPrinter&) {
            return PrintDestination::Outcome{PrintDestination::Outcome::State::Waiting,
                                             QStringLiteral("paper jam")};
        });
        m_commands->PreviewSummary();
        QTest::mouseClick(Button("cmdPrint"), Qt::LeftButton);
        shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("is stopped (paper jam)") && shown[0].contains("waits in its queue") &&
                     !shown[0].contains("PDF"),
                 qPrintable(shown[0]));

        PrintDestination::SetJobCheck([](const QPrinter&) { return PrintDestination::Outcome{}; });
        QTest::mouseClick(Button("cmdPrint"), Qt::LeftButton);
        QCOMPARE(MessageBox::TakeShown(), QStringList());
    }

    // Keyboard only: Tab goes through the window as it is laid out, Enter presses the focused
    // button and does nothing in the page view, and the page view shows that it has the focus.
    void KeyboardFollowsTheLayout()
    {
        m_commands->PreviewDetail();
        ReportWindow* window = m_commands->Window();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        PageView* view = window->Preview();
        Button("cmdClose")->setFocus();
        const QImage unfocused = view->viewport()->grab().toImage();
        view->setFocus();
        QVERIFY(view->hasFocus());
        QVERIFY2(view->viewport()->grab().toImage() != unfocused, "the focus does not show on the pages");

        QStringList order;
        for (int i = 0; i < 6; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order, (QStringList{"cmdPrint", "cmdsaveRTF", "cmdSavePDF", "cboZoom", "cmdClose",
                                     "RichTextBox1"}));

        QTest::keyClick(view, Qt::Key_Return);
        QTest::keyClick(view, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(m_jobs, QStringList());
        QCOMPARE(m_commands->Window(), window);

        Button("cmdPrint")->setFocus();
        QTest::keyClick(Button("cmdPrint"), Qt::Key_Return);
        QCOMPARE(m_jobs.size(), 1);
        FileDialog::SetNextCancel();
        Button("cmdsaveRTF")->setFocus();
        QTest::keyClick(Button("cmdsaveRTF"), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(FileDialog::LastInitialName(), QStringLiteral("Broken.rtf"));
        Button("cmdClose")->setFocus();
        QTest::keyClick(Button("cmdClose"), Qt::Key_Return);
        QCOMPARE(m_commands->Window(), nullptr);
        QCOMPARE(MessageBox::TakeShown(), QStringList());
    }

    // A zoom between the listed ones stands in the box as an entry like the others, not as a
    // grey placeholder; it goes when a listed zoom is chosen.
    void ZoomBoxShowsEveryZoomAsAnEntry()
    {
        m_commands->PreviewDetail();
        ReportWindow* window = m_commands->Window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        PageView* view = window->Preview();
        auto* zoom = window->findChild<QComboBox*>(QStringLiteral("cboZoom"));
        const int listed = zoom->count();
        QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier);
        auto percentText = [&] { return QStringLiteral("%1 %").arg(qRound(view->Percent())); };
        QVERIFY(zoom->currentIndex() >= 0);
        QCOMPARE(zoom->currentText(), percentText());
        QCOMPARE(zoom->count(), listed + 1);
        QWheelEvent wheel(QPointF(10, 10), view->viewport()->mapToGlobal(QPointF(10, 10)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &wheel);
        QCOMPARE(zoom->currentText(), percentText());
        QCOMPARE(zoom->count(), listed + 1);
        // Chosen again, the entry keeps the zoom it shows.
        const double before = view->Percent();
        zoom->activated(listed);
        QVERIFY(qAbs(view->Percent() - before) < 1);
        zoom->activated(zoom->findText(QStringLiteral("150 %")));
        QCOMPARE(zoom->currentText(), QStringLiteral("150 %"));
        QCOMPARE(zoom->count(), listed);
        zoom->activated(zoom->findText(QStringLiteral("Fit Width")));
        QCOMPARE(zoom->currentText(), QStringLiteral("Fit Width"));
    }

    // One rule for both Save As commands: the format's extension is added unless the name ends
    // in it, whatever else it ends in.
    void SaveAsAddsTheFormatsExtension()
    {
        m_commands->PreviewSummary();
        const struct {
            const char* button;
            const char* typed;
            const char* written;
        } cases[] = {{"cmdsaveRTF", "wrong.pdf", "wrong.pdf.rtf"},
                     {"cmdsaveRTF", "plain", "plain.rtf"},
                     {"cmdsaveRTF", "Upper.RTF", "Upper.RTF"},
                     {"cmdSavePDF", "x.rtf", "x.rtf.pdf"},
                     {"cmdSavePDF", "Upper.PDF", "Upper.PDF"}};
        for (const auto& c : cases) {
            FileDialog::SetNextFileName(TempPath(QLatin1String(c.typed)));
            QTest::mouseClick(Button(c.button), Qt::LeftButton);
            QVERIFY2(QFile::exists(TempPath(QLatin1String(c.written))), c.written);
            const QByteArray head = ReadAll(TempPath(QLatin1String(c.written))).left(5);
            QCOMPARE(head,
                     QByteArray(QLatin1String(c.written).endsWith(QLatin1String("rtf"), Qt::CaseInsensitive)
                                    ? "{\\rtf"
                                    : "%PDF-"));
        }
        QCOMPARE(WrittenFiles().size(), 5);
        QCOMPARE(MessageBox::TakeShown(), QStringList());
    }

    // A PDF that cannot be written is refused before the report is rendered for it: no progress
    // box, the message at once.
    void UnwritablePdfTargetIsRefusedFirst()
    {
        QFile notFolder(TempPath("file"));
        QVERIFY(notFolder.open(QIODevice::WriteOnly));
        notFolder.close();
        RefusedFirst({TempPath("file/x.pdf"), TempPath("no-such-folder/x.pdf")});
    }

    // The same for a folder that cannot be written and a read-only file, which is left whole.
    void ReadOnlyPdfTargetIsRefusedFirst()
    {
        if (::geteuid() == 0)
            QSKIP("root writes in a read-only folder");
        QVERIFY(QDir().mkpath(TempPath("locked")));
        QFile old(TempPath("locked/old.pdf"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old bytes");
        old.close();
        QFile::setPermissions(TempPath("locked"), QFile::ReadOwner | QFile::ExeOwner);
        QFile::setPermissions(old.fileName(), QFile::ReadOwner);
        const auto unlock = qScopeGuard([this] {
            QFile::setPermissions(TempPath("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        RefusedFirst({TempPath("locked/new.pdf"), old.fileName()});
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(ReadAll(TempPath("locked/old.pdf")), QByteArray("old bytes"));
    }

    // Text selected in the preview is offered for a middle-click paste, as in any text view.
    void SelectionIsOfferedForMiddleClickPaste()
    {
        if (!QGuiApplication::clipboard()->supportsSelection())
            QSKIP("this platform has no primary selection (run with -platform xcb under a display)");
        m_commands->PreviewDetail();
        PageView* view = m_commands->Window()->Preview();
        QGuiApplication::clipboard()->setText(QStringLiteral("before"), QClipboard::Selection);
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(QGuiApplication::clipboard()->text(QClipboard::Selection).contains(QStringLiteral("Broken")));
        view->setTextCursor(view->document()->find(QStringLiteral("Broken")));
        QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Selection), QStringLiteral("Broken"));
    }

    // A screen reader hears the zoom box as "Zoom" and reads the report in the page view, a page
    // at a time, through the view's text; selecting there selects in the report.
    void ScreenReadersReadTheReport()
    {
        m_summaryPath = ThreePages();
        m_commands->PreviewSummary();
        ReportWindow* window = m_commands->Window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QAccessibleInterface* zoom =
            QAccessible::queryAccessibleInterface(window->findChild<QComboBox*>(QStringLiteral("cboZoom")));
        QVERIFY(zoom);
        QCOMPARE(zoom->text(QAccessible::Name), QStringLiteral("Zoom"));
        QCOMPARE(zoom->text(QAccessible::Value), QStringLiteral("Fit Width"));

        PageView* view = window->Preview();
        QAccessibleInterface* pages = QAccessible::queryAccessibleInterface(view);
        QVERIFY(pages && pages->textInterface());
        QAccessibleTextInterface* text = pages->textInterface();
        QCOMPARE(pages->text(QAccessible::Name), QStringLiteral("Report preview"));
        QVERIFY(pages->state().readOnly);
        QVERIFY2(pages->text(QAccessible::Description).startsWith(QLatin1String("Page 1 of 3")),
                 qPrintable(pages->text(QAccessible::Description)));
        QString all;
        for (int page = 0; page < 3; ++page) {
            view->ShowPage(page);
            const QString shown = text->text(0, text->characterCount());
            QCOMPARE(shown.size(), text->characterCount());
            QVERIFY2(shown.contains(QStringList{"One Broken", "Two", "Three"}[page]), qPrintable(shown));
            all += shown;
        }
        QCOMPARE(all.simplified(), QStringLiteral("One Broken Two Three"));

        view->ShowPage(1);
        text->setSelection(0, 0, 3);
        QCOMPARE(view->textCursor().selectedText(), QStringLiteral("Two"));
        int start = -1, end = -1;
        text->selection(0, &start, &end);
        QCOMPARE(start, 0);
        QCOMPARE(end, 3);
        const QRect first = text->characterRect(0);
        QVERIFY(!first.isEmpty());
        QCOMPARE(text->offsetAtPoint(first.center()), 0);
    }

    // Saving shows its progress by pages; Cancel leaves no file and no message.
    void CancelledPdfLeavesNoFile()
    {
        ReportWindow::SetProgressDelay(0);
        const auto restore = qScopeGuard([] { ReportWindow::SetProgressDelay(500); });
        m_commands->PreviewDetail();
        QString label;
        QTimer::singleShot(0, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QProgressDialog*>(widget); box && box->isVisible()) {
                    label = box->labelText();
                    box->cancel();
                }
        });
        FileDialog::SetNextFileName(TempPath("cancelled.pdf"));
        QTest::mouseClick(Button("cmdSavePDF"), Qt::LeftButton);
        QVERIFY2(label.startsWith(QLatin1String("Page ")) && label.contains(QLatin1String(" of ")),
                 qPrintable(label));
        QVERIFY(!QFile::exists(TempPath("cancelled.pdf")));
        QCOMPARE(WrittenFiles(), QStringList());
        QCOMPARE(MessageBox::TakeShown(), QStringList());
    }
};

QTEST_MAIN(ReportWindowTest)
#include "ReportWindowTest.moc"
