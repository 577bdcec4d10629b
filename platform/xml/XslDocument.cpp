#include "platform/xml/XslDocument.h"

#include "platform/text/Encoding.h"
#include "platform/text/Exception.h"
#include "platform/text/StringList.h"
#include "platform/text/Strings.h"

#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <vector>

namespace xml {
namespace {

// No DTD loading, no entity substitution, no network; blank text dropped as
// the DOM of the framework drops it.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOBLANKS;

void InitOnce() {
    static const bool initialized = [] {
        xmlInitParser();
        xmlSubstituteEntitiesDefault(0);
        xmlLoadExtDtdDefaultValue = 0;
        return true;
    }();
    (void)initialized;
}

// Catches what libxml2 and libxslt report while it lives instead of letting
// them print to stderr.
class ErrorCollector {
public:
    ErrorCollector()
        : m_previousHandler(xmlStructuredError), m_previousContext(xmlStructuredErrorContext) {
        xmlSetStructuredErrorFunc(this, &ErrorCollector::OnError);
        xmlSetGenericErrorFunc(this, &ErrorCollector::OnGeneric);
        xsltSetGenericErrorFunc(this, &ErrorCollector::OnGeneric);
    }
    ~ErrorCollector() {
        xmlSetStructuredErrorFunc(m_previousContext, m_previousHandler);
        xmlSetGenericErrorFunc(nullptr, nullptr);
        xsltSetGenericErrorFunc(nullptr, nullptr);
    }
    ErrorCollector(const ErrorCollector&) = delete;
    ErrorCollector& operator=(const ErrorCollector&) = delete;

    std::string Messages() const {
        std::string all;
        for (const std::string& message : m_messages)
            all += (all.empty() ? "" : "; ") + message;
        return all + (m_partial.empty() ? "" : (all.empty() ? "" : "; ") + text::Trim(m_partial));
    }

    // The first fatal error (a well-formedness fault), else the first error;
    // the one a user should fix first. Null if none.
    const xmlError* First() const { return m_hasFirst ? &m_first : nullptr; }
    const std::string& FirstMessage() const { return m_firstMessage; }

private:
    static void OnError(void* self, xmlErrorPtr error) {
        auto* collector = static_cast<ErrorCollector*>(self);
        if (!error)
            return;
        if (error->message)
            collector->m_messages.push_back(text::Trim(error->message));
        bool better = !collector->m_hasFirst ||
                      (error->level == XML_ERR_FATAL && collector->m_first.level != XML_ERR_FATAL);
        if (error->level >= XML_ERR_ERROR && better) {
            collector->m_hasFirst = true;
            collector->m_first = *error;
            collector->m_firstMessage = error->message ? text::Trim(error->message) : "";
            collector->m_first.message = nullptr; // owned by libxml2; copied above
            collector->m_first.file = nullptr;
        }
    }
    static void OnGeneric(void* self, const char* format, ...) {
        char buffer[1024];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        auto* collector = static_cast<ErrorCollector*>(self);
        collector->m_partial += buffer;
        size_t end;
        while ((end = collector->m_partial.find('\n')) != std::string::npos) {
            std::string line = text::Trim(collector->m_partial.substr(0, end));
            if (!line.empty())
                collector->m_messages.push_back(line);
            collector->m_partial.erase(0, end + 1);
        }
    }

    xmlStructuredErrorFunc m_previousHandler;
    void* m_previousContext;
    std::vector<std::string> m_messages;
    std::string m_partial;
    bool m_hasFirst = false;
    xmlError m_first{};
    std::string m_firstMessage;
};

std::string LineOf(std::string_view text, int line) {
    text::StringList lines;
    lines.SetText(text);
    if (line < 1 || line > lines.Count())
        return "";
    return lines[line - 1];
}

void FillFromFirstError(const ErrorCollector& collector, xmlParserCtxtPtr context,
                        std::string_view text, ParseError& error) {
    const xmlError* first = collector.First();
    const xmlError* last = xmlCtxtGetLastError(context);
    const xmlError* chosen = first ? first : last;
    error.errorCode = chosen && chosen->code != 0 ? chosen->code : XML_ERR_INTERNAL_ERROR;
    error.reason = first                   ? collector.FirstMessage()
                   : last && last->message ? text::Trim(last->message)
                                           : "Ошибка разбора документа";
    error.line = chosen ? chosen->line : 0;
    error.linepos = chosen ? chosen->int2 : 0;
    error.srcText = LineOf(text, error.line);
}

bool IsUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t length = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + length > s.size())
            return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

struct ContextDeleter {
    void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};

} // namespace

XslDocument::~XslDocument() {
    Reset();
}

void XslDocument::Reset() {
    if (m_doc)
        xmlFreeDoc(m_doc);
    m_doc = nullptr;
    m_parseError = ParseError();
}

bool XslDocument::LoadXML(std::string_view text) {
    InitOnce();
    Reset();
    ErrorCollector collector;
    std::unique_ptr<xmlParserCtxt, ContextDeleter> context(xmlNewParserCtxt());
    if (!context)
        throw Exception("Ошибка XML: не удалось создать разборщик");
    m_doc = xmlCtxtReadMemory(context.get(), text.data(), static_cast<int>(text.size()), nullptr,
                              "UTF-8", kParseOptions | XML_PARSE_IGNORE_ENC);
    if (!m_doc)
        FillFromFirstError(collector, context.get(), text, m_parseError);
    return m_doc != nullptr;
}

bool XslDocument::Load(const std::string& path) {
    InitOnce();
    Reset();
    std::string bytes;
    try {
        bytes = text::ReadFileBytes(path);
    } catch (const Exception& e) {
        m_parseError.errorCode = XML_IO_LOAD_ERROR;
        m_parseError.url = path;
        m_parseError.reason = e.Message();
        return false;
    }
    ErrorCollector collector;
    std::unique_ptr<xmlParserCtxt, ContextDeleter> context(xmlNewParserCtxt());
    if (!context)
        throw Exception("Ошибка XML: не удалось создать разборщик");
    // The path is the base for xsl:include and xsl:import.
    m_doc = xmlCtxtReadMemory(context.get(), bytes.data(), static_cast<int>(bytes.size()),
                              path.c_str(), nullptr, kParseOptions);
    if (!m_doc) {
        FillFromFirstError(collector, context.get(), bytes, m_parseError);
        m_parseError.url = path;
        // A stylesheet kept in windows-1251 shows its line in that encoding.
        if (!IsUtf8(m_parseError.srcText))
            m_parseError.srcText = text::Cp1251ToUtf8(m_parseError.srcText);
    }
    return m_doc != nullptr;
}

std::string TransformXsl(const XslDocument& data, const XslDocument& stylesheet) {
    InitOnce();
    if (!data.m_doc || !stylesheet.m_doc)
        throw Exception("Ошибка XSL: документ не загружен");
    ErrorCollector collector;
    // The compiled stylesheet takes its tree over; it gets a copy.
    xmlDocPtr styleCopy = xmlCopyDoc(stylesheet.m_doc, 1);
    std::unique_ptr<xsltStylesheet, void (*)(xsltStylesheetPtr)> style(
        styleCopy ? xsltParseStylesheetDoc(styleCopy) : nullptr, &xsltFreeStylesheet);
    if (!style) {
        if (styleCopy)
            xmlFreeDoc(styleCopy);
        throw Exception("Ошибка XSL: таблица стилей не годится для преобразования: " +
                        collector.Messages());
    }
    std::unique_ptr<xsltSecurityPrefs, void (*)(xsltSecurityPrefsPtr)> prefs(
        xsltNewSecurityPrefs(), &xsltFreeSecurityPrefs);
    std::unique_ptr<xsltTransformContext, void (*)(xsltTransformContextPtr)> context(
        xsltNewTransformContext(style.get(), data.m_doc), &xsltFreeTransformContext);
    if (!prefs || !context)
        throw Exception("Ошибка XSL: не удалось начать преобразование");
    for (xsltSecurityOption option : {XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY,
                                      XSLT_SECPREF_READ_NETWORK, XSLT_SECPREF_WRITE_NETWORK})
        xsltSetSecurityPrefs(prefs.get(), option, xsltSecurityForbid);
    xsltSetCtxtSecurityPrefs(prefs.get(), context.get());

    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> result(
        xsltApplyStylesheetUser(style.get(), data.m_doc, nullptr, nullptr, nullptr, context.get()),
        &xmlFreeDoc);
    if (!result || context->state == XSLT_STATE_ERROR || context->state == XSLT_STATE_STOPPED)
        throw Exception("Ошибка XSL: преобразование не удалось: " + collector.Messages());

    // No encoder: the bytes stay UTF-8 whatever encoding the stylesheet names.
    xmlOutputBufferPtr out = xmlAllocOutputBuffer(nullptr);
    if (!out)
        throw Exception("Ошибка XSL: не удалось записать результат");
    xsltSaveResultTo(out, result.get(), style.get());
    std::string text(reinterpret_cast<const char*>(xmlOutputBufferGetContent(out)),
                     xmlOutputBufferGetSize(out));
    xmlOutputBufferClose(out);
    return text;
}

} // namespace xml
