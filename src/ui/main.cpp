#include <QApplication>
#include <QMainWindow>

// Placeholder until the main window lands.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setObjectName("frmMain");
    window.show();
    return app.exec();
}
