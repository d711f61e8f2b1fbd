#include "app/WinCEMain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(kApplicationTitle);
    QApplication::setApplicationVersion("1.2.0.1");
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    // The window opens a command-line file while it is created, before it is shown.
    TfrmWinCEMain window(arguments);
    window.show();
    return QApplication::exec();
}
