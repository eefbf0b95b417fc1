// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/KeldApplication.h"

#include <QTemporaryDir>

#include <memory>

namespace keld::bench {

// The whole program, started as a user starts it, with its settings in `config`; it never quits
// the process.
inline std::unique_ptr<KeldApplication> StartProgram(const QTemporaryDir& config)
{
    KeldApplication::Options options;
    options.configFolder = config.path().toStdString();
    options.endProgram = [] {};
    auto program = std::make_unique<KeldApplication>(options);
    program->Start();
    return program;
}

} // namespace keld::bench
