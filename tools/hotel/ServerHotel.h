// An empty hotel on the server: every hotel database of hotelTables() as a
// schema, its tables and the same indexes as the files have, a text field of
// an index folded as the engine compares it, so the look-ups use them.
#pragma once

#include "db/Engine.h"

namespace quorvel::hotel {

// REQUIRES: ws keeps the hotel's files on a server. Throws Error naming the
// database when one of them exists already; all or nothing (one transaction).
void createHotelOnServer(db::Workspace& ws);

}  // namespace quorvel::hotel
