#include "tools/prepare-run/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <stdexcept>

// prepare-run PROGRAM_FOLDER TRACKING_FOLDER [INIT_STRING]
int main(int argc, char **argv)
{
    const QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3 && args.size() != 4) {
        std::fprintf(stderr, "usage: prepare-run PROGRAM_FOLDER TRACKING_FOLDER [INIT_STRING]\n");
        return 2;
    }
    try {
        ProgramFolder::prepare(QDir(args.at(1)).absolutePath(), QDir(args.at(2)).absolutePath(),
                               args.value(3));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "prepare-run: %s\n", error.what());
        return 1;
    }
    return 0;
}
