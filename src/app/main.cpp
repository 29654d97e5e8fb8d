#include "pm2_5.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    int rc = 0;
    {
        PM2_5 window;
        window.show();
        rc = app.exec();
    } // the window goes before the application object
    return rc;
}
