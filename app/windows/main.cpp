// pellucor: the desktop program.
//
//   pellucor [--home DIR] [--close-after SECONDS]
//
// --home names the folder of the profile, logs and default recordings (else PELLUCOR_HOME, else
// $XDG_DATA_HOME/pellucor). --close-after closes every main window after that many seconds, as a
// user would, so that a demonstration ends by itself with the profile saved.
//
// Exit status 0 after a normal end or when another instance already runs (which standard error
// tells); 1 when the start-up failed (after a message) or the arguments are wrong. SIGTERM,
// SIGINT and SIGHUP close the program as its last window's close does (the profile saved, the
// recordings and cameras stopped, the logs written); then it ends by that signal, as a program
// without such a close would, so that whoever sent it sees how it ended.
#include "app/windows/program.h"

#include "platform/end_signals.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char** argv)
{
    // The camera web page window's browser shares its drawing contexts; this must precede the
    // application object.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption homeOption("home", "Folder of the profile, logs and recordings.", "DIR");
    const QCommandLineOption closeOption("close-after", "Close every window after SECONDS.", "SECONDS");
    parser.addOption(homeOption);
    parser.addOption(closeOption);
    parser.process(app);

    pellucor::ProgramOptions options;
    options.home = parser.value(homeOption).toStdString();
    options.exePath = QCoreApplication::applicationFilePath().toStdString();
    if (parser.isSet(closeOption)) {
        bool ok = false;
        options.closeAfterSeconds = parser.value(closeOption).toInt(&ok);
        if (!ok || options.closeAfterSeconds <= 0 || options.closeAfterSeconds > 86400) {
            std::fprintf(stderr, "pellucor: --close-after takes a number of seconds from 1 to 86400\n");
            return 1;
        }
    }

    int code = 0;
    int endSignal = 0;
    {
        pellucor::Program program(options);
        switch (program.start()) {
        case pellucor::Program::StartResult::AlreadyRunning: {
            const qint64 holder = program.lockHolder();
            std::fprintf(stderr,
                         "pellucor: Pellucor SE is already running in this session%s (lock file %s)\n",
                         holder > 0 ? qPrintable(QString(" as process %1").arg(holder)) : "",
                         qPrintable(program.lockPath()));
            return 0;
        }
        case pellucor::Program::StartResult::Failed:
            return 1;
        case pellucor::Program::StartResult::Running:
            break;
        }
        code = program.exec();
        endSignal = program.endSignal();
    }
    if (endSignal != 0)
        tessivor::endBySignal(endSignal);
    return code;
}
