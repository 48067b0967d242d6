// The smallest host: load a backup folder and list its conversations.
//   list-sessions BACKUP_FOLDER
#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgService.h"
#include "MsgSession.h"

#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: list-sessions BACKUP_FOLDER\n");
        return 2;
    }
    // The device id only matters for loadSMSOnly(); loadBackup() names the folder.
    MsgService service(QStringLiteral("example-device"), false);
    if (!service.loadBackup(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "list-sessions: no message database could be loaded from %s\n", argv[1]);
        return 1;
    }
    for (unsigned int i = 0; i < service.msgSessionCount(); ++i) {
        const MsgSession* session = service.msgSession(i); // owned by the service
        QString title = session->name;
        if (title.isEmpty()) {
            QStringList names;
            for (const MsgIdentifier* who : session->participants)
                names << (who->contactName.isEmpty() ? who->address : who->contactName);
            names.removeDuplicates();
            title = names.join(QStringLiteral(", "));
        }
        std::printf("%s: %d messages\n", title.toUtf8().constData(), session->messages.size());
    }
    return 0;
}
