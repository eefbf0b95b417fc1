// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#ifdef KELD_CLI_PDF
#include <QGuiApplication>

#include <memory>

namespace keld::cli {

// Fonts and layout need Qt's GUI application, but never a display: without a platform of the
// caller's choosing it draws offscreen. Only Qt's errors reach standard error. Returns the
// application it made, or null when one is running already.
std::unique_ptr<QGuiApplication> StartGuiSession();

} // namespace keld::cli
#endif
