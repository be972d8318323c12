// Tokenizer and recursive-descent parser of the Jet SQL subset.
//
// Precedence, loosest first: Or, And, Not, comparison (= <> < > <= >=,
// Is [Not] Null, [Not] In (...)), unary minus, primary. Keywords are matched
// without regard to case; a [bracketed] name is never a keyword.
#include "db/JetSql.h"

#include "platform/Error.h"

#include <QHash>
#include <mutex>

namespace quorvel::db::jet {

namespace {

struct Token {
    enum class Type { End, Name, Number, Text, Symbol };
    Type type = Type::End;
    QString text;
    bool bracketed = false;
    bool decimal = false;  // a Number with a decimal point
};

class Parser {
public:
    explicit Parser(const QString& text) : m_src(text) { advance(); }

    ExprPtr criterion() {
        ExprPtr e = expression();
        expectEnd();
        return e;
    }

    std::shared_ptr<const Select> selectText() {
        auto s = select();
        if (isSymbol(QStringLiteral(";")))
            advance();
        expectEnd();
        return s;
    }

private:
    [[noreturn]] void fail(const QString& what) const {
        throw Error(m_src, QStringLiteral("errore di sintassi (%1)").arg(what));
    }

    bool isKeyword(const char* word) const {
        return m_tok.type == Token::Type::Name && !m_tok.bracketed &&
               m_tok.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    bool isSymbol(const QString& s) const {
        return m_tok.type == Token::Type::Symbol && m_tok.text == s;
    }
    bool acceptKeyword(const char* word) {
        if (!isKeyword(word))
            return false;
        advance();
        return true;
    }
    void expectKeyword(const char* word) {
        if (!acceptKeyword(word))
            fail(QStringLiteral("atteso %1").arg(QLatin1String(word)));
    }
    void expectSymbol(const QString& s) {
        if (!isSymbol(s))
            fail(QStringLiteral("atteso %1").arg(s));
        advance();
    }
    void expectEnd() {
        if (m_tok.type != Token::Type::End)
            fail(QStringLiteral("testo in più: %1").arg(m_tok.text));
    }

    QString name() {
        if (m_tok.type != Token::Type::Name)
            fail(QStringLiteral("atteso un nome"));
        QString n = m_tok.text;
        advance();
        // Table.Field: only the field matters, the query has one table.
        while (isSymbol(QStringLiteral("."))) {
            advance();
            if (m_tok.type != Token::Type::Name)
                fail(QStringLiteral("atteso un nome"));
            n = m_tok.text;
            advance();
        }
        return n;
    }

    void advance();

    std::shared_ptr<const Select> select();
    ExprPtr expression();
    ExprPtr andExpr();
    ExprPtr notExpr();
    ExprPtr comparison();
    ExprPtr unary();
    ExprPtr primary();

    static ExprPtr make(Expr::Kind kind, std::vector<ExprPtr> args = {}, QString text = {}) {
        auto e = std::make_shared<Expr>();
        e->kind = kind;
        e->args = std::move(args);
        e->text = std::move(text);
        return e;
    }

    // Nesting (brackets, Not, signs, sub-queries) and And / Or chains are
    // bounded: the parse and the translation recurse over them, and a broken
    // text must fail with a syntax error rather than exhaust the stack.
    static constexpr int MaxDepth = 200;
    static constexpr int MaxOperators = 500;
    class Nested {
    public:
        explicit Nested(Parser& p) : m_p(p) {
            if (++m_p.m_depth > MaxDepth)
                m_p.fail(QStringLiteral("espressione troppo annidata"));
        }
        ~Nested() { --m_p.m_depth; }
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;

    private:
        Parser& m_p;
    };
    void countOperator() {
        if (++m_operators > MaxOperators)
            fail(QStringLiteral("troppe condizioni"));
    }

    const QString& m_src;
    qsizetype m_pos = 0;
    Token m_tok;
    int m_depth = 0;
    int m_operators = 0;
};

void Parser::advance() {
    const qsizetype n = m_src.size();
    while (m_pos < n && m_src[m_pos].isSpace()) ++m_pos;
    m_tok = Token();
    if (m_pos >= n)
        return;
    const QChar c = m_src[m_pos];
    if (c == u'\'' || c == u'"') {
        // Jet takes text between apostrophes or double quotes, the quote doubled inside.
        QString text;
        ++m_pos;
        for (;;) {
            if (m_pos >= n)
                fail(QStringLiteral("testo tra apici non chiuso"));
            if (m_src[m_pos] == c) {
                if (m_pos + 1 < n && m_src[m_pos + 1] == c) {
                    text += c;
                    m_pos += 2;
                    continue;
                }
                ++m_pos;
                break;
            }
            text += m_src[m_pos++];
        }
        m_tok.type = Token::Type::Text;
        m_tok.text = std::move(text);
    } else if (c == u'[') {
        const qsizetype end = m_src.indexOf(u']', m_pos + 1);
        if (end < 0 || end == m_pos + 1)
            fail(QStringLiteral("nome tra parentesi quadre non chiuso"));
        m_tok.type = Token::Type::Name;
        m_tok.text = m_src.mid(m_pos + 1, end - m_pos - 1);
        m_tok.bracketed = true;
        m_pos = end + 1;
    } else if (c.isDigit() || (c == u'.' && m_pos + 1 < n && m_src[m_pos + 1].isDigit())) {
        const qsizetype start = m_pos;
        while (m_pos < n && m_src[m_pos].isDigit()) ++m_pos;
        if (m_pos < n && m_src[m_pos] == u'.') {
            m_tok.decimal = true;
            ++m_pos;
            while (m_pos < n && m_src[m_pos].isDigit()) ++m_pos;
        }
        if (m_pos < n && (m_src[m_pos].isLetter() || m_src[m_pos] == u'_'))
            fail(QStringLiteral("numero non valido"));
        m_tok.type = Token::Type::Number;
        m_tok.text = m_src.mid(start, m_pos - start);
    } else if (c.isLetter() || c == u'_') {
        const qsizetype start = m_pos;
        while (m_pos < n && (m_src[m_pos].isLetterOrNumber() || m_src[m_pos] == u'_')) ++m_pos;
        m_tok.type = Token::Type::Name;
        m_tok.text = m_src.mid(start, m_pos - start);
    } else {
        static const QString twoChar[] = {QStringLiteral("<>"), QStringLiteral("<="),
                                          QStringLiteral(">=")};
        m_tok.type = Token::Type::Symbol;
        for (const QString& s : twoChar) {
            if (QStringView(m_src).mid(m_pos, 2) == s) {
                m_tok.text = s;
                m_pos += 2;
                return;
            }
        }
        if (!QStringLiteral("=<>(),*;.-+").contains(c))
            fail(QStringLiteral("carattere inatteso %1").arg(c));
        m_tok.text = QString(c);
        ++m_pos;
    }
}

std::shared_ptr<const Select> Parser::select() {
    auto s = std::make_shared<Select>();
    expectKeyword("Select");
    if (isSymbol(QStringLiteral("*"))) {
        advance();
    } else {
        s->columns << name();
        while (isSymbol(QStringLiteral(","))) {
            advance();
            s->columns << name();
        }
    }
    expectKeyword("From");
    s->table = name();
    if (acceptKeyword("In")) {
        if (m_tok.type != Token::Type::Text)
            fail(QStringLiteral("atteso il nome del file tra apici"));
        s->file = m_tok.text;
        advance();
    }
    if (acceptKeyword("Where"))
        s->where = expression();
    if (acceptKeyword("Order")) {
        expectKeyword("By");
        for (;;) {
            OrderKey key{name(), false};
            if (acceptKeyword("Desc"))
                key.descending = true;
            else
                acceptKeyword("Asc");
            s->orderBy.push_back(key);
            if (!isSymbol(QStringLiteral(",")))
                break;
            advance();
        }
    }
    return s;
}

ExprPtr Parser::expression() {
    const Nested nested(*this);
    ExprPtr left = andExpr();
    while (acceptKeyword("Or")) {
        countOperator();
        left = make(Expr::Kind::Or, {left, andExpr()});
    }
    return left;
}

ExprPtr Parser::andExpr() {
    ExprPtr left = notExpr();
    while (acceptKeyword("And")) {
        countOperator();
        left = make(Expr::Kind::And, {left, notExpr()});
    }
    return left;
}

ExprPtr Parser::notExpr() {
    const Nested nested(*this);
    if (acceptKeyword("Not"))
        return make(Expr::Kind::Not, {notExpr()});
    return comparison();
}

ExprPtr Parser::comparison() {
    ExprPtr left = unary();
    if (m_tok.type == Token::Type::Symbol) {
        static const QStringList ops = {QStringLiteral("="),  QStringLiteral("<>"),
                                        QStringLiteral("<"),  QStringLiteral(">"),
                                        QStringLiteral("<="), QStringLiteral(">=")};
        if (ops.contains(m_tok.text)) {
            QString op = m_tok.text;
            advance();
            return make(Expr::Kind::Compare, {left, unary()}, op);
        }
        return left;
    }
    if (acceptKeyword("Is")) {
        const bool negated = acceptKeyword("Not");
        expectKeyword("Null");
        auto e = std::make_shared<Expr>();
        e->kind = Expr::Kind::IsNull;
        e->negated = negated;
        e->args = {left};
        return e;
    }
    bool negated = false;
    if (isKeyword("Not")) {
        advance();
        negated = true;
        if (!isKeyword("In"))
            fail(QStringLiteral("atteso In"));
    }
    if (acceptKeyword("In")) {
        expectSymbol(QStringLiteral("("));
        auto e = std::make_shared<Expr>();
        e->negated = negated;
        e->args = {left};
        if (isKeyword("Select")) {
            e->kind = Expr::Kind::InSelect;
            e->select = select();
            if (e->select->columns.size() != 1)
                fail(QStringLiteral("la sottoquery deve scegliere un solo campo"));
        } else {
            e->kind = Expr::Kind::InList;
            e->args.push_back(unary());
            while (isSymbol(QStringLiteral(","))) {
                advance();
                e->args.push_back(unary());
            }
        }
        expectSymbol(QStringLiteral(")"));
        return e;
    }
    return left;
}

ExprPtr Parser::unary() {
    const Nested nested(*this);
    if (isSymbol(QStringLiteral("-"))) {
        advance();
        return make(Expr::Kind::Negate, {unary()});
    }
    if (isSymbol(QStringLiteral("+"))) {
        advance();
        return unary();
    }
    return primary();
}

ExprPtr Parser::primary() {
    switch (m_tok.type) {
        case Token::Type::End:
            fail(QStringLiteral("fine inattesa"));
        case Token::Type::Number: {
            auto e = std::make_shared<Expr>();
            if (m_tok.decimal) {
                e->kind = Expr::Kind::Decimal;
                e->text = m_tok.text;
            } else {
                bool ok = false;
                e->integer = m_tok.text.toLongLong(&ok);
                if (!ok)
                    fail(QStringLiteral("numero troppo grande"));
                e->kind = Expr::Kind::Integer;
            }
            advance();
            return e;
        }
        case Token::Type::Text: {
            ExprPtr e = make(Expr::Kind::Text, {}, m_tok.text);
            advance();
            return e;
        }
        case Token::Type::Symbol:
            if (isSymbol(QStringLiteral("("))) {
                advance();
                ExprPtr e = expression();
                expectSymbol(QStringLiteral(")"));
                return e;
            }
            fail(QStringLiteral("simbolo inatteso %1").arg(m_tok.text));
        case Token::Type::Name:
            break;
    }
    if (!m_tok.bracketed) {
        if (acceptKeyword("Null"))
            return make(Expr::Kind::Null);
        static const char* reserved[] = {"And",    "Or",   "Not",   "Is",    "In",
                                         "Select", "From", "Where", "Order", "By"};
        for (const char* word : reserved) {
            if (isKeyword(word))
                fail(QStringLiteral("parola riservata fuori posto: %1").arg(m_tok.text));
        }
    }
    if (!m_tok.bracketed) {
        // A name followed by '(' is a function call.
        const QString fn = m_tok.text;
        qsizetype p = m_pos;
        while (p < m_src.size() && m_src[p].isSpace()) ++p;
        if (p < m_src.size() && m_src[p] == u'(') {
            advance();
            advance();
            std::vector<ExprPtr> args;
            if (!isSymbol(QStringLiteral(")"))) {
                args.push_back(expression());
                while (isSymbol(QStringLiteral(","))) {
                    advance();
                    args.push_back(expression());
                }
            }
            expectSymbol(QStringLiteral(")"));
            return make(Expr::Kind::Call, std::move(args), fn.toUpper());
        }
    }
    return make(Expr::Kind::Field, {}, name());
}

// Parsed texts by text; the program builds a few shapes with changing values.
template <typename T>
class ParseCache {
public:
    template <typename F>
    std::shared_ptr<const T> get(const QString& text, F parse) {
        {
            std::lock_guard lock(m_mutex);
            auto it = m_map.constFind(text);
            if (it != m_map.constEnd())
                return it.value();
        }
        std::shared_ptr<const T> parsed = parse();
        std::lock_guard lock(m_mutex);
        if (m_map.size() >= 4096)
            m_map.clear();
        m_map.insert(text, parsed);
        return parsed;
    }

private:
    std::mutex m_mutex;
    QHash<QString, std::shared_ptr<const T>> m_map;
};

}  // namespace

bool criterionShape(const QString& c, QString& shape, std::vector<Literal>& literals) {
    constexpr QChar marker = u'\x01';  // never valid in a criterion
    shape.clear();
    shape.reserve(c.size());
    literals.clear();
    const qsizetype n = c.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar ch = c[i];
        if (ch == u'\'' || ch == u'"') {
            Literal lit;
            bool closed = false;
            bool nonAscii = false;
            for (++i; i < n;) {
                if (c[i] == ch) {
                    if (i + 1 < n && c[i + 1] == ch) {
                        lit.text += ch;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                nonAscii = nonAscii || c[i].unicode() > 127;
                lit.text += c[i++];
            }
            if (!closed)
                return false;
            shape += marker;
            shape += nonAscii ? u'U' : u'T';
            literals.push_back(std::move(lit));
        } else if (ch == u'[') {
            const qsizetype end = c.indexOf(u']', i + 1);
            if (end < 0)
                return false;
            shape += QStringView(c).mid(i, end - i + 1);
            i = end + 1;
        } else if (ch.isDigit() || (ch == u'.' && i + 1 < n && c[i + 1].isDigit())) {
            const qsizetype start = i;
            bool decimal = false;
            while (i < n && c[i].isDigit()) ++i;
            if (i < n && c[i] == u'.') {
                decimal = true;
                for (++i; i < n && c[i].isDigit();) ++i;
            }
            if (i < n && (c[i].isLetter() || c[i] == u'_'))
                return false;
            Literal lit;
            lit.text = c.mid(start, i - start);
            shape += marker;
            if (decimal) {
                lit.kind = Literal::Kind::Decimal;
                // Whether it is exact money changes the translation.
                const qsizetype dot = lit.text.indexOf(u'.');
                QStringView frac = QStringView(lit.text).mid(dot + 1);
                while (frac.size() > 4 && frac.endsWith(u'0')) frac.chop(1);
                shape += (frac.size() <= 4 && dot <= 14) ? u'D' : u'X';
            } else {
                bool ok = false;
                lit.integer = lit.text.toLongLong(&ok);
                if (!ok)
                    return false;
                lit.kind = Literal::Kind::Integer;
                shape += lit.integer <= 922337203685477 ? u'I' : u'J';
            }
            literals.push_back(std::move(lit));
        } else if (ch.isLetter() || ch == u'_') {
            const qsizetype start = i;
            while (i < n && (c[i].isLetterOrNumber() || c[i] == u'_')) ++i;
            const QStringView word = QStringView(c).mid(start, i - start);
            if (word.compare(QLatin1String("select"), Qt::CaseInsensitive) == 0)
                return false;
            shape += word;
        } else {
            if (ch == marker)
                return false;
            shape += ch;
            ++i;
        }
    }
    return true;
}

bool isSelectText(const QString& source) {
    const QString t = source.trimmed();
    return t.startsWith(QLatin1String("select"), Qt::CaseInsensitive) &&
           (t.size() == 6 || !(t[6].isLetterOrNumber() || t[6] == u'_'));
}

ExprPtr parseCriterion(const QString& criterion) {
    static ParseCache<Expr> cache;
    return cache.get(criterion, [&] { return Parser(criterion).criterion(); });
}

std::shared_ptr<const Select> parseSelect(const QString& text) {
    static ParseCache<Select> cache;
    return cache.get(text, [&] { return Parser(text).selectText(); });
}

}  // namespace quorvel::db::jet
