// msgexport: exports the text messages of an iPhone backup folder.
#include "ExportApp.h"
#include "ExportOptions.h"

#include <QCoreApplication>

#include <cstdio>

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
    return ExportApp(options).run();
}
