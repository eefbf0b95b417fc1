#include "KeldApplication.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    keld::KeldApplication keld;
    if (!keld.Start())
        return 1;
    return app.exec();
}
