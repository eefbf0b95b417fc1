// Opens the program with a character loaded, waits until it is painted and saves the screen as a
// PNG: the README's screenshot. Run it under Xvfb through tools/screenshot.sh.
#include "app/KeldApplication.h"
#include "app/MainWindow.h"
#include "inventory/window/InventoryWindow.h"
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
    if (argc != 3) {
        std::fprintf(stderr, "usage: keldcg-screenshot CHARACTER.kld OUT.png\n");
        return 2;
    }
    const QString character = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);

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
