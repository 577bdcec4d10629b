// A statement and a connection that hand every call to the driver objects they
// wrap. Test and benchmark drivers derive from them and override only what they
// watch or change (counting rows, injecting faults).
#pragma once

#include "platform/db/Driver.h"

#include <memory>
#include <utility>

namespace testsupport {

class ForwardingStatement : public db::DriverStatement {
public:
    explicit ForwardingStatement(std::unique_ptr<db::DriverStatement> inner)
        : m_inner(std::move(inner)) {}
    int64_t Execute(const std::vector<db::BoundValue>& params) override {
        return m_inner->Execute(params);
    }
    int64_t RowsAffected() override { return m_inner->RowsAffected(); }
    bool HasCursor() const override { return m_inner->HasCursor(); }
    const std::vector<std::string>& Columns() const override { return m_inner->Columns(); }
    bool Fetch() override { return m_inner->Fetch(); }
    db::FieldValue Column(int index) override { return m_inner->Column(index); }
    void CloseCursor() override { m_inner->CloseCursor(); }
    bool IsSchemaChange() const override { return m_inner->IsSchemaChange(); }

private:
    std::unique_ptr<db::DriverStatement> m_inner;
};

class ForwardingConnection : public db::DriverConnection {
public:
    explicit ForwardingConnection(std::unique_ptr<db::DriverConnection> inner)
        : m_inner(std::move(inner)) {}
    std::unique_ptr<db::DriverStatement> Prepare(const db::ParsedSql& sql) override {
        return m_inner->Prepare(sql);
    }
    void ExecuteDirect(const std::string& sql) override { m_inner->ExecuteDirect(sql); }
    void StartTransaction(const db::TransactionDesc& desc) override {
        m_inner->StartTransaction(desc);
    }
    void Commit() override { m_inner->Commit(); }
    void Rollback() override { m_inner->Rollback(); }
    bool Groups() const override { return m_inner->Groups(); }
    bool CanGroup(const db::ParsedSql& sql) override { return m_inner->CanGroup(sql); }
    void ExecuteGroup(const std::vector<db::GroupedStatement>& statements) override {
        m_inner->ExecuteGroup(statements);
    }
    bool SelectGroup(const db::ParsedSql& sql, const std::vector<std::vector<db::BoundValue>>& sets,
                     db::GroupedRows& rows) override {
        return m_inner->SelectGroup(sql, sets, rows);
    }
    int64_t RoundTrips() const override { return m_inner->RoundTrips(); }

private:
    std::unique_ptr<db::DriverConnection> m_inner;
};

} // namespace testsupport
