// pellucor-packcheck: checks that a language folder holds every skin object, bitmap and tool
// that the windows use.
//
//   pellucor-packcheck FOLDER [LANGUAGE]     (LANGUAGE defaults to "english")
//
// Prints each problem on its own line and exits 1 when there is any, 0 when the pack is complete.
#include "app/skin/pack_check.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: pellucor-packcheck FOLDER [LANGUAGE]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString language = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("english");
    const QStringList problems = pellucor::checkPack(argv[1], language);
    for (const QString& p : problems)
        std::printf("%s\n", p.toLocal8Bit().constData());
    if (!problems.isEmpty())
        return 1;
    std::printf("pack %s in %s: complete\n", language.toLocal8Bit().constData(), argv[1]);
    return 0;
}
