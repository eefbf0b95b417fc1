// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/GuiSession.h"

#ifdef KELD_CLI_PDF
#include <iostream>

namespace keld::cli {

namespace {

// Qt's notes about the session it runs in (no runtime folder, no display) are no news to a user
// of a command-line tool; only its errors are passed on.
void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::cerr << message.toStdString() << std::endl;
}

} // namespace

std::unique_ptr<QGuiApplication> StartGuiSession()
{
    qInstallMessageHandler(QtMessages);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "keldcg-cli";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return nullptr;
    return std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace keld::cli
#endif
