// A minimal Qt 6 window like corvane's: a tab widget titled "Corvane" with seven empty tabs,
// shown, and closed as soon as it is on screen.
#include <QApplication>
#include <QTabWidget>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTabWidget tabs;
    tabs.setWindowTitle(QStringLiteral("Corvane"));
    for (const char* caption : {"MP3 Cutter", "MP3 Batch Cutter", "MP3 Joiner", "MP3 Batch Joiner", "Cutter Options",
                                "Joiner Options", "About"})
        tabs.addTab(new QWidget, QString::fromLatin1(caption));
    tabs.showMaximized();
    QTimer::singleShot(0, &tabs, [&tabs] { tabs.close(); });
    return QApplication::exec();
}
