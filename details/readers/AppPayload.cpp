#include "AppPayload.h"

#include "KeyedArchive.h"

bool AppPayload::parse(const QByteArray& blob, AppPayload* payload)
{
    *payload = AppPayload();
    const KeyedArchive archive(blob);
    if (!archive.valid() || !archive.hasTop())
        return false;
    plist_t message = archive.top("root");
    payload->appName = archive.text(message, "an");
    payload->summary = archive.text(message, "ldtext");
    plist_t layout = archive.value(message, "userInfo");
    payload->caption = archive.text(layout, "caption");
    payload->subcaption = archive.text(layout, "subcaption");
    payload->imageTitle = archive.text(layout, "image-title");
    payload->imageSubtitle = archive.text(layout, "image-subtitle");
    payload->trailingCaption = archive.text(layout, "secondary-subcaption");
    payload->trailingSubcaption = archive.text(layout, "tertiary-subcaption");
    return true;
}
