// A bridge owns the schema of its own tables: while it runs, its server
// connection holds a session advisory lock keyed on the schema's name, and
// the table "Ponte" of the schema names the holder (machine, folder,
// process, since when), so that a second bridge on the same schema (two PCs
// set up alike, a copied working folder) is refused with both named instead
// of sharing a queue. The lock ends with the connection; every reconnect
// claims again, ending first a session that the row shows this bridge
// abandoned (see abandonedSession in the source).
#pragma once

#include "db/PgConnection.h"
#include "db/Server.h"

namespace quorvel::db {

// Claims config.ownSchema on conn for this process; throws Error naming the
// other bridge when one holds it. Creates the schema when missing (taking
// over config.legacySchema first, see adoptLegacySchema).
void claimOwnSchema(PgConnection& conn, const ServerConfig& config);

// When config.ownSchema does not exist on the server but the schema an
// earlier version derived from the folder's path does, unclaimed and never
// claimed, it is renamed to ownSchema, so no queued line is left behind.
// Returns true when it did.
bool adoptLegacySchema(PgConnection& conn, const ServerConfig& config);

}  // namespace quorvel::db
