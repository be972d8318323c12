// The database files of the hotel and of the program, by bare name
// (resolved against a folder), and the two tables the program creates
// itself. The hotel's own tables are the hotel system's; the program only
// opens them.
#pragma once

#include "db/Engine.h"

#include <QString>
#include <QStringList>

namespace quorvel::db {

inline constexpr char SchedaClienteMdb[] = "Scheda_Cliente.mdb";
inline constexpr char ClientiEsterniMdb[] = "ClientiEsterni.mdb";
inline constexpr char ContoClienteMdb[] = "Conto_Cliente.mdb";
inline constexpr char ContoEsterniMdb[] = "ContoEsterni.mdb";
inline constexpr char VociFatturaMdb[] = "VociFattura.mdb";
inline constexpr char FattureMdb[] = "Fatture.mdb";
inline constexpr char NumeriCamereMdb[] = "NumeriCamere.mdb";
inline constexpr char TipiCamereMdb[] = "TipiCamere.mdb";
inline constexpr char AnagraficaHotelsMdb[] = "AnagraficaHotels.mdb";
inline constexpr char StampantiMdb[] = "Stampanti.mdb";
inline constexpr char ContatoriMdb[] = "Contatori.mdb";
// The program's own.
inline constexpr char ClientiCasaMdb[] = "ClientiCasa.mdb";
inline constexpr char PassaRicevuteMdb[] = "PassaRicevute.mdb";

// The hotel's database files, each once, in the order above.
QStringList hotelDatabaseFiles();

// Table ClientiCasa of "ClientiCasa.mdb", the in-house guests the POS
// reads: no index, no key.
TableDef clientiCasaTable();

// Table PassaRicevute of "PassaRicevute.mdb", a receipts hand-over table.
TableDef passaRicevuteTable();

}  // namespace quorvel::db
