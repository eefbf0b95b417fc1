// SPDX-License-Identifier: GPL-3.0-or-later
// Opens the program with a character loaded, waits until it is painted and saves the screen as a
// PNG: the README's screenshots. With --preview it shows the detail report's Print Preview over
// the sheet instead. Run it under Xvfb through tools/screenshot.sh.
#include "app/KeldApplication.h"
#include "app/MainWindow.h"
#include "inventory/window/InventoryWindow.h"
#include "report/window/ReportCommands.h"
#include "report/window/ReportWindow.h"
#include "ui/FileDialog.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const bool preview = argc == 4 && QLatin1String(argv[1]) == QLatin1String("--preview");
    if (argc != 3 && !preview) {
        std::fprintf(stderr, "usage: keldcg-screenshot [--preview] CHARACTER.kld OUT.png\n");
        return 2;
    }
    const QString character = QString::fromLocal8Bit(argv[argc - 2]);
    const QString out = QString::fromLocal8Bit(argv[argc - 1]);

    // A store of its own, so the picture shows the first-run layout.
    QTemporaryDir config;
    keld::KeldApplication::Options options;
    options.configFolder = config.path().toStdString();
    options.endProgram = [] {};
    keld::KeldApplication keld(options);
    if (!keld.Start())
        return 1;
    keld.Sheet()->SetToolbarShown(true);
    keld::FileDialog::SetNextFileName(QDir(character).absolutePath());
    keld.Sheet()->Load();
    if (preview) {
        keld.Sheet()->Reports().PreviewDetail();
        if (keld::ReportWindow* window = keld.Sheet()->Reports().Window())
            window->move(40, 20);
    }

    int rc = 1;
    QTimer::singleShot(1500, [&] {
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
        rc = shot.save(out) ? 0 : 1;
        std::fprintf(stderr, "%s %s\n", rc == 0 ? "saved" : "could not save", qPrintable(out));
        keld.Exit();
        QApplication::exit(rc);
    });
    app.exec();
    return rc;
}
