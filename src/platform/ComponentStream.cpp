// The text form of stored components: writer and reader.
#include "platform/Component.h"
#include "platform/Error.h"

#include <QLocale>

#include <limits>

namespace caltrix::platform {

namespace {

// ---- writing ----------------------------------------------------------------------------------

QString quoted(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("''");
    QString out;
    bool inQuotes = false;
    for (const QChar ch : text) {
        const bool control = ch.unicode() < 0x20 || ch.unicode() == 0x7F;
        if (control) {
            if (inQuotes)
                out += QLatin1Char('\'');
            inQuotes = false;
            out += QLatin1Char('#') + QString::number(ch.unicode());
            continue;
        }
        if (!inQuotes)
            out += QLatin1Char('\'');
        inQuotes = true;
        out += ch;
        if (ch == QLatin1Char('\''))
            out += QLatin1Char('\'');
    }
    if (inQuotes)
        out += QLatin1Char('\'');
    return out;
}

QString formatValue(const QVariant& value, const Property& p, const QString& indent)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QString:
        return quoted(value.toString());
    case QMetaType::QStringList: {
        QString out = QStringLiteral("(");
        for (const QString& line : value.toStringList())
            out += QLatin1Char('\n') + indent + QStringLiteral("  ") + quoted(line);
        return out + QLatin1Char(')');
    }
    case QMetaType::QByteArray:
        return QLatin1Char('{') + QString::fromLatin1(value.toByteArray().toHex().toUpper()) + QLatin1Char('}');
    default: {
        const qlonglong n = value.toLongLong();
        if (n >= 0 && n < p.enumNames.size())
            return p.enumNames.at(static_cast<int>(n));
        return value.toString();
    }
    }
}

void writeObject(QString& out, const TComponent& c, const QString& indent)
{
    out += indent + QStringLiteral("object ") + c.Name() + QStringLiteral(": ") + c.ClassName() + QLatin1Char('\n');
    const QString inner = indent + QStringLiteral("  ");
    PropertyList properties;
    const_cast<TComponent&>(c).DefineProperties(properties); // only the getters are used here
    for (const Property& p : properties.all()) {
        if (p.stored && !p.stored())
            continue;
        const QVariant value = p.get();
        if (p.declaredDefault && value == *p.declaredDefault)
            continue;
        out += inner + p.name + QStringLiteral(" = ") + formatValue(value, p, inner) + QLatin1Char('\n');
    }
    for (int i = 0; i < c.ComponentCount(); ++i)
        writeObject(out, *c.Components(i), inner);
    out += indent + QStringLiteral("end\n");
}

// ---- reading: tokens --------------------------------------------------------------------------

struct Token {
    enum Kind { Word, Number, String, Symbol, Bytes, End } kind;
    QString text;
    int line;
};

[[noreturn]] void fail(int line, const QString& what)
{
    throw Error(QStringLiteral("Stored form, line %1: %2").arg(line).arg(what));
}

bool isWordChar(QChar ch) { return ch.isLetterOrNumber() || ch == QLatin1Char('_') || ch == QLatin1Char('.'); }

class Lexer {
public:
    explicit Lexer(const QString& text)
        : s_(text)
    {
    }

    std::vector<Token> all()
    {
        std::vector<Token> tokens;
        for (;;) {
            tokens.push_back(next());
            if (tokens.back().kind == Token::End)
                return tokens;
        }
    }

private:
    QChar peek(int ahead = 0) const { return pos_ + ahead < s_.size() ? s_.at(pos_ + ahead) : QChar(); }

    Token next()
    {
        while (pos_ < s_.size() && peek().isSpace()) {
            if (peek() == QLatin1Char('\n'))
                ++line_;
            ++pos_;
        }
        if (pos_ >= s_.size())
            return { Token::End, {}, line_ };
        const QChar ch = peek();
        if (ch == QLatin1Char('\'') || ch == QLatin1Char('#'))
            return { Token::String, string(), line_ };
        if (ch == QLatin1Char('{'))
            return { Token::Bytes, bytes(), line_ };
        if (ch == QLatin1Char('-') || ch == QLatin1Char('+') || ch.isDigit())
            return { Token::Number, word(1), line_ };
        if (isWordChar(ch))
            return { Token::Word, word(0), line_ };
        ++pos_;
        return { Token::Symbol, QString(ch), line_ };
    }

    QString word(int first)
    {
        const int start = pos_;
        pos_ += first;
        while (pos_ < s_.size()
               && (isWordChar(peek())
                   || ((peek() == QLatin1Char('-') || peek() == QLatin1Char('+'))
                       && (s_.at(pos_ - 1) == QLatin1Char('e') || s_.at(pos_ - 1) == QLatin1Char('E')))))
            ++pos_;
        return s_.mid(start, pos_ - start);
    }

    // Quoted pieces and #n characters, joined.
    QString string()
    {
        QString out;
        for (;;) {
            if (peek() == QLatin1Char('\'')) {
                ++pos_;
                for (;;) {
                    if (pos_ >= s_.size() || peek() == QLatin1Char('\n'))
                        fail(line_, QStringLiteral("a text is not closed by a quote"));
                    if (peek() == QLatin1Char('\'')) {
                        if (peek(1) != QLatin1Char('\''))
                            break;
                        ++pos_;
                    }
                    out += peek();
                    ++pos_;
                }
                ++pos_;
            } else if (peek() == QLatin1Char('#')) {
                ++pos_;
                const int start = pos_;
                while (peek().isDigit())
                    ++pos_;
                bool ok = false;
                const uint code = s_.mid(start, pos_ - start).toUInt(&ok);
                if (!ok || code > 0xFFFF)
                    fail(line_, QStringLiteral("'#' must be followed by a character number from 0 to 65535"));
                out += QChar(static_cast<char16_t>(code));
            } else {
                return out;
            }
        }
    }

    QString bytes()
    {
        const int startLine = line_;
        ++pos_;
        QString hex;
        while (pos_ < s_.size() && peek() != QLatin1Char('}')) {
            if (peek() == QLatin1Char('\n'))
                ++line_;
            if (!peek().isSpace())
                hex += peek();
            ++pos_;
        }
        if (pos_ >= s_.size())
            fail(startLine, QStringLiteral("binary data is not closed by '}'"));
        ++pos_;
        return hex;
    }

    const QString& s_;
    int pos_ = 0;
    int line_ = 1;
};

// ---- reading: the form ------------------------------------------------------------------------

struct Assignment {
    std::function<void(const QVariant&)> set;
    QVariant value;
};

struct Pending {
    TComponent* component;
    QString name;
    std::vector<Assignment> assignments;
};

class Reader {
public:
    explicit Reader(const QString& text)
        : tokens_(Lexer(text).all())
    {
    }

    // Checks the whole form against `root` and returns what to set, in order.
    std::vector<Pending> parse(TComponent& root)
    {
        std::vector<Pending> out;
        object(&root, true, out);
        if (cur().kind != Token::End)
            fail(cur().line, QStringLiteral("unexpected text after the final 'end'"));
        return out;
    }

private:
    const Token& cur() const { return tokens_[pos_]; }
    const Token& take() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
    bool isWord(const char* w) const
    {
        return cur().kind == Token::Word && cur().text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0;
    }
    void expectSymbol(const char* sym)
    {
        if (cur().kind != Token::Symbol || cur().text != QLatin1String(sym))
            fail(cur().line, QStringLiteral("'%1' expected").arg(QLatin1String(sym)));
        take();
    }
    QString expectWord(const QString& what)
    {
        if (cur().kind != Token::Word)
            fail(cur().line, QStringLiteral("%1 expected").arg(what));
        return take().text;
    }

    // Reads one object into `target` (the root) or into the owned component of `target` that the
    // stored name names; `parentName` is the stored name of the enclosing object.
    void object(TComponent* target, bool isRoot, std::vector<Pending>& out, const QString& parentName = {})
    {
        if (!isWord("object"))
            fail(cur().line, QStringLiteral("'object' expected"));
        const int line = take().line;
        const QString name = expectWord(QStringLiteral("a component name"));
        expectSymbol(":");
        const QString className = expectWord(QStringLiteral("a class name"));
        if (!isRoot) {
            TComponent* child = target->FindComponent(name);
            if (!child)
                fail(line, QStringLiteral("%1 has no component named '%2'").arg(parentName, name));
            target = child;
        }
        if (className.compare(target->ClassName(), Qt::CaseInsensitive) != 0)
            fail(line, QStringLiteral("'%1' is stored as a %2 but is a %3").arg(name, className, target->ClassName()));

        PropertyList properties;
        target->DefineProperties(properties);
        Pending pending { target, name, {} };
        const std::size_t slot = out.size();
        out.push_back({});
        while (!isWord("end")) {
            if (cur().kind == Token::End)
                fail(cur().line, QStringLiteral("'end' of '%1' missing").arg(name));
            if (isWord("object")) {
                object(target, false, out, name);
                continue;
            }
            const int propLine = cur().line;
            const QString propName = expectWord(QStringLiteral("a property name"));
            const Property* p = properties.find(propName);
            if (!p)
                fail(propLine, QStringLiteral("%1 has no property '%2'").arg(target->ClassName(), propName));
            expectSymbol("=");
            pending.assignments.push_back({ p->set, value(*p, propLine) });
        }
        take();
        out[slot] = std::move(pending);
    }

    QVariant value(const Property& p, int line)
    {
        const QMetaType type = p.get().metaType();
        const Token& t = cur();
        auto wrongKind = [&](const QString& kind) -> QVariant {
            fail(line, QStringLiteral("%1 needs %2, not '%3'").arg(p.name, kind, t.text));
        };
        switch (type.id()) {
        case QMetaType::Bool:
            if (isWord("True") || isWord("False"))
                return take().text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
            return wrongKind(QStringLiteral("True or False"));
        case QMetaType::Double:
        case QMetaType::Float: {
            bool ok = false;
            const double d = t.kind == Token::Number ? QLocale::c().toDouble(t.text, &ok) : 0.0;
            if (!ok)
                return wrongKind(QStringLiteral("a number"));
            take();
            return QVariant(d).value<double>();
        }
        case QMetaType::QString:
            if (t.kind != Token::String)
                return wrongKind(QStringLiteral("a quoted text"));
            return take().text;
        case QMetaType::QStringList:
            return list(p, line);
        case QMetaType::QByteArray: {
            if (t.kind != Token::Bytes)
                return wrongKind(QStringLiteral("binary data in braces"));
            const QByteArray hex = t.text.toLatin1();
            const QByteArray data = QByteArray::fromHex(hex);
            if (data.size() * 2 != hex.size())
                fail(line, QStringLiteral("%1 holds binary data that is not pairs of hex digits").arg(p.name));
            take();
            return data;
        }
        default:
            return integer(p, type, line);
        }
    }

    QVariant integer(const Property& p, QMetaType type, int line)
    {
        const Token& t = cur();
        qlonglong n = 0;
        if (t.kind == Token::Word && !p.enumNames.isEmpty()) {
            qsizetype index = p.enumNames.size() - 1;
            while (index >= 0 && p.enumNames.at(index).compare(t.text, Qt::CaseInsensitive) != 0)
                --index;
            if (index < 0)
                fail(line, QStringLiteral("%1 is one of %2, not '%3'").arg(p.name, p.enumNames.join(QStringLiteral(", ")), t.text));
            n = index;
        } else {
            bool ok = t.kind == Token::Number;
            if (ok)
                n = t.text.toLongLong(&ok);
            if (!ok)
                fail(line, QStringLiteral("%1 needs a whole number, not '%2'").arg(p.name, t.text));
        }
        const bool isUnsigned = type.id() == QMetaType::UInt || type.id() == QMetaType::UShort || type.id() == QMetaType::UChar;
        const qlonglong lo = isUnsigned ? 0 : std::numeric_limits<int>::min();
        const qlonglong hi = isUnsigned ? qlonglong { std::numeric_limits<unsigned>::max() } : std::numeric_limits<int>::max();
        if (type.id() != QMetaType::LongLong && (n < lo || n > hi))
            fail(line, QStringLiteral("%1 is out of range: %2").arg(p.name, t.text));
        take();
        QVariant v(n);
        v.convert(type);
        return v;
    }

    QVariant list(const Property& p, int line)
    {
        if (cur().kind != Token::Symbol || cur().text != QLatin1String("("))
            fail(line, QStringLiteral("%1 needs a list of texts in parentheses").arg(p.name));
        take();
        QStringList lines;
        while (cur().kind == Token::String)
            lines << take().text;
        expectSymbol(")");
        return lines;
    }

    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
};

} // namespace

QString writeComponent(const TComponent& component)
{
    QString out;
    writeObject(out, component, QString());
    return out;
}

void readComponent(TComponent& component, const QString& text)
{
    std::vector<Pending> pending = Reader(text).parse(component);
    for (auto& p : pending)
        p.component->BeginLoading();
    component.SetName(pending.front().name);
    for (auto& p : pending)
        for (auto& a : p.assignments)
            a.set(a.value);
    for (auto& p : pending)
        p.component->Loaded();
}

} // namespace caltrix::platform
