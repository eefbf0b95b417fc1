// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program's speed and size, offscreen: start-up to the first painted sheet against
// an empty main window, a typed stat and a youth change through the real widgets, and the
// resident memory with a character loaded.
#include "LargestStore.h"
#include "StartProgram.h"
#include "app/KeldApplication.h"
#include "app/MainWindow.h"
#include "report/window/PageView.h"
#include "report/window/ReportCommands.h"
#include "report/window/ReportWindow.h"
#include "sheet/SheetView.h"
#include "ui/FileDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTextEdit>

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

// Counts paint events on one widget.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

// Notes the first paint of any page view, for windows that do not exist yet when it starts.
class PageViewPaintWatch : public QObject {
public:
    PageViewPaintWatch() { QCoreApplication::instance()->installEventFilter(this); }
    ~PageViewPaintWatch() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && qobject_cast<keld::PageView*>(watched->parent()))
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

// False when nothing was painted within two seconds.
template <typename Watch> bool WaitForPaint(const Watch& watch)
{
    QElapsedTimer waited;
    waited.start();
    while (!watch.painted) {
        if (waited.elapsed() > 2000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

using keld::bench::StartProgram;

double ResidentMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// Program start to the first painted window, each in a process of its own started the same way:
// an empty main window, and the program with its sheet.
int RunChild(const char* mode)
{
    pid_t pid = 0;
    char* args[] = {const_cast<char*>("/proc/self/exe"), const_cast<char*>(mode), nullptr};
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, args, environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

void BM_StartEmptyMainWindow(benchmark::State& state)
{
    for (auto _ : state)
        if (RunChild("--child-empty-window") != 0)
            state.SkipWithError("the child failed");
}
BENCHMARK(BM_StartEmptyMainWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StartProgramToPaintedSheet(benchmark::State& state)
{
    for (auto _ : state)
        if (RunChild("--child-program") != 0)
            state.SkipWithError("the child failed");
}
BENCHMARK(BM_StartProgramToPaintedSheet)->Unit(benchmark::kMillisecond)->UseRealTime();

int ChildEmptyWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    PaintWatch watch(&window);
    window.show();
    WaitForPaint(watch);
    return 0;
}

int ChildProgram(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir config;
    auto program = StartProgram(config);
    PaintWatch watch(program->Sheet()->View()->Panel());
    WaitForPaint(watch);
    // Ends without the exit sequence's writes, as the empty window does.
    std::_Exit(0);
}

// The same with the largest settings store the program accepts, and that start followed by the
// exit, which writes the store back.
void BM_StartProgramWithLargestStoreToPaintedSheet(benchmark::State& state)
{
    for (auto _ : state)
        if (RunChild("--child-program-largest-store") != 0)
            state.SkipWithError("the child failed");
}
BENCHMARK(BM_StartProgramWithLargestStoreToPaintedSheet)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StartAndExitWithLargestStore(benchmark::State& state)
{
    for (auto _ : state)
        if (RunChild("--child-program-largest-store-exit") != 0)
            state.SkipWithError("the child failed");
}
BENCHMARK(BM_StartAndExitWithLargestStore)->Unit(benchmark::kMillisecond)->UseRealTime();

int ChildProgramWithLargestStore(int argc, char** argv, bool exit)
{
    QApplication app(argc, argv);
    QTemporaryDir config;
    const keld::SettingsStore store(config.path().toStdString());
    const std::filesystem::path file = store.StoreFile(keld::ApplicationName());
    std::filesystem::create_directories(file.parent_path());
    const std::string text = keld::bench::LargestStore(keld::bench::StoreShape::ShortEntries);
    std::ofstream(file, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
    auto program = StartProgram(config);
    PaintWatch watch(program->Sheet()->View()->Panel());
    WaitForPaint(watch);
    if (exit)
        program->Exit();
    std::_Exit(0);
}

void BM_TypedStatToEveryWidget(benchmark::State& state)
{
    QTemporaryDir config;
    auto program = StartProgram(config);
    auto* box = program->Sheet()->findChild<QLineEdit*>(QStringLiteral("txtSTAT_1"));
    int i = 0;
    for (auto _ : state) {
        const QString text = (++i % 2) ? QStringLiteral("91") : QStringLiteral("45");
        box->setText(text);
        emit box->textEdited(text); // what a key press in the box sends
    }
    program->Exit();
}
BENCHMARK(BM_TypedStatToEveryWidget)->Unit(benchmark::kMicrosecond);

void BM_YouthChangeToEveryWidget(benchmark::State& state)
{
    QTemporaryDir config;
    auto program = StartProgram(config);
    auto* list = program->Sheet()->findChild<QComboBox*>(QStringLiteral("lstYouth"));
    int i = 0;
    for (auto _ : state)
        list->setCurrentIndex(1 + (++i % (list->count() - 1)));
    program->Exit();
}
BENCHMARK(BM_YouthChangeToEveryWidget)->Unit(benchmark::kMicrosecond);

// Print Preview of the default detail template with a character loaded: from the command to the
// report painted in its window. The window is reused from the second preview on, as it is when a
// user previews again.
void BM_PreviewDetailToPaintedWindow(benchmark::State& state)
{
    QTemporaryDir config;
    auto program = StartProgram(config);
    keld::FileDialog::SetNextFileName(QStringLiteral(KELD_SOURCE_DIR "/docs/screenshot/maren.kld"));
    program->Sheet()->Load();
    program->Sheet()->Reports().PreviewDetail();
    QWidget* preview = program->Sheet()->Reports().Window()->Preview()->viewport();
    for (auto _ : state) {
        PaintWatch watch(preview);
        program->Sheet()->Reports().PreviewDetail();
        if (!WaitForPaint(watch)) {
            state.SkipWithError("the preview was not painted");
            break;
        }
    }
    program->Exit();
}
BENCHMARK(BM_PreviewDetailToPaintedWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same from a closed window: the command builds the window and its page view and paints page 1
// with its header and footer.
void BM_FirstPreviewDetailToPaintedPage(benchmark::State& state)
{
    QTemporaryDir config;
    auto program = StartProgram(config);
    keld::FileDialog::SetNextFileName(QStringLiteral(KELD_SOURCE_DIR "/docs/screenshot/maren.kld"));
    program->Sheet()->Load();
    for (auto _ : state) {
        state.PauseTiming();
        program->Sheet()->Reports().CloseReportWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        PageViewPaintWatch watch;
        state.ResumeTiming();
        program->Sheet()->Reports().PreviewDetail();
        if (!WaitForPaint(watch)) {
            state.SkipWithError("the preview was not painted");
            break;
        }
    }
    program->Exit();
}
BENCHMARK(BM_FirstPreviewDetailToPaintedPage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ResidentMemoryWithACharacter(benchmark::State& state)
{
    QTemporaryDir config;
    auto program = StartProgram(config);
    keld::FileDialog::SetNextFileName(QStringLiteral(KELD_SOURCE_DIR "/docs/screenshot/maren.kld"));
    program->Sheet()->Load();
    QCoreApplication::processEvents();
    for (auto _ : state)
        benchmark::DoNotOptimize(ResidentMegabytes());
    state.counters["resident_MB"] = ResidentMegabytes();
    program->Exit();
}
BENCHMARK(BM_ResidentMemoryWithACharacter)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 2 && std::string(argv[1]) == "--child-empty-window")
        return ChildEmptyWindow(argc, argv);
    if (argc == 2 && std::string(argv[1]) == "--child-program")
        return ChildProgram(argc, argv);
    if (argc == 2 && std::string(argv[1]) == "--child-program-largest-store")
        return ChildProgramWithLargestStore(argc, argv, false);
    if (argc == 2 && std::string(argv[1]) == "--child-program-largest-store-exit")
        return ChildProgramWithLargestStore(argc, argv, true);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
