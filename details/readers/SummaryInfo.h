// Decoder of message.message_summary_info, the binary property list of
// iOS 16 and later that keeps a message's edit history and unsent parts.
#pragma once

#include "MsgDetail.h"

#include <QByteArray>
#include <QList>

class SummaryInfo
{
public:
    // False when the bytes are no property list of the expected shape; then
    // nothing is added.
    static bool parse(const QByteArray& blob, QList<MsgEdit>* edits, QList<int>* unsentParts);
};
