// A host built against the installed package only.
#include <MsgService.h>
#include <MsgSession.h>

#include <cstdio>

int main(int argc, char** argv)
{
    MsgService service(QStringLiteral("consumer-device"), false);
    const bool loaded = argc > 1 && service.loadBackup(QString::fromLocal8Bit(argv[1]));
    std::printf("loaded %u sessions: %s\n", service.msgSessionCount(), loaded ? "true" : "false");
    return 0;
}
