// SPDX-License-Identifier: GPL-3.0-or-later
// The inventory window on large input, offscreen, through the real program: choosing a huge
// picture (time, and the process's peak resident memory while it is chosen) and a key typed into
// a short note and into a long journal.
#include "StartProgram.h"
#include "app/KeldApplication.h"
#include "character/SheetModel.h"
#include "inventory/window/InventoryWindow.h"
#include "ui/FileDialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>

namespace {

using keld::bench::StartProgram;

double StatusMegabytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(std::string(key).size())) / 1024.0;
    return 0;
}

// Starts the peak resident size afresh from the present one.
void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// An 8000 x 8000 picture, 64 M pixels (the most a picture may have), whose file is under a
// megabyte: bands and a grid, which the PNG filters compress well, with a little noise every 32nd
// row. Made in a child process so its quarter gigabyte of pixels does not count in this one's
// memory.
QString MakeHugePicture(const QTemporaryDir& folder)
{
    const QString path = folder.filePath(QStringLiteral("huge.png"));
    const pid_t pid = fork();
    if (pid == 0) {
        QImage image(8000, 8000, QImage::Format_RGB32);
        quint32 noise = 1;
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                int blue = ((x / 400) ^ (y / 400)) % 2 ? 200 : 40;
                if (y % 32 == 0) {
                    noise = noise * 1103515245u + 12345u;
                    blue += static_cast<int>((noise >> 16) & 1);
                }
                row[x] = qRgb((x / 50) % 256, (y / 40) % 256, blue);
            }
        }
        std::_Exit(image.save(path) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? path : QString();
}

void BM_ChooseHugePicture(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = MakeHugePicture(folder);
    if (path.isEmpty()) {
        state.SkipWithError("the picture could not be made");
        return;
    }
    QTemporaryDir config;
    auto program = StartProgram(config);
    QCoreApplication::processEvents();
    double peak = 0;
    const std::clock_t cpuStart = std::clock();
    for (auto _ : state) {
        state.PauseTiming();
        ResetPeak();
        keld::FileDialog::SetNextFileName(path);
        state.ResumeTiming();
        program->Inventory()->ChoosePicture();
        QCoreApplication::processEvents(); // the picture painted
        peak = std::max(peak, StatusMegabytes("VmHWM:"));
    }
    state.counters["cpu_ms"] = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC /
                               static_cast<double>(state.iterations());
    state.counters["peak_resident_MB"] = peak;
    state.counters["file_MB"] = static_cast<double>(QFileInfo(path).size()) / (1024.0 * 1024.0);
    program->Exit();
}
BENCHMARK(BM_ChooseHugePicture)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// A note of about `bytes`, in lines of 64 characters and a line end.
std::string LongNote(long bytes)
{
    const std::string line = "Day " + std::string(56, 'j') + " ok.\r\n";
    std::string note;
    note.reserve(static_cast<std::size_t>(bytes) + line.size());
    while (static_cast<long>(note.size()) < bytes)
        note += line;
    return note;
}

void SendKey(QWidget* widget, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

// One key typed into the journal and painted, a letter and a backspace in turn, with the note
// about 1 KB and 6.5 MB (100,000 lines) long.
void BM_KeyInJournal(benchmark::State& state)
{
    QTemporaryDir config;
    auto program = StartProgram(config);
    (void)program->Model().WriteNote(keld::NoteKind::Journal, LongNote(state.range(0))); // any text
    auto* journal = program->Inventory()->findChild<QPlainTextEdit*>(QStringLiteral("txtJournal"));
    journal->setFocus();
    journal->moveCursor(QTextCursor::End);
    QCoreApplication::processEvents();
    int i = 0;
    for (auto _ : state) {
        if (++i % 2)
            SendKey(journal, Qt::Key_X, QStringLiteral("x"));
        else
            SendKey(journal, Qt::Key_Backspace, QString());
        QCoreApplication::processEvents();
    }
    // What was typed is in the record.
    if (program->Model().Text(keld::FieldId::Note, static_cast<int>(keld::NoteKind::Journal)).size() <
        static_cast<std::size_t>(state.range(0)))
        state.SkipWithError("the journal lost its text");
    program->Exit();
}
BENCHMARK(BM_KeyInJournal)->Arg(1000)->Arg(6'500'000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
