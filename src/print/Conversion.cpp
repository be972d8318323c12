// Character conversion tables for the printing engines and the preview.
#include "print/Conversion.h"

namespace quorvel {

namespace {

// Every code that the tables name lies in 179..218, where the Windows-1252
// byte and the Unicode code point coincide; so comparing code points is
// comparing the code page's bytes.
QChar convertCode(char16_t code, bool acuteToApostrophe) {
    switch (code) {
        case 180:
            return acuteToApostrophe ? QLatin1Char('\'') : QLatin1Char('|');
        case 192:
            return QChar(0x00E0);  // à
        case 200:
            return QChar(0x00E8);  // è
        case 201:
            return QChar(0x00E9);  // é
        case 204:
            return QChar(0x00EC);  // ì
        case 217:
            return QChar(0x00F9);  // ù
        case 210:
            return QChar(0x00F2);  // ò
        case 179:
        case 183:
        case 186:
        case 195:
            return QLatin1Char('|');
        case 187:
        case 188:
        case 191:
        case 193:
        case 194:
        case 196:
        case 197:
        case 202:
        case 203:
        case 206:
        case 218:
            return QLatin1Char('-');
        default:
            return QChar(code);
    }
}

QString convert(QString& line, bool acuteToApostrophe) {
    for (QChar& c : line) c = convertCode(c.unicode(), acuteToApostrophe);
    return line;
}

}  // namespace

QString ConvertiCaratteri(QString& line) {
    return convert(line, false);
}

QString Converti2(QString& Frase) {
    return convert(Frase, true);
}

bool isFormFeedLine(const QString& line) {
    return line.size() == 1 && line.front() == QLatin1Char('\f');
}

}  // namespace quorvel
