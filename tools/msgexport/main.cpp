// msgexport: exports the text messages of an iPhone backup folder.
#include "ExportApp.h"
#include "ExportOptions.h"

#include <QCoreApplication>

#include <cstdio>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("msgexport"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MSGEXPORT_VERSION));

    ExportOptions options;
    QString text;
    switch (ExportOptions::parse(QCoreApplication::arguments(), &options, &text)) {
    case ExportOptions::Outcome::Help:
    case ExportOptions::Outcome::Version:
        std::fputs(text.toUtf8().constData(), stdout);
        return ExportApp::Done;
    case ExportOptions::Outcome::Error:
        std::fprintf(stderr, "msgexport: %s\nTry 'msgexport --help'.\n", text.toUtf8().constData());
        return ExportApp::BadArguments;
    case ExportOptions::Outcome::Run:
        break;
    }
#if defined(__GLIBC__)
    // One heap for every thread. The library's load leaves freed room in it
    // that the conversations built on the export's other thread can reuse; a
    // heap of that thread's own would be new memory on top of the peak.
    // A PDF export's workers allocate all the time while they lay out text:
    // on one heap they would wait for each other's locks, so each gets its
    // own. Set before the first thread starts: glibc fixes the bound then.
    mallopt(M_ARENA_MAX, options.format == QLatin1String("pdf") ? 8 : 1);
#endif
    return ExportApp(options).run();
}
