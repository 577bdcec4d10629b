#include "platform/xml/WellFormed.h"

#include "platform/xml/ParseError.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace xml {
namespace {

// Byte classes of the fast loops over text and attribute values: a byte
// without the loop's stop bit is a character that needs no further look.
enum : unsigned char {
    kTextStop = 1,  // '<', '&', ']', control characters, bytes of non-ASCII letters
    kValueStop = 2, // '<', '&', quote marks, control characters, non-ASCII bytes
    kNameStart = 4, // ASCII letters, '_', ':'
    kNameChar = 8,  // kNameStart, digits, '-', '.'
    kSpace = 16,    // blank, tab, CR, LF
};

constexpr std::array<unsigned char, 256> MakeClasses() {
    std::array<unsigned char, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        unsigned char bits = 0;
        if (c < 0x20 || c >= 0x80 || c == '<' || c == '&')
            bits |= kTextStop | kValueStop;
        if (c == ']')
            bits |= kTextStop;
        if (c == '"' || c == '\'')
            bits |= kValueStop;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':')
            bits |= kNameStart | kNameChar;
        if ((c >= '0' && c <= '9') || c == '-' || c == '.')
            bits |= kNameChar;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            bits |= kSpace;
        classes[c] = bits;
    }
    return classes;
}

constexpr std::array<unsigned char, 256> kClasses = MakeClasses();

bool IsXmlChar(uint32_t c) {
    return c >= 0x20
               ? (c <= 0xD7FF || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF))
               : (c == 0x9 || c == 0xA || c == 0xD);
}

// Letters beyond ASCII that may start a name, and those that may only follow.
bool IsNameStartBeyondAscii(uint32_t c) {
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || c == 0x200C ||
           c == 0x200D || (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) ||
           (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
           (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameCharBeyondAscii(uint32_t c) {
    return IsNameStartBeyondAscii(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) ||
           (c >= 0x203F && c <= 0x2040);
}

bool IsPubidChar(unsigned char c) {
    return (c < 0x80 && (kClasses[c] & kNameChar)) || c == ' ' || c == '\r' || c == '\n' ||
           std::string_view("-'()+,./:=?;!*#@$_%").find(static_cast<char>(c)) !=
               std::string_view::npos;
}

std::string Hex(uint32_t c) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
    return buffer;
}

std::string Quoted(std::string_view name) {
    return "\"" + std::string(name) + "\"";
}

// Thrown by Scanner::Fail once the fault is filled in; caught by CheckWellFormed.
struct Refused {};

class Scanner {
public:
    Scanner(std::string_view text, WellFormedFault& fault)
        : m_begin(reinterpret_cast<const unsigned char*>(text.data())), m_p(m_begin),
          m_end(m_begin + text.size()), m_start(m_begin), m_fault(fault) {
        m_open.reserve(64);
    }

    void Document();

private:
    using Byte = const unsigned char*;

    [[noreturn]] void Fail(int code, std::string reason, Byte at) {
        m_fault.code = code;
        m_fault.reason = std::move(reason);
        m_fault.offset = static_cast<size_t>((at < m_end ? at : m_end) - m_begin);
        throw Refused();
    }

    static Byte At(std::string_view part) { return reinterpret_cast<Byte>(part.data()); }
    unsigned char Peek(size_t ahead = 0) const { return m_p + ahead < m_end ? m_p[ahead] : 0; }
    bool StartsWith(std::string_view s) const {
        return static_cast<size_t>(m_end - m_p) >= s.size() &&
               std::memcmp(m_p, s.data(), s.size()) == 0;
    }
    bool SkipSpace() {
        Byte start = m_p;
        while (m_p < m_end && (kClasses[*m_p] & kSpace))
            ++m_p;
        return m_p != start;
    }
    void RequireSpace(int code, const char* reason) {
        if (!SkipSpace())
            Fail(code, reason, m_p);
    }

    uint32_t Decode(Byte p, int& length);
    Byte Char(Byte p);
    // The first byte from p on that has the stop bit, letters of two bytes (all
    // of them allowed) stepped over; m_end when there is none.
    Byte SkipPlain(Byte p, unsigned char stop) const {
        while (p < m_end) {
            const unsigned char c = *p;
            if (!(kClasses[c] & stop))
                ++p;
            else if (c >= 0xC2 && c <= 0xDF && p + 1 < m_end && (p[1] & 0xC0) == 0x80)
                p += 2;
            else
                break;
        }
        return p;
    }
    // Char, with the letters of two bytes (all of them allowed) stepped over at once.
    Byte Step(Byte p) {
        if (*p >= 0xC2 && *p <= 0xDF && p + 1 < m_end && (p[1] & 0xC0) == 0x80)
            return p + 2;
        return Char(p);
    }
    bool AtNameStart();
    std::string_view Name();
    void Reference();
    std::string_view Literal(int code, const char* what);

    void XmlDeclaration();
    std::string_view DeclarationValue(std::string_view keyword);
    void Doctype();
    void InternalSubset();
    void MarkupDeclaration(size_t keywordLength);
    void ContentSpec();
    void Group(int depth);
    void ExternalId(bool publicIdAlone);
    void Comment();
    void Pi();
    void CData();
    void Elements();
    void StartTag();
    void Attribute();
    void AttributeValue();
    void EndTag();
    void Epilog();

    Byte m_begin;
    Byte m_p;
    Byte m_end;
    Byte m_start; // where an XML declaration may stand: the start, after a byte order mark
    WellFormedFault& m_fault;
    std::vector<std::string_view> m_open;       // names of the open elements, the root first
    std::vector<std::string_view> m_attributes; // names of the start tag being read
};

// The character at p (UTF-8) and its length in bytes; a byte sequence that is
// not UTF-8 is refused.
uint32_t Scanner::Decode(Byte p, int& length) {
    const unsigned char c = *p;
    const size_t left = static_cast<size_t>(m_end - p);
    auto continuation = [&](size_t i) { return i < left && (p[i] & 0xC0) == 0x80; };
    uint32_t cp = 0;
    if (c < 0x80) {
        length = 1;
        return c;
    }
    if (c >= 0xC2 && c <= 0xDF && continuation(1)) {
        length = 2;
        return ((c & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    }
    if (c >= 0xE0 && c <= 0xEF && continuation(1) && continuation(2)) {
        cp = ((c & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
        if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
            length = 3;
            return cp;
        }
    } else if (c >= 0xF0 && c <= 0xF4 && continuation(1) && continuation(2) && continuation(3)) {
        cp = ((c & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            length = 4;
            return cp;
        }
    }
    Fail(kErrorBadUtf8, "Неверная последовательность байтов UTF-8", p);
}

// Steps over the character at p, refusing one XML does not allow.
Scanner::Byte Scanner::Char(Byte p) {
    int length = 1;
    const uint32_t c = Decode(p, length);
    if (!IsXmlChar(c))
        Fail(kErrorBadCharacter, "Недопустимый в XML символ " + Hex(c), p);
    return p + length;
}

bool Scanner::AtNameStart() {
    if (m_p >= m_end)
        return false;
    if (*m_p < 0x80)
        return kClasses[*m_p] & kNameStart;
    int length = 1;
    return IsNameStartBeyondAscii(Decode(m_p, length));
}

// REQUIRES: AtNameStart().
std::string_view Scanner::Name() {
    Byte start = m_p;
    int length = 1;
    if (*m_p >= 0x80)
        Decode(m_p, length);
    m_p += length;
    while (m_p < m_end) {
        if (*m_p < 0x80) {
            if (!(kClasses[*m_p] & kNameChar))
                break;
            ++m_p;
        } else {
            const uint32_t c = Decode(m_p, length);
            if (!IsNameCharBeyondAscii(c))
                break;
            m_p += length;
        }
    }
    return std::string_view(reinterpret_cast<const char*>(start), static_cast<size_t>(m_p - start));
}

// A reference at '&': one of the five predefined entities or a character
// reference to a character XML allows. No other entity is declared.
void Scanner::Reference() {
    Byte amp = m_p++;
    if (Peek() == '#') {
        ++m_p;
        const bool hex = Peek() == 'x';
        m_p += hex ? 1 : 0;
        uint32_t value = 0;
        int digits = 0;
        for (;; ++m_p, ++digits) {
            unsigned char c = Peek();
            uint32_t digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                break;
            value = value > 0x10FFFF ? value : value * (hex ? 16 : 10) + digit;
        }
        if (digits == 0 || Peek() != ';')
            Fail(kErrorBadReference, "Неверная ссылка на символ", amp);
        ++m_p;
        if (!IsXmlChar(value))
            Fail(
                kErrorBadCharacter,
                "Ссылка на недопустимый в XML символ " +
                    std::string(reinterpret_cast<const char*>(amp), static_cast<size_t>(m_p - amp)),
                amp);
        return;
    }
    if (!AtNameStart())
        Fail(kErrorBadReference,
             "Символ \"&\" должен начинать ссылку на сущность или символ (сам он пишется &amp;)",
             amp);
    const std::string_view name = Name();
    if (Peek() != ';')
        Fail(kErrorBadReference, "Ссылка на сущность &" + std::string(name) + " не закончена \";\"",
             amp);
    ++m_p;
    if (name != "lt" && name != "gt" && name != "amp" && name != "apos" && name != "quot")
        Fail(kErrorUndeclaredEntity, "Ссылка на необъявленную сущность &" + std::string(name) + ";",
             amp);
}

// A quoted literal of a DOCTYPE without markup in it: its text.
std::string_view Scanner::Literal(int code, const char* what) {
    const unsigned char quote = Peek();
    if (quote != '"' && quote != '\'')
        Fail(code, std::string(what) + ": ожидается значение в кавычках", m_p);
    Byte start = ++m_p;
    while (m_p < m_end && *m_p != quote)
        m_p = Char(m_p);
    if (m_p >= m_end)
        Fail(code, std::string(what) + ": значение не закрыто кавычкой", m_p);
    return std::string_view(reinterpret_cast<const char*>(start),
                            static_cast<size_t>(m_p++ - start));
}

void Scanner::Document() {
    if (StartsWith("\xEF\xBB\xBF"))
        m_p += 3;
    m_start = m_p;
    if (StartsWith("<?xml") && m_p + 5 < m_end && (kClasses[m_p[5]] & kSpace))
        XmlDeclaration();
    bool doctype = false;
    for (;;) {
        SkipSpace();
        if (m_p >= m_end)
            Fail(kErrorNoRoot, "В документе нет корневого элемента", m_p);
        if (*m_p != '<')
            Fail(kErrorBadText, "Текст перед корневым элементом не допускается", m_p);
        if (StartsWith("<!--")) {
            Comment();
        } else if (StartsWith("<?")) {
            Pi();
        } else if (StartsWith("<!DOCTYPE")) {
            if (doctype)
                Fail(kErrorBadDoctype, "Объявление типа документа (DOCTYPE) может быть только одно",
                     m_p);
            Doctype();
            doctype = true;
        } else {
            break;
        }
    }
    if (Peek(1) == '/' || Peek(1) == '!')
        Fail(kErrorBadMarkup, "Непонятная разметка после символа \"<\"", m_p);
    Elements();
    Epilog();
}

void Scanner::Epilog() {
    for (;;) {
        SkipSpace();
        if (m_p >= m_end)
            return;
        if (*m_p != '<')
            Fail(kErrorBadText, "Текст после корневого элемента не допускается", m_p);
        if (StartsWith("<!--")) {
            Comment();
        } else if (StartsWith("<?")) {
            Pi();
        } else {
            ++m_p;
            if (AtNameStart())
                Fail(kErrorSeveralRoots, "В документе может быть только один корневой элемент",
                     m_p);
            Fail(kErrorBadMarkup, "Непонятная разметка после символа \"<\"", m_p - 1);
        }
    }
}

// '<?xml' S version, then optionally encoding and standalone, '?>'.
void Scanner::XmlDeclaration() {
    m_p += 5;
    SkipSpace();
    const std::string_view version = DeclarationValue("version");
    if (version.size() < 3 || version.substr(0, 2) != "1." ||
        version.find_first_not_of("0123456789", 2) != std::string_view::npos)
        Fail(kErrorBadPi, "Неверная версия XML \"" + std::string(version) + "\"", At(version));
    bool space = SkipSpace();
    if (space && StartsWith("encoding")) {
        const std::string_view name = DeclarationValue("encoding");
        const unsigned char first = name.empty() ? 0 : static_cast<unsigned char>(name[0]);
        if (!(kClasses[first] & kNameStart) || first == '_' || first == ':' ||
            name.find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-") !=
                std::string_view::npos)
            Fail(kErrorBadPi, "Неверное имя кодировки \"" + std::string(name) + "\"", At(name));
        space = SkipSpace();
    }
    if (space && StartsWith("standalone")) {
        const std::string_view value = DeclarationValue("standalone");
        if (value != "yes" && value != "no")
            Fail(kErrorBadPi, "standalone может быть только \"yes\" или \"no\"", At(value));
        SkipSpace();
    }
    if (!StartsWith("?>"))
        Fail(kErrorBadPi, "Ошибка в объявлении XML", m_p);
    m_p += 2;
}

// keyword Eq quoted-value of the XML declaration: the value.
std::string_view Scanner::DeclarationValue(std::string_view keyword) {
    if (!StartsWith(keyword))
        Fail(kErrorBadPi, "В объявлении XML ожидается " + std::string(keyword), m_p);
    m_p += keyword.size();
    SkipSpace();
    if (Peek() != '=')
        Fail(kErrorBadPi, "В объявлении XML ожидается \"=\" после " + std::string(keyword), m_p);
    ++m_p;
    SkipSpace();
    return Literal(kErrorBadPi, "Объявление XML");
}

// '<!DOCTYPE' S Name (S ExternalID)? S? ('[' intSubset ']' S?)? '>'. The
// external DTD is named, never read.
void Scanner::Doctype() {
    m_p += 9;
    RequireSpace(kErrorBadDoctype, "Ошибка в объявлении типа документа (DOCTYPE)");
    if (!AtNameStart())
        Fail(kErrorBadDoctype, "В объявлении типа документа (DOCTYPE) нет имени", m_p);
    Name();
    if (SkipSpace() && (StartsWith("SYSTEM") || StartsWith("PUBLIC"))) {
        ExternalId(false);
        SkipSpace();
    }
    if (Peek() == '[') {
        ++m_p;
        InternalSubset();
        SkipSpace();
    }
    if (Peek() != '>')
        Fail(kErrorBadDoctype, "Ошибка в объявлении типа документа (DOCTYPE)", m_p);
    ++m_p;
}

// 'SYSTEM' S SystemLiteral | 'PUBLIC' S PubidLiteral S SystemLiteral; with
// publicIdAlone (a notation) the system literal after a public one may be left out.
void Scanner::ExternalId(bool publicIdAlone) {
    const bool isPublic = StartsWith("PUBLIC");
    if (!isPublic && !StartsWith("SYSTEM"))
        Fail(kErrorBadDoctype, "Ожидается SYSTEM или PUBLIC", m_p);
    m_p += 6;
    RequireSpace(kErrorBadDoctype, "Ожидается пробел после SYSTEM или PUBLIC");
    if (isPublic) {
        const std::string_view id = Literal(kErrorBadDoctype, "Открытый идентификатор");
        for (char c : id)
            if (!IsPubidChar(static_cast<unsigned char>(c)))
                Fail(kErrorBadDoctype, "Недопустимый символ в открытом идентификаторе", m_p - 1);
        const bool space = SkipSpace();
        if (publicIdAlone && Peek() != '"' && Peek() != '\'')
            return;
        if (!space)
            Fail(kErrorBadDoctype, "Ожидается пробел перед системным идентификатором", m_p);
    }
    Literal(kErrorBadDoctype, "Системный идентификатор");
}

// The internal subset up to ']'. Entity and attribute-list declarations and
// parameter-entity references are refused: entities are the way to entity bombs
// and external files, and default attribute values would put into elements what
// the reader never sees.
void Scanner::InternalSubset() {
    for (;;) {
        SkipSpace();
        if (m_p >= m_end)
            Fail(kErrorBadDoctype, "Объявление типа документа (DOCTYPE) не закрыто", m_p);
        if (*m_p == ']') {
            ++m_p;
            return;
        }
        if (*m_p == '%')
            Fail(kErrorUndeclaredEntity, "Ссылки на сущности-параметры (%имя;) не допускаются",
                 m_p);
        if (StartsWith("<!--")) {
            Comment();
        } else if (StartsWith("<?")) {
            Pi();
        } else if (StartsWith("<!ENTITY")) {
            Fail(kErrorEntityDeclaration,
                 "Объявления сущностей (<!ENTITY) в документе не допускаются", m_p);
        } else if (StartsWith("<!ATTLIST")) {
            Fail(kErrorAttributeDeclaration,
                 "Объявления атрибутов (<!ATTLIST) в документе не допускаются", m_p);
        } else if (StartsWith("<!ELEMENT")) {
            MarkupDeclaration(9);
        } else if (StartsWith("<!NOTATION")) {
            MarkupDeclaration(10);
        } else {
            Fail(kErrorBadDoctype, "Ошибка в объявлении типа документа (DOCTYPE)", m_p);
        }
    }
}

// An element or notation declaration: keyword S Name S, then a content model
// or an external or public identifier, S? '>'.
void Scanner::MarkupDeclaration(size_t keywordLength) {
    const bool notation = keywordLength == 10;
    m_p += keywordLength;
    RequireSpace(kErrorBadDoctype, "Ошибка в объявлении типа документа (DOCTYPE)");
    if (!AtNameStart())
        Fail(kErrorBadDoctype, "В объявлении нет имени", m_p);
    Name();
    RequireSpace(kErrorBadDoctype, "Ошибка в объявлении типа документа (DOCTYPE)");
    if (notation)
        ExternalId(true);
    else
        ContentSpec();
    SkipSpace();
    if (Peek() != '>')
        Fail(kErrorBadDoctype, "Ошибка в объявлении типа документа (DOCTYPE)", m_p);
    ++m_p;
}

// 'EMPTY' | 'ANY' | '(' S? '#PCDATA' (S? '|' S? Name)* S? ')*' | '(' S? '#PCDATA' S? ')'
// | a group of content particles with its modifier.
void Scanner::ContentSpec() {
    if (StartsWith("EMPTY")) {
        m_p += 5;
        return;
    }
    if (StartsWith("ANY")) {
        m_p += 3;
        return;
    }
    if (Peek() != '(')
        Fail(kErrorBadDoctype, "Ошибка в объявлении элемента (<!ELEMENT)", m_p);
    ++m_p;
    SkipSpace();
    if (!StartsWith("#PCDATA")) {
        Group(1);
        return;
    }
    m_p += 7;
    SkipSpace();
    bool names = false;
    while (Peek() == '|') {
        ++m_p;
        SkipSpace();
        if (!AtNameStart())
            Fail(kErrorBadDoctype, "Ошибка в объявлении элемента (<!ELEMENT)", m_p);
        Name();
        SkipSpace();
        names = true;
    }
    if (Peek() != ')')
        Fail(kErrorBadDoctype, "Ошибка в объявлении элемента (<!ELEMENT)", m_p);
    ++m_p;
    if (Peek() == '*')
        ++m_p;
    else if (names)
        Fail(kErrorBadDoctype, "Ошибка в объявлении элемента (<!ELEMENT)", m_p);
}

// A choice or sequence after its '(' and blanks: content particles joined by
// one kind of separator, ')', a modifier. Nested groups recurse, to a bound.
void Scanner::Group(int depth) {
    if (depth > 100)
        Fail(kErrorTooDeep, "Слишком глубокая вложенность в объявлении элемента", m_p);
    unsigned char separator = 0;
    for (;;) {
        if (Peek() == '(') {
            ++m_p;
            SkipSpace();
            Group(depth + 1);
        } else if (AtNameStart()) {
            Name();
            if (Peek() == '?' || Peek() == '*' || Peek() == '+')
                ++m_p;
        } else {
            Fail(kErrorBadDoctype, "Ошибка в объявлении элемента (<!ELEMENT)", m_p);
        }
        SkipSpace();
        const unsigned char c = Peek();
        if (c == ')')
            break;
        if ((c != '|' && c != ',') || (separator != 0 && c != separator))
            Fail(kErrorBadDoctype, "Ошибка в объявлении элемента (<!ELEMENT)", m_p);
        separator = c;
        ++m_p;
        SkipSpace();
    }
    ++m_p;
    if (Peek() == '?' || Peek() == '*' || Peek() == '+')
        ++m_p;
}

void Scanner::Comment() {
    Byte p = m_p + 4;
    for (;;) {
        if (p >= m_end)
            Fail(kErrorBadComment, "Комментарий не закрыт", p);
        if (*p == '-' && p + 1 < m_end && p[1] == '-') {
            if (p + 2 < m_end && p[2] == '>')
                break;
            Fail(kErrorBadComment, "Два дефиса подряд (--) внутри комментария не допускаются", p);
        }
        p = *p >= 0x20 && *p < 0x80 ? p + 1 : Char(p);
    }
    m_p = p + 3;
}

// '<?' target (S text)? '?>'; the target "xml" in any letter case is reserved.
void Scanner::Pi() {
    Byte start = m_p;
    m_p += 2;
    if (!AtNameStart())
        Fail(kErrorBadPi, "Ошибка в инструкции обработки: нет имени", m_p);
    const std::string_view target = Name();
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
        (target[2] | 0x20) == 'l') {
        if (target == "xml" && start == m_start)
            Fail(kErrorBadPi, "Ошибка в объявлении XML", m_p);
        if (target == "xml")
            Fail(kErrorBadPi, "Объявление XML допускается только в самом начале документа", start);
        Fail(kErrorBadPi, "Имя инструкции обработки " + Quoted(target) + " зарезервировано",
             start + 2);
    }
    if (!StartsWith("?>"))
        RequireSpace(kErrorBadPi, "Ошибка в инструкции обработки");
    Byte p = m_p;
    while (!(p + 1 < m_end && p[0] == '?' && p[1] == '>')) {
        if (p >= m_end)
            Fail(kErrorBadPi, "Инструкция обработки не закрыта", p);
        p = Char(p);
    }
    m_p = p + 2;
}

void Scanner::CData() {
    Byte p = m_p + 9;
    while (!(p + 2 < m_end && p[0] == ']' && p[1] == ']' && p[2] == '>')) {
        if (p >= m_end)
            Fail(kErrorBadCData, "Секция CDATA не закрыта", p);
        p = Char(p);
    }
    m_p = p + 3;
}

// The root element and everything in it, without recursion.
void Scanner::Elements() {
    StartTag();
    while (!m_open.empty()) {
        Byte p = m_p;
        for (;;) {
            p = SkipPlain(p, kTextStop);
            if (p >= m_end)
                Fail(kErrorTagMismatch, "Элемент " + Quoted(m_open.back()) + " не закрыт", p);
            const unsigned char c = *p;
            if (c == '<')
                break;
            if (c == '&') {
                m_p = p;
                Reference();
                p = m_p;
            } else if (c == ']') {
                if (p + 2 < m_end && p[1] == ']' && p[2] == '>')
                    Fail(kErrorBadText, "Последовательность \"]]>\" в тексте не допускается", p);
                ++p;
            } else if (c == '\n' || c == '\r' || c == '\t') {
                ++p;
            } else {
                p = Step(p);
            }
        }
        m_p = p;
        const unsigned char next = Peek(1);
        if (next == '/') {
            EndTag();
        } else if (next == '!') {
            if (StartsWith("<!--"))
                Comment();
            else if (StartsWith("<![CDATA["))
                CData();
            else
                Fail(kErrorBadMarkup, "Непонятная разметка после символа \"<\"", m_p);
        } else if (next == '?') {
            Pi();
        } else {
            StartTag();
        }
    }
}

// A start tag at '<': opens the element unless it is empty ("/>").
void Scanner::StartTag() {
    ++m_p;
    if (!AtNameStart())
        Fail(kErrorBadStartTag, "Недопустимое имя элемента", m_p);
    const std::string_view name = Name();
    if (m_open.size() >= static_cast<size_t>(kMaxDepth))
        Fail(kErrorTooDeep,
             "Превышена допустимая глубина вложенности элементов (" + std::to_string(kMaxDepth) +
                 ")",
             At(name));
    m_attributes.clear();
    for (;;) {
        const bool space = SkipSpace();
        const unsigned char c = Peek();
        if (c == '>') {
            ++m_p;
            m_open.push_back(name);
            return;
        }
        if (c == '/' && Peek(1) == '>') {
            m_p += 2;
            return;
        }
        if (!AtNameStart())
            Fail(kErrorBadStartTag, "Ошибка в открывающем теге элемента " + Quoted(name), m_p);
        if (!space)
            Fail(kErrorBadAttribute, "Атрибуты должны отделяться пробелом", m_p);
        Attribute();
    }
}

void Scanner::Attribute() {
    const std::string_view name = Name();
    for (std::string_view seen : m_attributes)
        if (seen.size() == name.size() && seen[0] == name[0] && seen == name)
            Fail(kErrorDuplicateAttribute, "Атрибут " + Quoted(name) + " повторяется", At(name));
    m_attributes.push_back(name);
    SkipSpace();
    if (Peek() != '=')
        Fail(kErrorBadAttribute, "После имени атрибута " + Quoted(name) + " ожидается \"=\"", m_p);
    ++m_p;
    SkipSpace();
    if (Peek() != '"' && Peek() != '\'')
        Fail(kErrorBadAttribute, "Значение атрибута " + Quoted(name) + " должно быть в кавычках",
             m_p);
    AttributeValue();
}

void Scanner::AttributeValue() {
    const unsigned char quote = *m_p;
    Byte p = m_p + 1;
    for (;;) {
        p = SkipPlain(p, kValueStop);
        if (p >= m_end)
            Fail(kErrorBadAttribute, "Значение атрибута не закрыто кавычкой", p);
        const unsigned char c = *p;
        if (c == quote)
            break;
        if (c == '"' || c == '\'') {
            ++p;
        } else if (c == '<') {
            Fail(kErrorBadAttribute,
                 "Символ \"<\" в значении атрибута не допускается (он пишется &lt;)", p);
        } else if (c == '&') {
            m_p = p;
            Reference();
            p = m_p;
        } else {
            p = Step(p);
        }
    }
    m_p = p + 1;
}

// An end tag at '</': names the innermost open element, then '>'.
void Scanner::EndTag() {
    m_p += 2;
    if (!AtNameStart())
        Fail(kErrorBadEndTag, "Ошибка в закрывающем теге элемента", m_p);
    const std::string_view name = Name();
    if (name != m_open.back())
        Fail(kErrorTagMismatch,
             "Закрывающий тег " + Quoted(name) + " не соответствует открытому элементу " +
                 Quoted(m_open.back()),
             At(name));
    SkipSpace();
    if (Peek() != '>')
        Fail(kErrorBadEndTag, "Ошибка в закрывающем теге элемента " + Quoted(name), m_p);
    ++m_p;
    m_open.pop_back();
}

} // namespace

bool CheckWellFormed(std::string_view text, WellFormedFault& fault) {
    try {
        Scanner(text, fault).Document();
        return true;
    } catch (const Refused&) {
        return false;
    } catch (const std::bad_alloc&) {
        fault.code = kErrorOutOfMemory;
        fault.reason = "Недостаточно памяти для разбора документа";
        fault.offset = 0;
        return false;
    }
}

} // namespace xml
