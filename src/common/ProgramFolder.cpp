// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ProgramFolder.h"

#include <system_error>

namespace keld {

std::filesystem::path ProgramFolder()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path(ec);
    return exe.parent_path();
}

std::vector<std::filesystem::path> DataFolders()
{
    // An installed program finds its data beside its bin folder under any prefix, and under the
    // prefix it was configured for.
    const auto program = ProgramFolder();
    return {program, program.parent_path() / "share" / "keldcg", std::filesystem::path(KELD_INSTALL_DATADIR)};
}

std::filesystem::path FindDataFolder(const std::filesystem::path& fileName)
{
    std::error_code ec;
    for (const auto& folder : DataFolders())
        if (std::filesystem::exists(folder / fileName, ec))
            return folder;
    return ProgramFolder();
}

} // namespace keld
