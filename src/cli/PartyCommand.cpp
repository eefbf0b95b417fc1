// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliCommands.h"
#include "cli/StartupCharacter.h"

#include "character/CharacterRecord.h"
#include "common/ProgramFolder.h"
#include "common/TextFile.h"

#ifdef KELD_CLI_PDF
#include "cli/GuiSession.h"
#include "cli/PdfJoiner.h"
#include "common/FileName.h"
#include "report/ReportValues.h"
#include "report/RtfDocument.h"
#include "report/render/ReportRenderer.h"

#include <QHashFunctions>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#endif

#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace keld::cli {

namespace {

struct PartyOptions {
    std::string templateName = "detail"; // "detail", "summary" or a template file
    CharacterOptions character;
    unsigned jobs = 0; // 0: one per core
    std::string out;
    std::string each;
    std::vector<std::string> files;
};

#ifdef KELD_CLI_PDF

// Set by Ctrl+C or a termination request: the run stops and writes nothing more.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnSignal(int signal)
{
    g_signal.store(signal);
}

bool Interrupted()
{
    return g_signal.load() != 0;
}

void CatchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    // A second Ctrl+C ends the program at once, should stopping take too long.
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

std::filesystem::path TemplatePath(const PartyOptions& options)
{
    if (options.templateName != "detail" && options.templateName != "summary")
        return PathFromUtf8(options.templateName);
    const char* name = options.templateName == "summary" ? "subchar.rtf" : "detchar.rtf";
    const std::filesystem::path folder = options.character.dataFolder.empty()
                                             ? FindDataFolder(name)
                                             : PathFromUtf8(options.character.dataFolder);
    return folder / name;
}

// The newest change of the inputs dates the PDFs, so the same party gives the same bytes.
std::time_t NewestChange(const std::vector<std::string>& files, const std::filesystem::path& templatePath)
{
    std::time_t newest = 0;
    auto look = [&](const std::filesystem::path& path) {
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0 && status.st_mtime > newest)
            newest = status.st_mtime;
    };
    look(templatePath);
    for (const std::string& file : files)
        look(PathFromUtf8(file));
    return newest;
}

std::string Describe(const KeldError& error)
{
    return error.StartupMessage() + "\n" + error.Location() + "\n";
}

// What the PDF leaves out is said, not only printed on its last page.
std::string NotesText(const std::string& file, const render::RenderedReport& rendered)
{
    std::string text;
    for (const QString& note : rendered.Notes())
        text += file + ": " + note.toStdString() + "\n";
    return text;
}

// One character of the party, made ready by a worker.
struct Member {
    std::string messages; // what to say about it on standard error
    bool failed = false;
    std::string title; // its bookmark: the name, or the file's name when that is empty
    std::string name;
    std::string pdf; // the character's own PDF
};

class Party {
public:
    Party(const PartyOptions& options, const RulesTables& tables, const RtfDocument& report, std::time_t date)
        : m_options(options), m_tables(tables), m_template(report), m_date(date),
          m_members(options.files.size())
    {
    }

    // Runs the workers and hands each member to `take` in the order given; false when interrupted.
    bool Run(unsigned jobs, const std::function<void(std::size_t, Member&)>& take);

private:
    Member Prepare(std::size_t index) const;
    void Work();

    const PartyOptions& m_options;
    const RulesTables& m_tables;
    const RtfDocument& m_template;
    std::time_t m_date;

    // Members are prepared at most `m_window` ahead of the one being written, so memory follows
    // the work in flight, not the party's size.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<Member>> m_members;
    std::size_t m_next = 0;
    std::size_t m_taken = 0;
    std::size_t m_window = 1;
};

Member Party::Prepare(std::size_t index) const
{
    Member member;
    const std::string& file = m_options.files[index];
    try {
        SheetModel sheet;
        sheet.SetOver102(!m_options.character.noOver102);
        sheet.ClearCharacter();
        sheet.FillLists(&m_tables);
        auto read = ReadCharacterFile(sheet, PathFromUtf8(file));
        if (!read) {
            member.failed = true;
            member.messages = Describe(read.Error());
            return member;
        }
        member.messages = WarningsText(*read);
        RtfDocument report = m_template;
        FillData(report, sheet);
        member.name = sheet.Text(FieldId::General, static_cast<int>(GeneralField::Name));
        member.title = member.name.empty() ? PathToUtf8(PathFromUtf8(file).filename()) : member.name;
        if (Interrupted())
            return member;
        // Each character is rendered and painted into a PDF of its own on this thread: the fonts a
        // laid-out document holds belong to the thread that laid it out, so one PDF writer
        // cannot paint them all. The PDFs are joined afterwards.
        const render::RenderedReport rendered = RenderReport(report);
        member.messages += NotesText(file, rendered);
        auto pdf =
            MakePdf(ReportPdfInfo(QString::fromStdString(member.name)), [&](QPagedPaintDevice& device) {
                return PrintReport(rendered, device, [](int, int) { return !Interrupted(); });
            });
        if (!pdf) {
            member.failed = true;
            if (!Interrupted())
                member.messages += file + ": the report could not be made: " + pdf.Error().Detail() + "\n";
            return member;
        }
        member.pdf = std::move(*pdf);
        StampPdfDate(member.pdf, m_date);
    } catch (const std::exception& error) {
        member = Member{};
        member.failed = true;
        member.messages = file + ": the report could not be made: " + error.what() + "\n";
    }
    return member;
}

void Party::Work()
{
    for (;;) {
        std::size_t index = 0;
        {
            std::unique_lock lock(m_mutex);
            while (!Interrupted() && m_next < m_members.size() && m_next >= m_taken + m_window)
                m_changed.wait_for(lock, std::chrono::milliseconds(50));
            if (Interrupted() || m_next >= m_members.size())
                return;
            index = m_next++;
        }
        auto member = std::make_unique<Member>(Prepare(index));
        {
            std::lock_guard lock(m_mutex);
            m_members[index] = std::move(member);
        }
        m_changed.notify_all();
    }
}

bool Party::Run(unsigned jobs, const std::function<void(std::size_t, Member&)>& take)
{
    m_window = std::size_t{jobs} * 2;
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < jobs; ++i)
        workers.emplace_back([this] { Work(); });
    bool whole = true;
    for (std::size_t index = 0; index < m_members.size(); ++index) {
        std::unique_ptr<Member> member;
        {
            std::unique_lock lock(m_mutex);
            while (!Interrupted() && !m_members[index])
                m_changed.wait_for(lock, std::chrono::milliseconds(50));
            if (Interrupted()) {
                whole = false;
                break;
            }
            member = std::move(m_members[index]);
            m_taken = index + 1;
        }
        m_changed.notify_all();
        take(index, *member);
        if (Interrupted()) {
            whole = false;
            break;
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    return whole;
}

// "12 of 50 characters" on a terminal, kept on one line; nothing when standard error is a file.
class Progress {
public:
    explicit Progress(std::size_t count) : m_count(count), m_shown(::isatty(STDERR_FILENO) == 1) {}
    ~Progress()
    {
        if (m_shown && m_drawn)
            std::cerr << "\r\x1b[K" << std::flush;
    }
    void Say(const std::string& messages)
    {
        if (messages.empty())
            return;
        std::cerr << (m_shown && m_drawn ? "\r\x1b[K" : "") << messages << std::flush;
        m_drawn = false;
    }
    void Done(std::size_t done)
    {
        if (!m_shown)
            return;
        std::cerr << "\r\x1b[K" << done << " of " << m_count << " characters" << std::flush;
        m_drawn = true;
    }

private:
    std::size_t m_count;
    bool m_shown;
    bool m_drawn = false;
};

// The name a character's PDF gets in the folder: as the report window offers it, numbered
// "name (2).pdf" when an earlier character took it.
std::string EachFileName(const Member& member, const std::string& file, std::set<std::string>& used)
{
    const std::string stem = PathToUtf8(PathFromUtf8(file).stem());
    const std::string base = OfferedFileNameUtf8(member.name, "", stem.empty() ? "character" : stem);
    std::string name = base + ".pdf";
    for (int copy = 2; used.count(name) != 0; ++copy)
        name = base + " (" + std::to_string(copy) + ").pdf";
    used.insert(name);
    return name;
}

int RunParty(const PartyOptions& options)
{
    CatchInterrupts();
    RulesTables tables;
    const std::filesystem::path folder = options.character.dataFolder.empty()
                                             ? FindDataFolder(kRaceFileName)
                                             : PathFromUtf8(options.character.dataFolder);
    if (Status loaded = LoadRulesTables(folder, tables); !loaded) {
        PrintError(loaded.Error());
        return 1;
    }
    // The template is read and checked once; each character fills a copy of it.
    const std::filesystem::path templatePath = TemplatePath(options);
    RtfDocument report;
    if (Status loaded = report.LoadFile(templatePath); !loaded) {
        PrintError(loaded.Error());
        return 1;
    }
    // Read now, so that the workers' copies only read it.
    (void)report.Length();
    if (!options.each.empty()) {
        std::error_code error;
        std::filesystem::create_directories(PathFromUtf8(options.each), error);
        if (!std::filesystem::is_directory(PathFromUtf8(options.each))) {
            std::cerr << options.each << ": is not a folder that can be made: " << error.message()
                      << std::endl;
            return 1;
        }
    }

    // The PDF writer puts its fonts in the order of a hash table; a fixed seed keeps that order,
    // so the same party gives the same bytes from one run to the next.
    QHashSeed::setDeterministicGlobalSeed();
    const auto app = StartGuiSession();
    const unsigned jobs = options.jobs > 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    const std::time_t date = NewestChange(options.files, templatePath);
    Party party(options, tables, report, date);
    Progress progress(options.files.size());
    bool failed = false;

    if (!options.each.empty()) {
        std::set<std::string> used;
        const bool whole = party.Run(jobs, [&](std::size_t index, Member& member) {
            progress.Say(member.messages);
            if (!member.failed) {
                const std::string name = EachFileName(member, options.files[index], used);
                const std::filesystem::path path = PathFromUtf8(options.each) / PathFromUtf8(name);
                if (Status written = AtomicWriteFile(path, member.pdf); !written) {
                    progress.Say(Describe(written.Error()));
                    member.failed = true;
                }
            }
            if (member.failed) {
                progress.Say(options.files[index] + ": not printed\n");
                failed = true;
            }
            progress.Done(index + 1);
        });
        if (!whole)
            return 128 + g_signal.load();
        return failed ? 1 : 0;
    }

    // One PDF: the characters' PDFs joined in the order given.
    PdfJoiner joiner;
    std::vector<OutlineEntry> outline;
    std::string lastName;
    const bool whole = party.Run(jobs, [&](std::size_t index, Member& member) {
        progress.Say(member.messages);
        if (!member.failed) {
            const int first = joiner.PageCount();
            if (auto added = joiner.Add(member.pdf); added && *added > 0) {
                outline.push_back({member.title, first});
                lastName = member.name;
            } else {
                progress.Say(options.files[index] + ": " +
                             (added ? std::string("the report has no page") : added.Error().Detail()) + "\n");
                member.failed = true;
            }
        }
        member.pdf = {};
        if (member.failed) {
            progress.Say(options.files[index] + ": not printed\n");
            failed = true;
        }
        progress.Done(index + 1);
    });
    if (!whole)
        return 128 + g_signal.load();
    if (outline.empty()) {
        std::cerr << "no character was printed; " << options.out << " is not written" << std::endl;
        return 1;
    }
    const std::string title = options.files.size() == 1 ? lastName : std::string("Party");
    const std::string pdf =
        joiner.Finish(title, ProgramCreator().toStdString(), "Qt " + std::string(qVersion()), date, outline);
    if (Status written = AtomicWriteFile(PathFromUtf8(options.out), pdf); !written) {
        PrintError(written.Error());
        return 1;
    }
    return failed ? 1 : 0;
}

#else
int RunParty(const PartyOptions&)
{
    PrintError(KeldError(kErrInvalidArgument, "this build of keldcg-cli writes no PDF"));
    return 1;
}
#endif

const bool registered = RegisterCommand([](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<PartyOptions>();
    CLI::App* command = app.add_subcommand(
        "party", "Print many characters' reports as one PDF with a bookmark for each character, or as a "
                 "PDF each in a folder, rendering them in parallel");
    command->add_option("FILE", options->files, "Character files (.kld) to print, in this order")->required();
    command
        ->add_option(
            "--template", options->templateName,
            "detail (detchar.rtf, the default) or summary (subchar.rtf) from --data or the program's "
            "data folder, or an RTF template file")
        ->type_name("detail|summary|TEMPLATE.rtf");
    command
        ->add_option("--jobs", options->jobs, "Characters rendered at the same time (default: one per core)")
        ->check(CLI::Range(1u, 256u));
    auto* out =
        command->add_option("--out", options->out, "The one PDF to write, each report from a new page");
    auto* each = command->add_option("--each", options->each,
                                     "Folder to write a PDF per character into, named after the character");
    out->excludes(each);
    AddCharacterOptions(*command, options->character);
    command->footer("Examples:\n  keldcg-cli party --out party.pdf *.kld\n"
                    "  keldcg-cli party --template summary --each printed/ hero.kld villain.kld\n");
    command->callback([options, &exitCode] {
        if (options->out.empty() && options->each.empty())
            throw CLI::RequiredError("--out or --each");
        exitCode = RunParty(*options);
    });
});

} // namespace

} // namespace keld::cli
