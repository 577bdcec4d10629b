// Statements sent to a Firebird server together, many in one round trip. A
// group travels as an EXECUTE BLOCK of a fixed shape, prepared once and run
// again for every further group, its parameters carrying the values (typed as
// the statement's own parameters, so values convert exactly as they would on
// their own). A write block has slots, each able to hold any of the statement
// texts the block knows, chosen by a number; a select block runs one select
// text once per slot and marks each row with its slot. One object per
// attachment owns what it prepared.
#pragma once

#include "platform/db/Driver.h"

#include <firebird/Interface.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace db {

class FirebirdGroups {
public:
    // `roundTrips` counts the calls made (the session's counter); `lockTimeout`
    // is named in the messages of lock conflicts.
    FirebirdGroups(Firebird::IAttachment* attachment, int64_t* roundTrips, int lockTimeout);
    ~FirebirdGroups();
    FirebirdGroups(const FirebirdGroups&) = delete;
    FirebirdGroups& operator=(const FirebirdGroups&) = delete;

    // Whether statements of the text can travel in a write block: an insert,
    // update or delete without a result whose parameters all have a type.
    // Prepares the text on its own once. Throws EDatabaseError when that fails.
    bool CanGroup(const ParsedSql& sql, Firebird::ITransaction* transaction);
    // Runs the statements in order in the transaction (see
    // DriverConnection::ExecuteGroup). Throws EGroupFailed.
    void Execute(const std::vector<GroupedStatement>& statements,
                 Firebird::ITransaction* transaction);
    // Runs the select once per set (see DriverConnection::SelectGroup); false
    // when the text cannot travel in a block. Throws EDatabaseError.
    bool Select(const ParsedSql& sql, const std::vector<std::vector<BoundValue>>& sets,
                GroupedRows& rows, Firebird::ITransaction* transaction);
    // The schema may have changed: everything prepared goes.
    void Forget();

    struct Template;
    struct WriteBlock;
    struct SelectBlock;

private:
    Template& Describe(const ParsedSql& sql, Firebird::ITransaction* transaction);
    // The SQL type of a parameter or column as a block declares it, or of the
    // lane that carries it (`lane`); "" when it has none a block can declare.
    std::string TypeOf(Firebird::IMessageMetadata* metadata, unsigned index,
                       Firebird::ITransaction* transaction, bool lane);
    void LoadCharacterSets(Firebird::ITransaction* transaction);
    WriteBlock& WriteBlockFor(const std::vector<const Template*>& needed,
                              Firebird::ITransaction* transaction);
    void RunWrites(WriteBlock& block, const std::vector<GroupedStatement>& statements,
                   const std::vector<const Template*>& templates, size_t start, size_t count,
                   Firebird::ITransaction* transaction);
    SelectBlock& SelectBlockFor(const Template& text, size_t sets,
                                Firebird::ITransaction* transaction);
    // Prepares a block text, with fewer slots while it takes too many table
    // contexts; answers the statement, or nullptr when even one slot is too
    // many. Throws FbException for other failures.
    Firebird::IStatement* PrepareBlock(const std::function<std::string(unsigned)>& text,
                                       unsigned& slots, Firebird::ITransaction* transaction);
    void Fetching(size_t rows, unsigned messageLength);

    Firebird::IAttachment* m_attachment;
    int64_t* m_roundTrips;
    int m_lockTimeout;
    std::map<std::string, std::unique_ptr<Template>> m_templates;
    // Character sets by number: name and bytes per character.
    std::map<unsigned, std::pair<std::string, unsigned>> m_characterSets;
    std::vector<std::unique_ptr<WriteBlock>> m_writeBlocks; // the last used first
    std::map<std::pair<std::string, unsigned>, std::unique_ptr<SelectBlock>> m_selectBlocks;
};

} // namespace db
