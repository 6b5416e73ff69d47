#include <QApplication>

int runWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    return 0;
}
