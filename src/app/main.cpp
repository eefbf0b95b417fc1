// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/KeldApplication.h"
#include "app/ShellIcons.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(keld::ProgramIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("keldcg"));
    keld::KeldApplication keld;
    if (!keld.Start())
        return 1;
    return app.exec();
}
