// A host built against the installed package only.
#include <MsgDetails.h>
#include <MsgService.h>
#include <MsgSession.h>

#include <cstdio>

int main(int argc, char** argv)
{
    MsgService service(QStringLiteral("consumer-device"), false);
    const bool loaded = argc > 1 && service.loadBackup(QString::fromLocal8Bit(argv[1]));
    MsgDetails details(service);
    std::printf("loaded %u sessions: %s, details %s\n", service.msgSessionCount(), loaded ? "true" : "false",
                details.load() ? "true" : "false");
    return 0;
}
