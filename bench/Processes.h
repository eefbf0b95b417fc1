// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whole programs in benchmarks: a scratch folder per benchmark process and a timed run.
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace keld::bench {

// A folder of this process's own under the temporary folder, made on first use.
inline std::filesystem::path WorkFolder(const std::string& prefix)
{
    static const std::filesystem::path dir = [&] {
        std::filesystem::path d =
            std::filesystem::temp_directory_path() / (prefix + std::to_string(getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

// Starts a program directly (no shell, whose start would be timed too; the PATH is searched), its
// output discarded. Its process id, or -1 when it could not be started.
inline pid_t SpawnQuiet(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

// Runs a program as SpawnQuiet does. The seconds it took, or a negative number when it did not exit 0.
inline double TimedRun(std::vector<std::string> args)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = SpawnQuiet(std::move(args));
    int status = 0;
    const bool ok =
        pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return ok ? took.count() : -1;
}

} // namespace keld::bench
