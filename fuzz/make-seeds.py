#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target into fuzz/corpus/<target>/:
small real examples of each input, in Windows-1252 with CR LF like the files
the POS and the hotel leave in the working folder. Run again after changing
it; the files are committed."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def cp(text):
    return text.encode("cp1252")


def lines(*rows):
    return cp("".join(r + "\r\n" for r in rows))


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def charge(room="101", day="250131", desc="PRANZO", qty="  1", amount="001500", price=""):
    line = [" "] * 120
    def at(col, width, value):
        value = value[:width].ljust(width)
        line[col - 1:col - 1 + width] = list(value)
    at(2, 3, room)
    at(6, 6, day)
    at(28, 15, desc)
    at(49, 3, qty)
    at(57, 6, amount)
    at(108, 8, price)
    return "".join(line)


def charge_lines():
    put("charge_line", "lunch", cp(charge()))
    put("charge_line", "discount", cp(charge(desc="Sconto", amount="-00300")))
    put("charge_line", "unit_price", cp(charge(desc="BEVANDE", qty="  3", amount="000900",
                                               price="00000300")))
    put("charge_line", "quantity_zero", cp(charge(qty="  0")))
    put("charge_line", "italian_amount", cp(charge(amount="15,00", price="1.250,5")))
    put("charge_line", "accents", cp(charge(room="1A", desc="Caffè corretto")))
    put("charge_line", "short", cp(charge()[:56]))
    put("charge_line", "exponent", cp(charge(qty="1E2", amount="1E+002")))


def room_codes():
    put("room_codes", "default", b"\0" + lines("101,101", "102,102", " 1A ,201") + b"\0101")
    put("room_codes", "setup_and_map",
        lines("2", "3") + b"\0" + lines("A01,101", "A02,102", "A01,103", "no comma") + b"\0A01")
    put("room_codes", "long_code", lines("1", "5") + b"\0" + lines("ROOM1,1", "ROOM2, 2") + b"\0ROOM1")
    put("room_codes", "hex_setup", lines("&H2", "&O3") + b"\0" + lines("10,Suite è") + b"\010")
    put("room_codes", "bad_setup", lines("0", "-1") + b"\0\0x")
    put("room_codes", "one_line", lines("2") + b"\0" + lines(",", ",,", "a,") + b"\0")


def closing_files():
    rule = "-" * 40
    def receipt(n, amount):
        return ["  Scontrino: %04d      ore 12:%02d" % (n, n % 60),
                "  Totale €".ljust(26) + amount.rjust(14), "  Pagamento: CONTANTI", rule]
    rows = ["        RISTORANTE DA QUORVEL", "  Chiusura giornaliera del 07/03/2025", rule]
    rows += receipt(1, "15.50") + receipt(2, "1250.00") + receipt(3, "-3.00")
    rows += ["  Scontrini emessi: 3", "  Totale giornata €".ljust(26) + "1262.50".rjust(14)]
    put("closing_file", "c_locale", lines(*rows))
    rows = ["  Chiusura giornaliera"] + receipt(1, "1.250,00") + receipt(2, "7,5")
    put("closing_file", "italian", lines(*rows))
    put("closing_file", "label_at_end", lines("  Scontrino: 1", "  Scontrino: 2", "x", "  Scontrino:"))
    put("closing_file", "bad_amount", lines("  Scontrino: 9", "  Totale        dodici", " Scontrino: no"))


def settings():
    put("settings", "defaults", lines("Estrazione.mdb", " 0 ", " 0 ", " 0 ", " 0 ", " 0 ", "Documento.txt"))
    put("settings", "codes", lines("C:\\POS\\Addebiti.txt", " 11 ", " 12 ", " 13 ", "-14 ", " 90 ",
                                   "C:\\POS\\Chiusura.txt"))
    put("settings", "short_file", lines("Estrazione.mdb", " 5 "))
    put("settings", "out_of_range", lines("x", " 40000 ", "abc", " 2.5 ", "&HFFFF", " 1E3 ", "y", "extra"))
    put("settings", "no_line_end", cp("Estrazione.mdb\r\n 3 \r 4 \n 5"))


def delimited_export():
    sep = lines(";", ",", "€")
    frame_top = "\xda" + "\xc4" * 10 + "\xc2" + "\xc4" * 12 + "\xbf"
    row = "\xb3 Rossi    \xb3    1.234,56 \xb3"
    row2 = "| 101 | PRANZO  -  | 15,00 |"
    bottom = "\xc0" + "\xc4" * 10 + "\xc1" + "\xc4" * 12 + "\xd9"
    report = b"\r\n".join(bytes(s, "latin-1") for s in [frame_top, row, row2, bottom]) + b"\r\n"
    put("delimited_export", "frames", sep + b"\0" + report)
    put("delimited_export", "default_separators", b"\0" + report)
    put("delimited_export", "tab_separators", lines("\t", ".", "") + b"\0" + lines("a,b 1,23 -5 3.50", "-- x \xb4"))


def jet_sql():
    def q(table, text, utf8=False):
        return bytes([table << 1 | (1 if utf8 else 0)]) + (text.encode("utf-8") if utf8 else cp(text))
    put("jet_sql", "account_row", q(1, "NumeroHotel = 1 and CodiceCliente = 101 and NumeroCamera = '12'"
                                       " and DataAddebito = '20250307' and VoceAddebito = 7 and Fatturato = 'N'"))
    put("jet_sql", "guests_select", q(0, "Select * From Scheda_Cliente Where NumeroHotel = 1 and "
                                         "Partito = 'N' and NumeroComponente = 1"))
    put("jet_sql", "rooms_subquery", q(2, "Select * From NumeriCamere Where TipoCamera In (Select Sigla "
                                          "From TipiCamere In 'TipiCamere.mdb' Where Tipologia = 'C') "
                                          "Order by NumeroCamera;"))
    put("jet_sql", "export_select", q(0, "Select * From Scheda_Cliente Where Partito <> 'S' Order by "
                                         "NumeroProgressivo Desc, [NumeroCamera] Asc;"))
    put("jet_sql", "item", q(3, "NumeroHotel = 1 and Codice = 7"))
    put("jet_sql", "money", q(1, "Importo = 12.5 Or Importo In (-3, 0.0001) Or Importo >= -12.50"))
    put("jet_sql", "functions", q(0, "Instr(NomeCliente, 'Rossi') > 0 And Not (Partito = \"S\")"))
    put("jet_sql", "nulls", q(0, "NumeroCamera Is Not Null And ContoExtra Is Null Or NumeroCamera Not In ('1A', '12')"))
    put("jet_sql", "quotes", q(0, "[NumeroCamera] = 'ab''c' Or Scheda_Cliente.NomeCliente = 'Nicolò Città'", True))
    put("jet_sql", "money_bounds", q(1, "Importo = 922337203685477 Or Importo = 922337203685478 Or "
                                        "Importo < 12345678901234.5 Or Unitario = 1.123456789"))
    put("jet_sql", "accents", q(3, "Descrizione = 'Caffè' Or Descrizione > 'x' Or Codice Not In (7, -1)"))
    put("jet_sql", "columns", q(2, "select NumeroCamera, Piano from NumeriCamere where Piano - -1 > 1"))


def transfer():
    put("transfer", "room_and_discount", lines(charge(), charge(desc="Sconto", amount="-00300"),
                                               charge(room="1A", desc="BEVANDE", qty="  2",
                                                      amount="000800", price="00000400")))
    put("transfer", "external_and_unknown", lines(charge(room="900"), charge(room="555"),
                                                  charge(desc="Sconto", amount="-00100")))
    put("transfer", "bad_lines", lines(charge(amount="12,5x"), charge()[:40], "",
                                       charge(qty="  0", amount="001000")))


def text():
    for name, data in [("italian", "1.234,56"), ("c_number", "-12.5"), ("hex", "&H1F"),
                       ("blanks", " 1 2 3 .5E2"), ("max", "9223372036854775807"),
                       ("min_money", "-922337203685477.5808"), ("half_even", "0.00005"),
                       ("lines", "a\r\nb\rc\nd\r\n")]:
        put("text", name, b"\0" + cp(data))
    put("text", "swiss", b"\1" + "1’234.50".encode("utf-8"))
    put("text", "bytes", b"\0" + bytes(range(256)))


def fias_record():
    put("fias_record", "link-start", b"\x02LS|DA251209|TI100000|\x03")
    put("fias_record", "postings",
        b"\x02PR|RN101|TA1250|S11500|S2-250|P#17|WS3|DA251209|TI193000|SOBAR|\x03"
        b"\x02PR|PIY|RN101|P#18|\x03")
    put("fias_record", "garbage", b"junk\x02PR|R|\x03\x02LA|\x03\r\n\x02PS|RN1")


if __name__ == "__main__":
    charge_lines()
    room_codes()
    closing_files()
    settings()
    delimited_export()
    jet_sql()
    transfer()
    text()
    fias_record()
