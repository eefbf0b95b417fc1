// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace keld::test {

// What one run of keldcg-cli produced.
struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

inline std::string ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the built keldcg-cli (its path comes from the build) with `args`, capturing both streams.
inline CliRun RunCli(const std::vector<std::string>& args)
{
    const auto stem = std::filesystem::temp_directory_path() / ("keld-cli-" + std::to_string(::getpid()));
    const auto outPath = stem.string() + ".out";
    const auto errPath = stem.string() + ".err";
    std::string command = ShellQuoted(KELD_CLI_PATH);
    for (const auto& arg : args)
        command += " " + ShellQuoted(arg);
    command += " >" + ShellQuoted(outPath) + " 2>" + ShellQuoted(errPath);
    CliRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadWholeFile(outPath);
    run.err = ReadWholeFile(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return run;
}

} // namespace keld::test
