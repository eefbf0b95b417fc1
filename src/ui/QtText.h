// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

namespace keld {

// The core's UTF-8 text as Qt text and back.
QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

} // namespace keld
