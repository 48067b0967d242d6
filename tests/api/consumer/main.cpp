// A host built against the installed package only.
#include <MsgDetails.h>
#include <MsgService.h>
#include <MsgSession.h>

#include <cstdio>

int main(int argc, char** argv)
{
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    MsgService service(QStringLiteral("consumer-device"), false);
    const bool loaded = argc > 1 && service.loadBackup(folder);
    MsgDetails details(folder);
    std::printf("loaded %u sessions: %s, details %s\n", service.msgSessionCount(), loaded ? "true" : "false",
                details.load() ? "true" : "false");
    return 0;
}
