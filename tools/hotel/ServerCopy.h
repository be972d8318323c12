// Puts a generated hotel on a PostgreSQL server: the hotel's schemas,
// tables and indexes (hotel::createHotelOnServer), every row of the hotel's
// SQLite files in dir copied through the engine, then the files removed and
// "QuorvelDB.txt" (readable by its owner only) written, so the program run
// in dir posts to the server.
#pragma once

#include <QString>

namespace quorvel::hotel {

// Returns how many rows were copied. Throws Error; the server is left as it
// was when the copy fails (one transaction).
qint64 moveHotelToServer(const QString& dir, const QString& conninfo);

}  // namespace quorvel::hotel
