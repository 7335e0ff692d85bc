// Entry of the desktop program.
#include "mainwindow/MainWindow.h"
#include "mainwindow/Screenshots.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kadex Tool"));
    kadex::TMainForm form;
    form.show();
    kadex::ScheduleScreenshots(QApplication::arguments(), form);
    return app.exec();
}
