#include "platform/db/FirebirdGroups.h"

#include "platform/db/FirebirdSupport.h"
#include "platform/db/FirebirdValues.h"
#include "platform/db/SqlText.h"
#include "platform/text/Strings.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

using namespace Firebird;

namespace db {
namespace {

constexpr unsigned kMaxContexts = 255; // table contexts of one block, numbered from 0
constexpr unsigned kMaxWriteSlots = 64;
constexpr unsigned kMaxSelectSlots = 64;
// A write block with fewer slots than this is built for the group's own texts.
constexpr unsigned kFewSlots = 8;

// The line (counted from 1) of the last "At block line: N" the status names,
// 0 when it names none.
unsigned FailedBlockLine(const IStatus* status) {
    unsigned line = 0;
    const intptr_t* item = status->getErrors();
    while (*item != isc_arg_end) {
        const intptr_t* next = item + (item[0] == isc_arg_cstring ? 3 : 2);
        if (item[0] == isc_arg_gds && item[1] == isc_stack_trace && next[0] == isc_arg_string) {
            const std::string places = reinterpret_cast<const char*>(next[1]);
            const std::string mark = "At block line: ";
            for (size_t at = places.find(mark); at != std::string::npos;
                 at = places.find(mark, at + 1))
                line = static_cast<unsigned>(
                    std::strtoul(places.c_str() + at + mark.size(), nullptr, 10));
        }
        item = next;
    }
    return line;
}

size_t LinesOf(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

} // namespace

// A statement text as it stands inside blocks.
struct FirebirdGroups::Template {
    std::string sql; // the original, for messages
    std::string positional;
    std::vector<size_t> marks; // offsets of the parameter marks in `positional`
    std::vector<std::string> names;
    std::vector<std::string> inputTypes;
    std::vector<std::string> laneTypes; // the lane each parameter takes in a write block
    std::vector<std::string> outputTypes;
    std::vector<std::string> outputNames; // upper case
    unsigned contexts = 1;
    bool writes = false;  // an insert, update or delete without a result
    bool selects = false; // a select whose columns all have a type
    bool typed = false;   // every parameter has a type a block can declare

    // The text with its i-th parameter written ":<name(i)>".
    std::string Renamed(const std::function<std::string(size_t)>& name) const {
        std::string out;
        size_t from = 0;
        for (size_t i = 0; i < marks.size(); ++i) {
            out.append(positional, from, marks[i] - from);
            out += ":" + name(i);
            from = marks[i] + 1;
        }
        out.append(positional, from, std::string::npos);
        while (!out.empty() && (static_cast<unsigned char>(out.back()) <= ' ' || out.back() == ';'))
            out.pop_back();
        return out;
    }
};

// Slots of statements: slot j runs the text whose number (from 1) its kind
// parameter K<j> holds. A slot's values travel in lanes L<j>_<l> that every
// text of the block shares: a lane has a type wide enough for the parameters
// that take it (texts of a similar length, integers, numbers of one scale), so
// a slot carries as many parameters as the widest text needs, not the sum of
// all; the engine's work per slot grows with its parameters.
struct FirebirdGroups::WriteBlock {
    std::vector<const Template*> templates;
    std::map<const Template*, unsigned> number; // position in `templates`
    std::vector<std::string> lanes;             // the type of each lane of a slot
    std::vector<std::vector<unsigned>> laneOf;  // per text, per parameter: its lane
    unsigned width = 1;                         // parameters per slot
    unsigned slots = 0;
    IStatement* statement = nullptr;
    InputMessage input;
    struct Place {
        unsigned line, slot, text;
    };
    std::vector<Place> places; // where each slot's text starts, in line order
    unsigned lastLine = 0;     // of the last slot's statement

    ~WriteBlock() { FreeStatement(statement); }
    bool Holds(const Template* text) const { return number.count(text) != 0; }
    // The slot whose statement is on the line; nullopt for the other lines.
    std::optional<unsigned> SlotAt(unsigned line) const {
        if (places.empty() || line < places.front().line || line > lastLine)
            return std::nullopt;
        unsigned slot = 0;
        for (const Place& place : places)
            if (place.line <= line)
                slot = place.slot;
        return slot;
    }
};

// One select text in every slot: slot j runs it with P<j>_<i> when N_ > j, its
// rows returned with SET_ = j.
struct FirebirdGroups::SelectBlock {
    unsigned slots = 0;
    IStatement* statement = nullptr;
    InputMessage input;
    OutputMessage output;
    ~SelectBlock() { FreeStatement(statement); }
};

FirebirdGroups::FirebirdGroups(IAttachment* attachment, int64_t* roundTrips, int lockTimeout)
    : m_attachment(attachment), m_roundTrips(roundTrips), m_lockTimeout(lockTimeout) {}

FirebirdGroups::~FirebirdGroups() = default;

void FirebirdGroups::Forget() {
    m_writeBlocks.clear();
    m_selectBlocks.clear();
    m_templates.clear();
}

void FirebirdGroups::LoadCharacterSets(ITransaction* transaction) {
    FirebirdStatus status;
    const char* sql = "select rdb$character_set_id, rdb$character_set_name, "
                      "rdb$bytes_per_character from rdb$character_sets";
    IStatement* statement = m_attachment->prepare(status.get(), transaction, 0, sql, SQL_DIALECT_V6,
                                                  IStatement::PREPARE_PREFETCH_METADATA);
    ++*m_roundTrips;
    OutputMessage output;
    IResultSet* cursor = nullptr;
    try {
        IMessageMetadata* described = statement->getOutputMetadata(status.get());
        output.Describe(FirebirdMaster(), described);
        described->release();
        cursor = statement->openCursor(status.get(), transaction, nullptr, nullptr,
                                       output.Metadata(), 0);
        ++*m_roundTrips;
        while (cursor->fetchNext(status.get(), output.Buffer()) == IStatus::RESULT_OK)
            m_characterSets[static_cast<unsigned>(output.Value(0).AsInteger())] = {
                text::Trim(output.Value(1).AsString()),
                static_cast<unsigned>(std::max<int64_t>(1, output.Value(2).AsInteger()))};
        cursor->close(status.get());
    } catch (...) {
        if (cursor)
            cursor->release();
        FreeStatement(statement);
        throw;
    }
    FreeStatement(statement);
}

// A lane (`lane`) is wider than the parameter but keeps what decides the value
// the statement receives: texts of up to 64 or 1000 characters share a lane of
// that length (a longer value fails at the statement as it fails at the
// parameter), integers share BIGINT, numbers with decimals NUMERIC(18) of
// their scale (values are brought to the scale before they travel).
std::string FirebirdGroups::TypeOf(IMessageMetadata* metadata, unsigned index,
                                   ITransaction* transaction, bool lane) {
    FirebirdStatus status;
    const unsigned type = metadata->getType(status.get(), index);
    const int scale = metadata->getScale(status.get(), index);
    const auto numeric = [scale, lane](const char* whole, int digits) {
        if (scale == 0)
            return std::string(lane ? "BIGINT" : whole);
        return "NUMERIC(" + std::to_string(lane ? 18 : digits) + "," + std::to_string(-scale) + ")";
    };
    const auto characters = [&](const char* kind) -> std::string {
        const unsigned set = metadata->getCharSet(status.get(), index) & 0xFF;
        if (m_characterSets.empty())
            LoadCharacterSets(transaction);
        auto found = m_characterSets.find(set);
        if (found == m_characterSets.end())
            return "";
        unsigned length =
            std::max(1u, metadata->getLength(status.get(), index) / found->second.second);
        if (lane)
            length = length <= 64 ? 64 : length <= 1000 ? 1000 : length;
        return std::string(lane ? "VARCHAR" : kind) + "(" + std::to_string(length) +
               ") CHARACTER SET " + found->second.first;
    };
    switch (type) {
    case SQL_VARYING:
        return characters("VARCHAR");
    case SQL_TEXT:
        return characters("CHAR");
    case SQL_SHORT:
        return numeric("SMALLINT", 4);
    case SQL_LONG:
        return numeric("INTEGER", 9);
    case SQL_INT64:
        return numeric("BIGINT", 18);
    case SQL_FLOAT:
        return "FLOAT";
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return "DOUBLE PRECISION";
    case SQL_TIMESTAMP:
        return "TIMESTAMP";
    case SQL_TYPE_DATE:
        return "DATE";
    case SQL_TYPE_TIME:
        return "TIME";
    case SQL_BOOLEAN:
        return "BOOLEAN";
    case SQL_BLOB:
        return metadata->getSubType(status.get(), index) == 1 ? "BLOB SUB_TYPE TEXT"
                                                              : "BLOB SUB_TYPE BINARY";
    default:
        return "";
    }
}

FirebirdGroups::Template& FirebirdGroups::Describe(const ParsedSql& sql,
                                                   ITransaction* transaction) {
    auto found = m_templates.find(sql.original);
    if (found != m_templates.end())
        return *found->second;
    auto text = std::make_unique<Template>();
    text->sql = sql.original;
    text->positional = sql.positional;
    text->marks = ParameterMarks(sql.positional);
    text->names = sql.names;
    FirebirdStatus status;
    IStatement* statement = nullptr;
    try {
        statement = m_attachment->prepare(status.get(), transaction, 0, sql.positional.c_str(),
                                          SQL_DIALECT_V6, IStatement::PREPARE_PREFETCH_METADATA);
        ++*m_roundTrips;
        const unsigned type = statement->getType(status.get());
        IMessageMetadata* in = statement->getInputMetadata(status.get());
        IMessageMetadata* out = statement->getOutputMetadata(status.get());
        const unsigned inputs = in->getCount(status.get());
        const unsigned outputs = out->getCount(status.get());
        text->typed = inputs == text->marks.size() && inputs == text->names.size();
        for (unsigned i = 0; text->typed && i < inputs; ++i) {
            text->inputTypes.push_back(TypeOf(in, i, transaction, false));
            text->laneTypes.push_back(TypeOf(in, i, transaction, true));
            text->typed = !text->inputTypes.back().empty();
        }
        bool columnsTyped = outputs > 0;
        for (unsigned i = 0; columnsTyped && i < outputs; ++i) {
            text->outputTypes.push_back(TypeOf(out, i, transaction, false));
            text->outputNames.push_back(text::UpperAscii(out->getAlias(status.get(), i)));
            columnsTyped = !text->outputTypes.back().empty();
        }
        in->release();
        out->release();
        text->writes = text->typed && outputs == 0 &&
                       (type == isc_info_sql_stmt_insert || type == isc_info_sql_stmt_update ||
                        type == isc_info_sql_stmt_delete);
        text->selects = text->typed && columnsTyped && type == isc_info_sql_stmt_select;
        // Table contexts: each table or procedure a statement names takes one,
        // the target of an update two.
        text->contexts = static_cast<unsigned>(std::max<size_t>(
            1, CountWord(sql.positional, "from") + CountWord(sql.positional, "join") +
                   CountWord(sql.positional, "into") + 2 * CountWord(sql.positional, "update")));
    } catch (const FbException& e) {
        FreeStatement(statement);
        throw EDatabaseError(StatementError(e.getStatus(), sql.original, m_lockTimeout));
    }
    FreeStatement(statement);
    Template& result = *text;
    m_templates[sql.original] = std::move(text);
    return result;
}

bool FirebirdGroups::CanGroup(const ParsedSql& sql, ITransaction* transaction) {
    return Describe(sql, transaction).writes;
}

IStatement* FirebirdGroups::PrepareBlock(const std::function<std::string(unsigned)>& text,
                                         unsigned& slots, ITransaction* transaction) {
    while (slots > 0) {
        FirebirdStatus status;
        try {
            IStatement* statement =
                m_attachment->prepare(status.get(), transaction, 0, text(slots).c_str(),
                                      SQL_DIALECT_V6, IStatement::PREPARE_PREFETCH_METADATA);
            ++*m_roundTrips;
            return statement;
        } catch (const FbException& e) {
            ++*m_roundTrips;
            if (!HasCode(e.getStatus(), isc_too_many_contexts))
                throw;
            slots /= 2;
        }
    }
    return nullptr;
}

FirebirdGroups::WriteBlock&
FirebirdGroups::WriteBlockFor(const std::vector<const Template*>& needed,
                              ITransaction* transaction) {
    for (size_t b = 0; b < m_writeBlocks.size(); ++b) {
        bool holds = std::all_of(needed.begin(), needed.end(), [&](const Template* text) {
            return m_writeBlocks[b]->Holds(text);
        });
        if (holds) {
            std::rotate(m_writeBlocks.begin(), m_writeBlocks.begin() + static_cast<long>(b),
                        m_writeBlocks.begin() + static_cast<long>(b) + 1);
            return *m_writeBlocks.front();
        }
    }
    // A new block knows every text that may travel in one, so that later groups
    // find it ready; with too many of them, only the texts of this group.
    std::vector<const Template*> texts;
    unsigned contexts = 0;
    for (const auto& [sql, text] : m_templates)
        if (text->writes) {
            texts.push_back(text.get());
            contexts += text->contexts;
        }
    if (kMaxContexts / std::max(1u, contexts) < kFewSlots) {
        texts = needed;
        contexts = 0;
        for (const Template* text : texts)
            contexts += text->contexts;
    }
    auto block = std::make_unique<WriteBlock>();
    block->templates = texts;
    // The lanes of a slot: of each lane type as many as the text that needs
    // most of them.
    std::map<std::string, unsigned> most;
    for (const Template* text : texts) {
        std::map<std::string, unsigned> own;
        for (const std::string& lane : text->laneTypes)
            most[lane] = std::max(most[lane], ++own[lane]);
    }
    std::map<std::string, unsigned> first;
    for (const auto& [lane, count] : most) {
        first[lane] = static_cast<unsigned>(block->lanes.size());
        block->lanes.insert(block->lanes.end(), count, lane);
    }
    block->width = 1 + static_cast<unsigned>(block->lanes.size());
    for (unsigned t = 0; t < texts.size(); ++t) {
        block->number[texts[t]] = t;
        std::map<std::string, unsigned> taken;
        block->laneOf.emplace_back();
        for (const std::string& lane : texts[t]->laneTypes)
            block->laneOf.back().push_back(first[lane] + taken[lane]++);
    }
    std::vector<std::string> names;
    const auto build = [&](unsigned slots) {
        std::string header = "EXECUTE BLOCK (";
        std::string body = "AS BEGIN\n";
        names.clear();
        block->places.clear();
        unsigned line = 3;
        for (unsigned j = 0; j < slots; ++j) {
            const std::string slot = std::to_string(j);
            header += (j ? ", K" : "K") + slot + " SMALLINT = ?";
            names.push_back("K" + slot);
            for (size_t l = 0; l < block->lanes.size(); ++l) {
                names.push_back("L" + slot + "_" + std::to_string(l));
                header += ", " + names.back() + " " + block->lanes[l] + " = ?";
            }
            for (unsigned t = 0; t < texts.size(); ++t) {
                const std::vector<unsigned>& lanes = block->laneOf[t];
                const std::string statement =
                    "IF (:K" + slot + " = " + std::to_string(t + 1) + ") THEN " +
                    texts[t]->Renamed(
                        [&](size_t i) { return "L" + slot + "_" + std::to_string(lanes[i]); }) +
                    ";\n";
                block->places.push_back({line, j, t});
                line += static_cast<unsigned>(LinesOf(statement) - 1);
                body += statement;
            }
        }
        block->lastLine = line - 1;
        return header + ")\n" + body + "END";
    };
    block->slots = std::min(kMaxWriteSlots, kMaxContexts / std::max(1u, contexts));
    block->statement = PrepareBlock(build, block->slots, transaction);
    if (!block->statement)
        throw EDatabaseError("операторы не помещаются в блок");
    FirebirdStatus status;
    IMessageMetadata* in = block->statement->getInputMetadata(status.get());
    block->input.Describe(FirebirdMaster(), in, names);
    in->release();
    m_writeBlocks.insert(m_writeBlocks.begin(), std::move(block));
    if (m_writeBlocks.size() > 4)
        m_writeBlocks.pop_back();
    return *m_writeBlocks.front();
}

void FirebirdGroups::Execute(const std::vector<GroupedStatement>& statements,
                             ITransaction* transaction) {
    std::vector<const Template*> templates;
    std::vector<const Template*> needed;
    std::set<const Template*> seen;
    try {
        for (const GroupedStatement& statement : statements) {
            const Template& text = Describe(*statement.sql, transaction);
            templates.push_back(&text);
            if (seen.insert(&text).second)
                needed.push_back(&text);
        }
    } catch (const EDatabaseError& e) {
        throw EGroupFailed(e.Message(), 0, statements.size());
    }
    WriteBlock* block = nullptr;
    try {
        block = &WriteBlockFor(needed, transaction);
    } catch (const FbException& e) {
        throw EGroupFailed(StatementError(e.getStatus(), "", m_lockTimeout), 0, statements.size());
    } catch (const EDatabaseError& e) {
        throw EGroupFailed(e.Message(), 0, statements.size());
    }
    for (size_t start = 0; start < statements.size(); start += block->slots)
        RunWrites(*block, statements, templates, start,
                  std::min<size_t>(block->slots, statements.size() - start), transaction);
}

void FirebirdGroups::RunWrites(WriteBlock& block, const std::vector<GroupedStatement>& statements,
                               const std::vector<const Template*>& templates, size_t start,
                               size_t count, ITransaction* transaction) {
    std::vector<BoundValue> kinds(count);
    std::vector<std::pair<unsigned, const BoundValue*>> values;
    for (unsigned j = 0; j < count; ++j) {
        const unsigned t = block.number.at(templates[start + j]);
        kinds[j].kind = ParamKind::Integer;
        kinds[j].integer = t + 1;
        const unsigned base = j * block.width;
        values.emplace_back(base, &kinds[j]);
        const std::vector<BoundValue>& own = *statements[start + j].values;
        for (size_t i = 0; i < own.size(); ++i)
            values.emplace_back(base + 1 + block.laneOf[t][i], &own[i]);
    }
    try {
        block.input.FillSparse(FirebirdMaster(), values);
    } catch (const EDatabaseError& e) {
        // A value that does not convert: on its own, its statement says which.
        throw EGroupFailed(e.Message(), start, start + count);
    }
    FirebirdStatus status;
    try {
        ++*m_roundTrips;
        block.statement->execute(status.get(), transaction, block.input.Metadata(),
                                 block.input.Buffer(), nullptr, nullptr);
    } catch (const FbException& e) {
        const IStatus* failure = e.getStatus();
        // A lock conflict would wait again and a lost connection fails again:
        // the block's own report names the statement. Anything else is told
        // best by running the statements one by one.
        if (!IsLockConflict(failure) && !IsConnectionLost(failure))
            throw EGroupFailed(StatementError(failure, "", m_lockTimeout, true), start,
                               start + count);
        std::optional<unsigned> slot = block.SlotAt(FailedBlockLine(failure));
        const size_t failed = start + (slot && *slot < count ? *slot : 0);
        throw EGroupFailed(
            StatementError(failure, statements[failed].sql->original, m_lockTimeout, true), start,
            start + count, failed);
    }
}

FirebirdGroups::SelectBlock& FirebirdGroups::SelectBlockFor(const Template& text, size_t sets,
                                                            ITransaction* transaction) {
    unsigned slots = 2;
    while (slots < sets && slots < kMaxSelectSlots)
        slots *= 2;
    slots = std::min(slots, std::max(1u, kMaxContexts / text.contexts));
    auto key = std::make_pair(text.sql, slots);
    auto found = m_selectBlocks.find(key);
    if (found != m_selectBlocks.end())
        return *found->second;
    std::vector<std::string> names;
    const auto build = [&](unsigned count) {
        std::string header = "EXECUTE BLOCK (N_ INTEGER = ?";
        names.assign(1, "N_");
        std::string into;
        std::string returns = "RETURNS (SET_ INTEGER";
        for (size_t c = 0; c < text.outputTypes.size(); ++c) {
            returns += ", C" + std::to_string(c) + " " + text.outputTypes[c];
            into += (c ? ", :C" : ":C") + std::to_string(c);
        }
        std::string body = "AS BEGIN\n";
        for (unsigned j = 0; j < count; ++j) {
            const std::string prefix = "P" + std::to_string(j) + "_";
            for (size_t i = 0; i < text.marks.size(); ++i) {
                header += ", " + prefix + std::to_string(i) + " " + text.inputTypes[i] + " = ?";
                names.push_back(text.names[i]);
            }
            body += "SET_ = " + std::to_string(j) + "; IF (:N_ > " + std::to_string(j) +
                    ") THEN FOR " +
                    text.Renamed([&prefix](size_t i) { return prefix + std::to_string(i); }) +
                    "\nINTO " + into + " DO SUSPEND;\n";
        }
        return header + ") " + returns + ")\n" + body + "END";
    };
    auto block = std::make_unique<SelectBlock>();
    block->statement = PrepareBlock(build, slots, transaction);
    if (!block->statement)
        throw EDatabaseError("запрос не помещается в блок");
    block->slots = slots;
    FirebirdStatus status;
    IMessageMetadata* in = block->statement->getInputMetadata(status.get());
    IMessageMetadata* out = block->statement->getOutputMetadata(status.get());
    block->input.Describe(FirebirdMaster(), in, names);
    block->output.Describe(FirebirdMaster(), out);
    in->release();
    out->release();
    if (m_selectBlocks.size() >= 16)
        m_selectBlocks.clear();
    return *(m_selectBlocks[key] = std::move(block));
}

bool FirebirdGroups::Select(const ParsedSql& sql, const std::vector<std::vector<BoundValue>>& sets,
                            GroupedRows& rows, ITransaction* transaction) {
    try {
        const Template& text = Describe(sql, transaction);
        if (!text.selects)
            return false;
        SelectBlock& block = SelectBlockFor(text, sets.size(), transaction);
        rows = GroupedRows();
        rows.sets.resize(sets.size());
        FirebirdStatus status;
        for (size_t start = 0; start < sets.size(); start += block.slots) {
            const size_t count = std::min<size_t>(block.slots, sets.size() - start);
            BoundValue used;
            used.kind = ParamKind::Integer;
            used.integer = static_cast<int64_t>(count);
            std::vector<std::pair<unsigned, const BoundValue*>> values{{0, &used}};
            for (size_t j = 0; j < count; ++j)
                for (size_t i = 0; i < sets[start + j].size(); ++i)
                    values.emplace_back(static_cast<unsigned>(1 + j * text.marks.size() + i),
                                        &sets[start + j][i]);
            block.input.FillSparse(FirebirdMaster(), values);
            IResultSet* cursor =
                block.statement->openCursor(status.get(), transaction, block.input.Metadata(),
                                            block.input.Buffer(), block.output.Metadata(), 0);
            ++*m_roundTrips;
            size_t fetched = 0;
            try {
                while (cursor->fetchNext(status.get(), block.output.Buffer()) ==
                       IStatus::RESULT_OK) {
                    Fetching(++fetched, block.output.MessageLength());
                    block.output.ReadBlobs(FirebirdMaster(), m_attachment, transaction);
                    const size_t set =
                        start + static_cast<size_t>(block.output.Value(0).AsInteger());
                    std::vector<FieldValue> row;
                    for (unsigned c = 1; c < block.output.Count(); ++c)
                        row.push_back(block.output.Value(c));
                    rows.sets.at(set).push_back(std::move(row));
                }
                cursor->close(status.get());
            } catch (...) {
                cursor->release();
                throw;
            }
        }
        for (size_t c = 0; c < text.outputTypes.size(); ++c)
            rows.columns.push_back(text.outputNames[c]);
        return true;
    } catch (const FbException& e) {
        throw EDatabaseError(StatementError(e.getStatus(), sql.original, m_lockTimeout, true));
    }
}

void FirebirdGroups::Fetching(size_t rows, unsigned messageLength) {
    // The client asks for the next batch of rows when half of one is used.
    const size_t batch = std::clamp<size_t>(1048576 / std::max(1u, messageLength), 2, 1000);
    if (rows > 1 && (rows - 1) % (batch / 2) == 0)
        ++*m_roundTrips;
}

} // namespace db
