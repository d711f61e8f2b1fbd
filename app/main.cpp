#include "app/WinCEMain.h"
#include "tessary/Version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// For --quit-after-open: messages go to standard error instead of boxes that nobody closes.
class TConsoleMessages : public TQtWindowServices {
  public:
    void ShowError(QWidget*, const QString& caption, const QString& text) override {
        std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(),
                     text.toLocal8Bit().constData());
    }
    void ShowWarning(QWidget* parent, const QString& caption, const QString& text) override {
        ShowError(parent, caption, text);
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(kApplicationTitle);
    // Where QSettings keeps what is remembered between runs (the device profile).
    QApplication::setOrganizationName("Tessary");
    QApplication::setApplicationVersion(kTessaryVersion);

    QCommandLineParser parser;
    parser.setApplicationDescription("Shows what a Windows CE setup cabinet installs.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("file", "The setup cabinet to open.", "[FILE.cab]");
    // For checking an installation: open the file, print the caption, quit; the status says
    // whether a setup opened.
    QCommandLineOption quitAfterOpen("quit-after-open");
    quitAfterOpen.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(quitAfterOpen);

    QStringList arguments = QApplication::arguments();
    bool quit = false;
    if (parser.parse(arguments)) {
        if (parser.isSet("help")) parser.showHelp();
        if (parser.isSet("version")) parser.showVersion();
        quit = parser.isSet(quitAfterOpen);
        arguments = parser.positionalArguments();
    } else {
        // An argument the parser does not know is a file name, as it always was.
        arguments.removeFirst();
    }
    // The window opens a command-line file while it is created, before it is shown.
    TfrmWinCEMain window(arguments, quit ? std::make_shared<TConsoleMessages>() : nullptr);
    window.show();
    if (quit) {
        QTimer::singleShot(0, &window, [&window] {
            std::printf("%s\n", window.windowTitle().toLocal8Bit().constData());
            QApplication::exit(window.SetupOpen() ? 0 : 1);
        });
    }
    return QApplication::exec();
}
