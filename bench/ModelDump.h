// A canonical text of everything a load hands the host, to check that a
// change to the library left its results byte for byte as they were.
#pragma once

#include <QByteArray>

class MsgService;

// Every member of every session, participant, message and piece, in the
// order the host sees them; dates as their raw stored state.
QByteArray dumpModel(const MsgService& service);
