// Fuzz target: the platform's text and number conversions. The first byte
// chooses how the rest becomes text (Windows-1252 as files are read, or
// UTF-8 for characters a file never holds), then every conversion runs and
// the round trips that must hold are checked.
#include "FuzzSupport.h"

#include "platform/Currency.h"
#include "platform/Error.h"
#include "platform/NumberText.h"

#include <cmath>

using namespace quorvel;

namespace {

void checkBytes(const QByteArray& bytes) {
    // Every byte has a character and back: a file read and written again is unchanged.
    const QString text = decodeCp1252(bytes);
    if (text.size() != bytes.size() || encodeCp1252(text) != bytes || !isCp1252(text))
        fuzz::fail("cp1252 round trip");
    // Lines never hold a CR, and put back together they give the text again
    // up to the line ends.
    const QStringList lines = splitLines(text);
    QString joined;
    for (const QString& line : lines) {
        if (line.contains(QLatin1Char('\r')))
            fuzz::fail("CR inside a line", line);
        joined += line;
    }
    QString bare = text;
    bare.remove(QLatin1Char('\r'));
    // A CR LF end takes its LF with it; a lone LF stays in the line.
    QString expected;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\r'))
            continue;
        if (text[i] == QLatin1Char('\n') && i > 0 && text[i - 1] == QLatin1Char('\r'))
            continue;
        expected += text[i];
    }
    if (joined != expected)
        fuzz::fail("split lines lose text");
}

void checkNumbers(const QString& text) {
    const double v = numericValue(text);
    if (!std::isfinite(v))
        fuzz::fail("numericValue not finite", text);
    if (const auto i16 = lenientInt16(text); i16 && *i16 != roundToInt16(v))
        fuzz::fail("lenientInt16", text);
    // A number line reads back as its number.
    if (const auto i = roundToInt16(v)) {
        if (lenientInt16(numberLine(*i)) != i)
            fuzz::fail("numberLine round trip", text);
    }
}

void checkCurrency(const QString& text) {
    // The POS rule reads its own notation back, and never what the Italian
    // reading refuses.
    if (const auto pos = Currency::parsePosAmount(text)) {
        const QLocale it(QLocale::Italian, QLocale::Italy);
        for (bool group : {false, true})
            if (Currency::parsePosAmount(pos->format(it, 4, group)) != pos)
                fuzz::fail("POS amount round trip", text);
        if (Currency::parse(text, it) != pos)
            fuzz::fail("POS amount differs from the Italian reading", text);
    }
    for (const QLocale& locale : fuzz::locales()) {
        const auto c = Currency::parse(text, locale);
        if (!c)
            continue;
        // Its plain text and its formatted text (four decimals) read back to it.
        if (Currency::parse(c->toString(), QLocale::c()) != c)
            fuzz::fail("toString round trip", text);
        for (bool group : {false, true}) {
            if (Currency::parse(c->format(locale, 4, group), locale) != c)
                fuzz::fail("format round trip", text + QLatin1Char('|') + locale.name());
        }
        // Rounded formats and arithmetic either work or throw Error.
        try {
            (void)c->format(locale, 2);
            (void)c->format(locale, 0);
            (void)c->dividedBy(100);
            (void)c->dividedBy(-3);
            const Currency sum = *c + Currency::fromRaw(1);
            if (sum - Currency::fromRaw(1) != *c)
                fuzz::fail("add and subtract", text);
            (void)-*c;
        } catch (const Error&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray bytes = fuzz::bytesOf(data + 1, size - 1);
    checkBytes(bytes);
    const QString text = (data[0] & 1) ? QString::fromUtf8(bytes) : decodeCp1252(bytes);
    checkNumbers(text);
    checkCurrency(text);
    return 0;
}
