#include "hive/RegeditImport.h"

#include "hive/HiveError.h"
#include "hive/HiveSyntax.h"

#include <algorithm>

namespace caltrix::hive {

namespace {

const QString Version5 = QStringLiteral("Windows Registry Editor Version 5.00");
const QString Version4 = QStringLiteral("REGEDIT4");
const QString UserRoots[] = { QStringLiteral("HKEY_CURRENT_USER"), QStringLiteral("HKCU") };

// The text of the file: UTF-16LE after its byte-order mark, else UTF-8 (version 5) or the
// Windows code page, near enough Latin-1 (REGEDIT4).
QString decode(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE")) {
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith(Version4.toLatin1()))
        return QString::fromLatin1(bytes);
    return QString::fromUtf8(bytes);
}

// REGEDIT4 writes the strings of hex(1), hex(2) and hex(7) values in the code page, one byte a
// character; the registry holds them as UTF-16LE.
QByteArray widen(const QByteArray& narrow)
{
    QByteArray wide(narrow.size() * 2, '\0');
    for (qsizetype i = 0; i < narrow.size(); ++i)
        wide[i * 2] = narrow[i];
    return wide;
}

class Importer {
public:
    Importer(const QByteArray& text, const QString& fileName, bool version4, HiveDocument& doc)
        : text_(text)
        , fileName_(fileName)
        , version4_(version4)
        , doc_(doc)
    {
    }

    RegeditImport run()
    {
        syntax::Reader reader(text_);
        reader.advance(reader.peek()); // the header line, checked by the caller
        while (!reader.atEnd()) {
            const syntax::Line line = reader.peek();
            const QByteArray content(line.begin, line.end - line.begin);
            const QByteArray trimmed = content.trimmed();
            if (trimmed.isEmpty() || trimmed.startsWith(';')) {
                // nothing
            } else if (content.startsWith('[')) {
                readKey(line, content);
            } else if (!readValue(line, reader)) {
                throw HiveError(QStringLiteral("%1, line %2: \"%3\" is neither a key nor a value. Nothing was imported; "
                                               "correct the line or export the keys again.")
                                    .arg(fileName_)
                                    .arg(lineNumber(line))
                                    .arg(QString::fromUtf8(content)));
            }
            reader.advance(reader.peek());
        }
        // A key named without values exists afterwards, as the registry editor creates it; one
        // that has subkeys by now needs no section of its own.
        for (const QString& key : namedKeys_)
            doc_.createKey(key);
        return result_;
    }

private:
    void readKey(const syntax::Line& line, const QByteArray& content)
    {
        const qsizetype close = content.lastIndexOf(']');
        if (close < 0) {
            throw HiveError(QStringLiteral("%1, line %2: the key name has no closing \"]\". Nothing was imported.")
                                .arg(fileName_)
                                .arg(lineNumber(line)));
        }
        QString name = QString::fromUtf8(content.mid(1, close - 1));
        const bool deletion = name.startsWith(u'-');
        if (deletion)
            name.remove(0, 1);
        const qsizetype slash = name.indexOf(u'\\');
        const QString root = slash < 0 ? name : name.left(slash);
        const QString path = slash < 0 ? QString() : name.mid(slash + 1);
        inUserRoot_ = std::any_of(std::begin(UserRoots), std::end(UserRoots),
            [&root](const QString& r) { return root.compare(r, Qt::CaseInsensitive) == 0; });
        if (!inUserRoot_) {
            result_.skippedKeys << name;
            return;
        }
        key_ = path;
        if (!deletion && !path.isEmpty())
            namedKeys_ << path;
        if (deletion) {
            if (!path.isEmpty() && doc_.deleteKey(path))
                ++result_.keysDeleted;
            inUserRoot_ = false; // values after a deleted key belong to no key
        }
    }

    bool readValue(const syntax::Line& line, syntax::Reader& reader)
    {
        const syntax::Line value = syntax::withoutIndent(line);
        QStringView name;
        const char* data = syntax::readValueName(value, name);
        if (!data)
            return false;
        if (data + 1 == value.end && *data == '-') {
            if (inUserRoot_ && doc_.deleteValue(key_, name.toString()))
                ++result_.valuesDeleted;
            return true;
        }
        HiveValue parsed;
        syntax::Reader valueReader = reader;
        if (!syntax::readValue(value, valueReader, parsed))
            return false;
        reader = valueReader;
        if (!inUserRoot_)
            return true;
        const bool hexText = version4_ && QByteArray(data, value.end - data).startsWith("hex(")
            && (parsed.type == RegType::String || parsed.type == RegType::ExpandString
                || parsed.type == RegType::MultiString);
        if (hexText)
            parsed.data = widen(parsed.data);
        doc_.setValue(key_, parsed);
        ++result_.valuesSet;
        return true;
    }

    int lineNumber(const syntax::Line& line) const
    {
        return static_cast<int>(QByteArrayView(text_.constData(), line.begin - text_.constData()).count('\n')) + 1;
    }

    const QByteArray& text_;
    const QString& fileName_;
    const bool version4_;
    HiveDocument& doc_;
    RegeditImport result_;
    bool inUserRoot_ = false;
    QString key_;
    QStringList namedKeys_;
};

} // namespace

RegeditImport importRegedit(const QByteArray& bytes, const QString& fileName, HiveDocument& doc)
{
    const QString text = decode(bytes);
    const QString header = text.section(u'\n', 0, 0).trimmed();
    if (header != Version5 && header != Version4) {
        throw HiveError(QStringLiteral("%1 is not a registry editor export: its first line is neither \"%2\" nor \"%3\".")
                            .arg(fileName, Version5, Version4));
    }
    HiveDocument changed = doc;
    const QByteArray utf8 = text.toUtf8();
    const RegeditImport result = Importer(utf8, fileName, header == Version4, changed).run();
    doc = std::move(changed);
    return result;
}

} // namespace caltrix::hive
