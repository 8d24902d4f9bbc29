// The reference for the start-up benchmark: an empty Qt Widgets window, built with the
// same compiler, flags and Qt as the application.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("empty"));
    window.resize(1240, 780);
    window.show();
    return app.exec();
}
