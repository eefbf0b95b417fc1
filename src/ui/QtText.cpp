// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QtText.h"

namespace keld {

QString ToQt(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string FromQt(const QString& text)
{
    return text.toStdString();
}

} // namespace keld
