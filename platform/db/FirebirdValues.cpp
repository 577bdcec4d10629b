#include "platform/db/FirebirdValues.h"

#include "platform/text/Exception.h"
#include "platform/text/Strings.h"

#include <cstring>

using namespace Firebird;

namespace db {
namespace {

constexpr unsigned kUtf8 = 4;
constexpr unsigned kMaxVarying = 32765;
constexpr unsigned kOtherAsText = 64; // dates and the like, read or sent as text

// A number from text with the process separator or '.'.
text::Decimal DecimalFromText(const std::string& value) {
    std::string trimmed = text::Trim(value);
    try {
        return text::Decimal::FromText(trimmed, text::DecimalSeparator());
    } catch (const EConvertError&) {
        return text::Decimal::FromText(trimmed, '.');
    }
}

text::Decimal AsDecimal(const BoundValue& value) {
    switch (value.kind) {
    case ParamKind::String:
        return DecimalFromText(value.text);
    case ParamKind::Integer:
        return text::Decimal::FromText(std::to_string(value.integer));
    case ParamKind::Fixed4:
        return text::Decimal::FromText(text::Fixed4ToString(value.integer));
    case ParamKind::Decimal:
        return value.decimal;
    default:
        return text::Decimal();
    }
}

void Release(IMessageMetadata*& metadata) {
    if (metadata)
        metadata->release();
    metadata = nullptr;
}

} // namespace

InputMessage::~InputMessage() {
    Release(m_metadata);
    Release(m_described);
}

void InputMessage::Describe(IMaster* master, IMessageMetadata* described,
                            const std::vector<std::string>& names) {
    FbStatus status(master);
    described->addRef();
    m_described = described;
    unsigned count = described->getCount(status.get());
    m_params.resize(count);
    for (unsigned i = 0; i < count; ++i) {
        Param& param = m_params[i];
        param.name = i < names.size() ? names[i] : std::to_string(i + 1);
        unsigned type = described->getType(status.get(), i);
        switch (type) {
        case SQL_SHORT:
        case SQL_LONG:
        case SQL_INT64:
            param.slot = Slot::Scaled;
            param.decimals = -described->getScale(status.get(), i);
            break;
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
            param.slot = Slot::Double;
            break;
        case SQL_TEXT:
        case SQL_VARYING:
            param.charSet = described->getCharSet(status.get(), i);
            param.capacity = std::max(1u, described->getLength(status.get(), i));
            break;
        default: // blobs, dates, booleans: sent as text, the engine converts
            param.capacity = kOtherAsText;
            break;
        }
    }
    Build(master);
}

void InputMessage::Build(IMaster* master) {
    FbStatus status(master);
    IMetadataBuilder* builder = m_described->getBuilder(status.get());
    try {
        for (unsigned i = 0; i < m_params.size(); ++i) {
            const Param& param = m_params[i];
            if (param.slot == Slot::Scaled) {
                builder->setType(status.get(), i, SQL_INT64);
                builder->setLength(status.get(), i, sizeof(int64_t));
                builder->setScale(status.get(), i, -param.decimals);
            } else if (param.slot == Slot::Double) {
                builder->setType(status.get(), i, SQL_DOUBLE);
                builder->setLength(status.get(), i, sizeof(double));
            } else {
                builder->setType(status.get(), i, SQL_VARYING);
                builder->setCharSet(status.get(), i, param.charSet);
                builder->setLength(status.get(), i, param.capacity);
            }
        }
        Release(m_metadata);
        m_metadata = builder->getMetadata(status.get());
        builder->release();
    } catch (...) {
        builder->release();
        throw;
    }
    m_buffer.assign(m_metadata->getMessageLength(status.get()), 0);
    for (unsigned i = 0; i < m_params.size(); ++i) {
        m_params[i].offset = m_metadata->getOffset(status.get(), i);
        m_params[i].nullOffset = m_metadata->getNullOffset(status.get(), i);
    }
}

void InputMessage::Fill(IMaster* master, const std::vector<BoundValue>& values) {
    if (values.size() != m_params.size())
        throw EDatabaseError("Число параметров (" + std::to_string(values.size()) +
                             ") не совпадает с описанием оператора (" +
                             std::to_string(m_params.size()) + ")");
    // The text of each value for a text slot (`converted` never reallocates).
    std::vector<std::string> converted(values.size());
    std::vector<std::string_view> texts(values.size());
    bool grow = false;
    for (size_t i = 0; i < values.size(); ++i)
        grow = TextFor(m_params[i], values[i], converted[i], texts[i]) || grow;
    if (grow)
        Build(master);
    for (size_t i = 0; i < values.size(); ++i)
        Put(m_params[i], values[i], texts[i]);
}

void InputMessage::FillSparse(IMaster* master,
                              const std::vector<std::pair<unsigned, const BoundValue*>>& values) {
    std::vector<std::string> converted(values.size());
    std::vector<std::string_view> texts(values.size());
    bool grow = false;
    for (size_t i = 0; i < values.size(); ++i)
        grow =
            TextFor(m_params[values[i].first], *values[i].second, converted[i], texts[i]) || grow;
    if (grow)
        Build(master);
    const int16_t null = -1;
    for (const Param& param : m_params)
        std::memcpy(m_buffer.data() + param.nullOffset, &null, sizeof null);
    for (size_t i = 0; i < values.size(); ++i)
        Put(m_params[values[i].first], *values[i].second, texts[i]);
}

bool InputMessage::TextFor(Param& param, const BoundValue& value, std::string& converted,
                           std::string_view& text) {
    if (param.slot != Slot::Text || value.kind == ParamKind::Null)
        return false;
    if (value.kind == ParamKind::String) {
        text = value.text;
    } else {
        converted = value.ToText();
        text = converted;
    }
    if (text.size() <= param.capacity || param.capacity >= kMaxVarying)
        return false;
    param.capacity = static_cast<unsigned>(
        std::min<size_t>(kMaxVarying, std::max<size_t>(text.size(), param.capacity * 2)));
    return true;
}

void InputMessage::Put(Param& param, const BoundValue& value, std::string_view asText) {
    unsigned char* data = m_buffer.data() + param.offset;
    int16_t null = value.kind == ParamKind::Null ? -1 : 0;
    std::memcpy(m_buffer.data() + param.nullOffset, &null, sizeof null);
    if (null)
        return;
    try {
        if (param.slot == Slot::Scaled) {
            int64_t scaled = AsDecimal(value).Scaled(param.decimals);
            std::memcpy(data, &scaled, sizeof scaled);
        } else if (param.slot == Slot::Double) {
            double real = AsDecimal(value).ToDouble();
            std::memcpy(data, &real, sizeof real);
        } else {
            size_t size = std::min<size_t>(asText.size(), param.capacity);
            uint16_t length = static_cast<uint16_t>(size);
            std::memcpy(data, &length, sizeof length);
            std::memcpy(data + sizeof length, asText.data(), size);
        }
    } catch (const EConvertError& e) {
        throw EDatabaseError("Параметр \"" + param.name + "\": " + e.Message());
    }
}

OutputMessage::~OutputMessage() {
    Release(m_metadata);
}

void OutputMessage::Describe(IMaster* master, IMessageMetadata* described) {
    FbStatus status(master);
    unsigned count = described->getCount(status.get());
    m_columns.resize(count);
    IMetadataBuilder* builder = described->getBuilder(status.get());
    try {
        for (unsigned i = 0; i < count; ++i) {
            Column& column = m_columns[i];
            m_names.push_back(text::UpperAscii(described->getAlias(status.get(), i)));
            column.type = described->getType(status.get(), i);
            column.scale = described->getScale(status.get(), i);
            column.charSet = described->getCharSet(status.get(), i);
            switch (column.type) {
            case SQL_SHORT:
            case SQL_LONG:
            case SQL_INT64:
                column.type = SQL_INT64;
                builder->setType(status.get(), i, SQL_INT64);
                builder->setLength(status.get(), i, sizeof(int64_t));
                builder->setScale(status.get(), i, column.scale);
                break;
            case SQL_FLOAT:
            case SQL_DOUBLE:
            case SQL_D_FLOAT:
                column.type = SQL_DOUBLE;
                builder->setType(status.get(), i, SQL_DOUBLE);
                builder->setLength(status.get(), i, sizeof(double));
                break;
            case SQL_TEXT:
            case SQL_VARYING:
            case SQL_BLOB:
                break;
            default:
                column.type = SQL_VARYING;
                column.charSet = kUtf8;
                builder->setType(status.get(), i, SQL_VARYING);
                builder->setCharSet(status.get(), i, kUtf8);
                builder->setLength(status.get(), i, kOtherAsText);
                break;
            }
        }
        m_metadata = builder->getMetadata(status.get());
        builder->release();
    } catch (...) {
        builder->release();
        throw;
    }
    m_buffer.assign(m_metadata->getMessageLength(status.get()), 0);
    for (unsigned i = 0; i < count; ++i) {
        m_columns[i].offset = m_metadata->getOffset(status.get(), i);
        m_columns[i].nullOffset = m_metadata->getNullOffset(status.get(), i);
        m_columns[i].length = m_metadata->getLength(status.get(), i);
    }
}

void OutputMessage::ReadBlobs(IMaster* master, IAttachment* attachment, ITransaction* transaction) {
    for (Column& column : m_columns) {
        column.blob.clear();
        int16_t null = 0;
        std::memcpy(&null, m_buffer.data() + column.nullOffset, sizeof null);
        if (column.type != SQL_BLOB || null)
            continue;
        FbStatus status(master);
        ISC_QUAD id;
        std::memcpy(&id, m_buffer.data() + column.offset, sizeof id);
        IBlob* blob = attachment->openBlob(status.get(), transaction, &id, 0, nullptr);
        try {
            char chunk[16384];
            unsigned got = 0;
            while (true) {
                int result = blob->getSegment(status.get(), sizeof chunk, chunk, &got);
                if (result != IStatus::RESULT_OK && result != IStatus::RESULT_SEGMENT)
                    break;
                column.blob.append(chunk, got);
            }
            blob->close(status.get());
        } catch (...) {
            blob->release();
            throw;
        }
    }
}

FieldValue OutputMessage::Value(unsigned index) const {
    const Column& column = m_columns.at(index);
    const unsigned char* data = m_buffer.data() + column.offset;
    int16_t null = 0;
    std::memcpy(&null, m_buffer.data() + column.nullOffset, sizeof null);
    if (null)
        return FieldValue::Null();
    switch (column.type) {
    case SQL_INT64: {
        int64_t value = 0;
        std::memcpy(&value, data, sizeof value);
        return FieldValue::Scaled(value, -column.scale);
    }
    case SQL_DOUBLE: {
        double value = 0;
        std::memcpy(&value, data, sizeof value);
        return FieldValue::Double(value);
    }
    case SQL_TEXT: {
        std::string_view padded(reinterpret_cast<const char*>(data), column.length);
        if (column.charSet == kUtf8) {
            // CHAR(n) arrives as n characters padded with blanks to 4n bytes.
            size_t chars = column.length / 4;
            size_t end = 0;
            for (size_t seen = 0; end < padded.size() && seen < chars; ++seen) {
                ++end;
                while (end < padded.size() &&
                       (static_cast<unsigned char>(padded[end]) & 0xC0) == 0x80)
                    ++end;
            }
            padded = padded.substr(0, end);
        }
        return FieldValue::String(std::string(padded));
    }
    case SQL_VARYING: {
        uint16_t length = 0;
        std::memcpy(&length, data, sizeof length);
        return FieldValue::String(std::string(reinterpret_cast<const char*>(data) + 2, length));
    }
    case SQL_BLOB:
        return FieldValue::String(column.blob);
    default:
        return FieldValue::Null();
    }
}

} // namespace db
