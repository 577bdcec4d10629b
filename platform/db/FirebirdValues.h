// The input and output messages of a Firebird statement: the layout the layer
// sends and reads (built from what the server describes) and the conversions
// between it and BoundValue/FieldValue. Numbers are converted here, exactly,
// never left to the engine: text and decimals become the column's scaled
// integer (rounding half away from zero when they carry more decimals). Each
// message owns its metadata and buffer.
#pragma once

#include "platform/db/Value.h"

#include <firebird/Interface.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace db {

// One status object for a sequence of calls, disposed on every path. Calls made
// with it throw Firebird::FbException on failure.
class FbStatus {
public:
    explicit FbStatus(Firebird::IMaster* master) : m_wrapper(master->getStatus()) {}
    ~FbStatus() { m_wrapper.dispose(); }
    FbStatus(const FbStatus&) = delete;
    FbStatus& operator=(const FbStatus&) = delete;
    Firebird::ThrowStatusWrapper* get() { return &m_wrapper; }

private:
    Firebird::ThrowStatusWrapper m_wrapper;
};

class InputMessage {
public:
    InputMessage() = default;
    ~InputMessage();
    InputMessage(const InputMessage&) = delete;
    InputMessage& operator=(const InputMessage&) = delete;

    // Takes the server's description of the parameters; `names` label them in
    // error messages. Throws FbException.
    void Describe(Firebird::IMaster* master, Firebird::IMessageMetadata* described,
                  const std::vector<std::string>& names);
    // Converts the values into the buffer, widening text slots when a value is
    // longer (the engine then reports a truncation itself). Throws
    // EDatabaseError naming the parameter for a value that does not convert.
    void Fill(Firebird::IMaster* master, const std::vector<BoundValue>& values);
    // Fills the listed parameters (index, value) as Fill does; every other one
    // is NULL. REQUIRES: each index < the number of parameters, no value Unbound.
    void FillSparse(Firebird::IMaster* master,
                    const std::vector<std::pair<unsigned, const BoundValue*>>& values);
    Firebird::IMessageMetadata* Metadata() const { return m_metadata; }
    unsigned char* Buffer() { return m_buffer.data(); }

private:
    enum class Slot { Scaled, Double, Text };
    struct Param {
        std::string name;
        Slot slot = Slot::Text;
        int decimals = 0;      // Scaled: fraction digits of the column
        unsigned charSet = 4;  // Text
        unsigned capacity = 0; // Text: bytes
        unsigned offset = 0;
        unsigned nullOffset = 0;
    };
    void Build(Firebird::IMaster* master);
    void Put(Param& param, const BoundValue& value, std::string_view asText);
    // The text a value takes in a text slot (kept in `converted` when it had to
    // be made); widens the slot when the text is longer. Answers whether the
    // slot grew.
    bool TextFor(Param& param, const BoundValue& value, std::string& converted,
                 std::string_view& text);

    std::vector<Param> m_params;
    Firebird::IMessageMetadata* m_described = nullptr;
    Firebird::IMessageMetadata* m_metadata = nullptr;
    std::vector<unsigned char> m_buffer;
};

class OutputMessage {
public:
    OutputMessage() = default;
    ~OutputMessage();
    OutputMessage(const OutputMessage&) = delete;
    OutputMessage& operator=(const OutputMessage&) = delete;

    // Takes the server's description of the columns. Throws FbException.
    void Describe(Firebird::IMaster* master, Firebird::IMessageMetadata* described);
    unsigned Count() const { return static_cast<unsigned>(m_columns.size()); }
    unsigned MessageLength() const { return static_cast<unsigned>(m_buffer.size()); }
    const std::vector<std::string>& Names() const { return m_names; }
    Firebird::IMessageMetadata* Metadata() const { return m_metadata; }
    unsigned char* Buffer() { return m_buffer.data(); }
    // Reads the blob columns of the row in the buffer. Throws FbException.
    void ReadBlobs(Firebird::IMaster* master, Firebird::IAttachment* attachment,
                   Firebird::ITransaction* transaction);
    FieldValue Value(unsigned index) const;

private:
    struct Column {
        unsigned type = 0;
        int scale = 0;
        unsigned length = 0;
        unsigned charSet = 0;
        unsigned offset = 0;
        unsigned nullOffset = 0;
        std::string blob; // the text of a blob column of the current row
    };
    std::vector<Column> m_columns;
    std::vector<std::string> m_names;
    Firebird::IMessageMetadata* m_metadata = nullptr;
    std::vector<unsigned char> m_buffer;
};

} // namespace db
