// The program's own two databases, created at start-up when missing:
// "ClientiCasa.mdb" (the in-house guests the POS reads) and
// "PassaRicevute.mdb" (a receipts hand-over table nothing else opens).
// An existing file is never opened or touched.
#pragma once

namespace quorvel {

namespace db {
class Workspace;
}

// Creates "ClientiCasa.mdb" with table ClientiCasa in the working folder
// through ws when no such file is there. Throws Error when the creation
// fails; a partly built file is then removed, so the next start tries again.
void CreaClientiCasa(db::Workspace& ws);

// The same for "PassaRicevute.mdb" with table PassaRicevute.
void CreaPassaRicevute(db::Workspace& ws);

}  // namespace quorvel
