#include "MsgIdentifier.h"

MsgIdentifier::MsgIdentifier()
    : id(0)
{
}

MsgIdentifier::MsgIdentifier(const MsgIdentifier& other) = default;
MsgIdentifier::~MsgIdentifier() = default;
MsgIdentifier& MsgIdentifier::operator=(const MsgIdentifier& other) = default;
