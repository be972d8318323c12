// Inputs found by fuzzing the engine's criteria and SELECT texts: each must
// fail with quorvel::Error (or work), never bring the process down.
#include "db/DbFixture.h"
#include "db/JetSql.h"

#include "platform/Error.h"

#include <gtest/gtest.h>

using namespace quorvel;

namespace {

class FuzzRegressionTest : public test::DbTest {};

// The message of the Error a parse throws, empty when it parses.
QString parseError(const QString& text) {
    try {
        if (db::jet::isSelectText(text))
            db::jet::parseSelect(text);
        else
            db::jet::parseCriterion(text);
    } catch (const Error& e) {
        return e.cause();
    }
    return QString();
}

}  // namespace

TEST_F(FuzzRegressionTest, DeepNestingAndLongChainsFailInsteadOfOverflowingTheStack) {
    // Found as a stack overflow: every bracket, sign and Not recursed, and so
    // did the translation of a long And/Or chain.
    const QString deep = QString(4000, u'(') + u'1' + QString(4000, u')');
    EXPECT_TRUE(parseError(deep).contains(QLatin1String("troppo annidata")));
    EXPECT_TRUE(parseError(QString(4095, u'-') + u'1').contains(QLatin1String("troppo annidata")));
    EXPECT_TRUE(parseError(QStringLiteral("Not ").repeated(1000) + u'1')
                    .contains(QLatin1String("troppo annidata")));
    EXPECT_TRUE(parseError(QStringLiteral("Select a From T Where ") +
                           QStringLiteral("a In (Select a From T Where ").repeated(300) + u'1' +
                           QString(300, u')'))
                    .contains(QLatin1String("troppo annidata")));
    const QString chain = QStringLiteral("1 Or ").repeated(20000) + u'1';
    EXPECT_TRUE(parseError(chain).contains(QLatin1String("troppe condizioni")));

    // What the program writes stays well inside the bounds.
    EXPECT_EQ(
        parseError(QString(20, u'(') + QStringLiteral("NumeroHotel = -(-1)") + QString(20, u')') +
                   QStringLiteral(" And Not Partito = 'S'").repeated(100)),
        QString());

    // Through the engine: the same texts are refused with an Error.
    makeTable("t.mdb", "T", {"NumeroHotel:i16", "Partito:text:1"});
    auto database = ws().openDatabase("t.mdb");
    auto rs = database->openRecordset("T");
    addRow(*rs, {"NumeroHotel", "Partito"}, {1, "N"});
    EXPECT_THROW(rs->findFirst(deep), Error);
    EXPECT_THROW(rs->findFirst(chain), Error);
    EXPECT_THROW(database->openRecordset(QStringLiteral("Select * From T Where ") + deep), Error);
    rs->findFirst(QStringLiteral("((NumeroHotel = 1)) And Not Not Partito = 'N'"));
    EXPECT_FALSE(rs->noMatch());
}
