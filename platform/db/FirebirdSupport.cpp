#include "platform/db/FirebirdSupport.h"

#include "platform/db/FirebirdEnvironment.h"
#include "platform/text/Strings.h"

#include <vector>

using namespace Firebird;

namespace db {
namespace {

// The next item of a status vector: a code or an argument and its value(s).
const intptr_t* NextItem(const intptr_t* item) {
    return item + (item[0] == isc_arg_cstring ? 3 : 2);
}

// What a lock conflict means for the user, ahead of the engine's own words
// ("deadlock / update conflicts with concurrent update"); "" for other errors.
// A statement that meets a row another transaction has changed waits for that
// transaction: when it rolls back, the statement goes on; when it commits, or
// LockTimeout passes first, the statement fails with this conflict.
std::string LockNote(const IStatus* status, int lockTimeout) {
    if (HasCode(status, isc_update_conflict) || HasCode(status, isc_lock_conflict) ||
        HasCode(status, isc_lock_timeout))
        return lockTimeout > 0 ? "строку одновременно изменяет другое соединение (ожидание до " +
                                     std::to_string(lockTimeout) + " с, LockTimeout): "
                               : "строку одновременно изменяет другое соединение (без "
                                 "ожидания, LockTimeout = 0): ";
    if (HasCode(status, isc_deadlock))
        return "взаимная блокировка с другим соединением: ";
    return "";
}

} // namespace

IMaster* FirebirdMaster() {
    static IMaster* master = [] {
        PrepareFirebirdEnvironment();
        return fb_get_master_interface();
    }();
    return master;
}

void FreeStatement(Firebird::IStatement*& statement) {
    if (!statement)
        return;
    try {
        FirebirdStatus status;
        statement->free(status.get());
    } catch (const FbException&) {
        statement->release();
    }
    statement = nullptr;
}

bool HasCode(const IStatus* status, ISC_STATUS code) {
    for (const intptr_t* item = status->getErrors(); *item != isc_arg_end; item = NextItem(item))
        if (item[0] == isc_arg_gds && item[1] == code)
            return true;
    return false;
}

bool IsLockConflict(const IStatus* status) {
    return HasCode(status, isc_update_conflict) || HasCode(status, isc_lock_conflict) ||
           HasCode(status, isc_lock_timeout) || HasCode(status, isc_deadlock);
}

bool IsConnectionLost(const IStatus* status) {
    return HasCode(status, isc_network_error) || HasCode(status, isc_net_read_err) ||
           HasCode(status, isc_net_write_err) || HasCode(status, isc_lost_db_connection) ||
           HasCode(status, isc_att_shutdown) || HasCode(status, isc_shutdown);
}

std::string DescribeStatus(const IStatus* status, bool withoutPlaces) {
    std::vector<intptr_t> kept;
    for (const intptr_t* item = status->getErrors(); *item != isc_arg_end;) {
        const intptr_t* next = NextItem(item);
        if (withoutPlaces && item[0] == isc_arg_gds && item[1] == isc_stack_trace) {
            // The place is the argument that follows the code.
            item = *next != isc_arg_end ? NextItem(next) : next;
            continue;
        }
        kept.insert(kept.end(), item, next);
        item = next;
    }
    kept.push_back(isc_arg_end);
    IStatus* filtered = FirebirdMaster()->getStatus();
    filtered->setErrors(kept.data());
    char buffer[4096];
    FirebirdMaster()->getUtilInterface()->formatStatus(buffer, sizeof buffer, filtered);
    filtered->dispose();
    return buffer;
}

std::string StatementFirstLine(const std::string& sql) {
    std::string line = text::Trim(sql.substr(0, sql.find('\n')));
    return line.size() > 200 ? line.substr(0, 200) + "..." : line;
}

std::string StatementError(const IStatus* status, const std::string& sql, int lockTimeout,
                           bool withoutPlaces) {
    return LockNote(status, lockTimeout) + DescribeStatus(status, withoutPlaces) +
           (sql.empty() ? "" : "\nОператор: " + StatementFirstLine(sql));
}

} // namespace db
