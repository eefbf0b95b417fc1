// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliCommands.h"
#include "cli/StartupCharacter.h"

#include "character/CharacterRecord.h"
#include "common/ProgramFolder.h"
#include "common/TextFile.h"
#include "report/ReportValues.h"
#include "report/RtfDocument.h"

#ifdef KELD_CLI_PDF
#include "cli/GuiSession.h"
#include "report/render/ReportRenderer.h"
#endif

#include <algorithm>
#include <cctype>
#include <iostream>
#include <memory>
#include <string>

namespace keld::cli {

namespace {

struct ReportOptions {
    std::string file;
    std::string templateFile; // with --template it holds OUT, the template being the shipped one
    std::string out;
    std::string defaultTemplate; // "detail" or "summary"
    CharacterOptions character;
};

bool EndsWithPdf(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string end = path.substr(path.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(), [](unsigned char c) { return std::tolower(c); });
    return end == ".pdf";
}

std::filesystem::path DefaultTemplate(const ReportOptions& options)
{
    const char* name = options.defaultTemplate == "summary" ? "subchar.rtf" : "detchar.rtf";
    const std::filesystem::path folder = options.character.dataFolder.empty()
                                             ? FindDataFolder(name)
                                             : PathFromUtf8(options.character.dataFolder);
    return folder / name;
}

#ifdef KELD_CLI_PDF
Status WritePdf(const RtfDocument& report, const std::string& out, const std::string& title)
{
    const auto app = StartGuiSession();
    QStringList notes;
    Status written = WriteReportPdf(report, PathFromUtf8(out), QString::fromStdString(title), &notes);
    // What the PDF leaves out is said, not only printed on its last page.
    for (const QString& note : notes)
        std::cerr << out << ": " << note.toStdString() << std::endl;
    return written;
}
#else
Status WritePdf(const RtfDocument&, const std::string&, const std::string&)
{
    return KeldError(kErrInvalidArgument, "this build of keldcg-cli writes no PDF; name an .rtf file");
}
#endif

// A missing or extra argument is a mistake in the command line: named, with the hint and the
// exit status of every other one. With --template the second argument is OUT.
void CheckArguments(const ReportOptions& options)
{
    if (!options.defaultTemplate.empty()) {
        if (options.templateFile.empty())
            throw CLI::RequiredError("OUT");
        if (!options.out.empty())
            throw CLI::ExtrasError("with --template, give FILE OUT; not expected: " + options.out,
                                   CLI::ExitCodes::ExtrasError);
        return;
    }
    if (options.templateFile.empty())
        throw CLI::RequiredError("TEMPLATE");
    if (options.out.empty())
        throw CLI::RequiredError("OUT");
}

int RunReport(const ReportOptions& options)
{
    const bool shipped = !options.defaultTemplate.empty();
    const std::string& file = options.file;
    const std::string& out = shipped ? options.templateFile : options.out;
    const std::filesystem::path templatePath =
        shipped ? DefaultTemplate(options) : PathFromUtf8(options.templateFile);

    // The character as a print command finds it: opened as at start-up, then the file read in.
    StartupCharacter character;
    if (!character.Open(options.character, file))
        return 1;

    RtfDocument report;
    if (Status loaded = report.LoadFile(templatePath); !loaded) {
        PrintError(loaded.Error());
        return 1;
    }
    FillData(report, character.Sheet());
    // A PDF is titled with the character's name, as the report window titles it.
    const std::string name = character.Sheet().Text(FieldId::General, static_cast<int>(GeneralField::Name));
    Status saved = EndsWithPdf(out) ? WritePdf(report, out, name) : report.SaveFile(PathFromUtf8(out));
    if (!saved) {
        PrintError(saved.Error());
        return 1;
    }
    return 0;
}

const bool registered = RegisterCommand([](CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ReportOptions>();
    CLI::App* command = app.add_subcommand(
        "report", "Read a character file, fill a report template with it and write the report: as PDF, "
                  "laid out as it prints, when OUT ends in .pdf, otherwise as RTF");
    command->add_option("FILE", options->file, "Character file (.kld) to read")->required();
    // Not required here: with --template it is left out, and the callback names what is missing.
    command->add_option("TEMPLATE", options->templateFile,
                        "RTF template with placeholders such as [NAME]; left out with --template");
    command->add_option("OUT", options->out, "Report to write: PDF when it ends in .pdf, otherwise RTF");
    command
        ->add_option("--template", options->defaultTemplate,
                     "Use the shipped detail (detchar.rtf) or summary (subchar.rtf) template, from --data or "
                     "the program's data folder, instead of a TEMPLATE argument")
        ->check(CLI::IsMember({"detail", "summary"}));
    AddCharacterOptions(*command, options->character);
    command->footer("Examples:\n  keldcg-cli report hero.kld mytemplate.rtf hero.rtf\n"
                    "  keldcg-cli report --template detail hero.kld hero.pdf\n");
    command->callback([options, &exitCode] {
        CheckArguments(*options);
        exitCode = RunReport(*options);
    });
});

} // namespace

} // namespace keld::cli
