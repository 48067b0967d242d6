#include "MsgPiece.h"

MsgPiece::MsgPiece() = default;
MsgPiece::MsgPiece(const MsgPiece& other) = default;
MsgPiece::~MsgPiece() = default;
MsgPiece& MsgPiece::operator=(const MsgPiece& other) = default;
