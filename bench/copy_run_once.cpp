// One press of start on a camera folder, the copies going to PHOTOS/run, camera
// files kept and no preview: prints the seconds the run took. The same program
// built for Linux and for Windows (run under Wine) compares the two builds.
//   copy_run_once CAMERA PHOTOS

#include "common/WindowRun.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: copy_run_once CAMERA PHOTOS\n");
        return 2;
    }
    std::printf("%.3f\n", zandrel::bench::windowRun(arguments[1], arguments[2], false, false));
    return 0;
}
