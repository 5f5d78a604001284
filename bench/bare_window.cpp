// A bare Qt window: the yardstick for the monitor's start-up
// (bench/startup.sh). Shows one empty window titled "bare window" and runs
// the event loop until it is killed.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(400, 300);
    window.show();
    return app.exec();
}
