// Writes the program's icon as a PNG for the desktop's menu, from the same drawing the window uses.
#include "app/Images.h"

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SIZE FILE.png\n", argv[0]);
        return 2;
    }
    const int size = QString(argv[1]).toInt();
    if (size <= 0 || !ProgramIcon().pixmap(size, size).save(argv[2], "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
