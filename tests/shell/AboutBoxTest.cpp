// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AboutBox.h"
#include "app/ShellIcons.h"
#include "ui/MessageBox.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace keld;

namespace {

std::filesystem::path WriteLog(const QTemporaryDir& folder, const QByteArray& bytes)
{
    const QString path = folder.filePath("keldcg.log");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path.toStdString();
}

} // namespace

class AboutBoxTest : public QObject {
    Q_OBJECT
private slots:
    void ShowsIdentityAndHistory()
    {
        QTemporaryDir folder;
        AboutBox box(ProgramIcon(), WriteLog(folder, "A\r\nB\r\n"));
        box.Open();
        QVERIFY(box.isVisible());
        QVERIFY(!box.isModal());
        QCOMPARE(box.windowTitle(), QStringLiteral("About KELD Character Generator"));
        QCOMPARE(box.findChild<QLabel*>("lblVersion")->text(),
                 QStringLiteral("Version " KELD_PROJECT_VERSION));
        QCOMPARE(box.findChild<QLabel*>("lblTitle")->text(), QStringLiteral("KELD Character Generator"));
        const QStringList notices = box.findChild<QLabel*>("lblDisclaimer")->text().split(u'\n');
        QVERIFY(notices.contains(
            QStringLiteral("Free software under the GNU General Public License, version 3 or later.")));
        QVERIFY(!box.findChild<QLabel*>("picIcon")->pixmap().isNull());
        QCOMPARE(box.Log()->toPlainText(), QStringLiteral("\nA\nB"));

        // Opening again shows the file as it is now, once.
        WriteLog(folder, "");
        box.Open();
        QCOMPARE(box.Log()->toPlainText(), QString());

        QFile::remove(folder.filePath("keldcg.log"));
        box.Open();
        QVERIFY(box.Log()->toPlainText().contains("keldcg.log"));

        QTest::mouseClick(box.findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
        QVERIFY(!box.isVisible());
    }

    // The shipped history keeps its columns: no line is wrapped, and the box is wide enough for
    // the longest one.
    void ShippedHistoryShowsUnwrapped()
    {
        AboutBox box(ProgramIcon(), KELD_SOURCE_DIR "/data/keldcg.log");
        box.Open();
        QCOMPARE(box.Log()->lineWrapMode(), QPlainTextEdit::NoWrap);
        const QFontMetrics metrics(box.Log()->font());
        int widest = 0;
        for (const QString& line : box.Log()->toPlainText().split(u'\n'))
            widest = std::max(widest, metrics.horizontalAdvance(line));
        QVERIFY2(widest <= box.Log()->viewport()->width(),
                 qPrintable(QStringLiteral("%1 > %2").arg(widest).arg(box.Log()->viewport()->width())));
    }

    void ShippedHistoryHasCrLfLines()
    {
        const auto text = AboutBox::LogText(KELD_SOURCE_DIR "/data/keldcg.log");
        QVERIFY(text && text->startsWith(u'\n') && text->size() > 20);
        QVERIFY(!text->contains(u'\r'));
    }

    void SystemInfoStartsAViewerOrSaysNone()
    {
        QTemporaryDir folder;
        AboutBox box(ProgramIcon(), WriteLog(folder, "A\r\n"));
        box.Open();
        MessageBox::TakeShown();
        box.SetSystemInfoPrograms({QStringLiteral("no-such-viewer-for-keld")});
        QTest::mouseClick(box.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
        const QStringList shown = MessageBox::TakeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].endsWith("\nSystem Information Is Unavailable At This Time"));

        // The first one found is started; nothing is said.
        box.SetSystemInfoPrograms({QStringLiteral("no-such-viewer-for-keld"), QStringLiteral("true")});
        box.StartSysInfo();
        QVERIFY(MessageBox::TakeShown().isEmpty());
    }
};

QTEST_MAIN(AboutBoxTest)
#include "AboutBoxTest.moc"
