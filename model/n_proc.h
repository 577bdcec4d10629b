// n_proc: one row of overhead and profit rates of a norm for one place code (a
// row of N_PROC). n_proc_list: the rows of one norm, owned, in list order; the
// list does not set itself as the rows' Parent. The rows are always written and
// read as a whole set per norm code.
#pragma once

#include "Serialaze/TSerializeList.h"

#include <memory>
#include <string>

class n_proc : public TSerializeList {
    SERIALIZE_CLASS(n_proc, TSerializeList, Property("kod_mest", &n_proc::m_kod_mest),
                    Property("n_p", &n_proc::m_n_p), Property("n_z", &n_proc::m_n_z),
                    Property("p_p", &n_proc::m_p_p), Property("p_z", &n_proc::m_p_z),
                    Property("holost", &n_proc::m_holost), Property("nagr", &n_proc::m_nagr))
public:
    n_proc(int kod_mest, double n_p, double n_z, double p_p, double p_z, double holost,
           double nagr);

    int kod_mest() const { return m_kod_mest; }
    double n_p() const { return m_n_p; }
    double n_z() const { return m_n_z; }
    double p_p() const { return m_p_p; }
    double p_z() const { return m_p_z; }
    double holost() const { return m_holost; }
    double nagr() const { return m_nagr; }
    void set_kod_mest(int value) { m_kod_mest = value; }
    void set_n_p(double value) { m_n_p = value; }
    void set_n_z(double value) { m_n_z = value; }
    void set_p_p(double value) { m_p_p = value; }
    void set_p_z(double value) { m_p_z = value; }
    void set_holost(double value) { m_holost = value; }
    void set_nagr(double value) { m_nagr = value; }
    // "Ставки: место <kod_mest>" (see TSerializeList::PlaceName).
    std::string PlaceName(const PlaceValue& value) const override;

private:
    int m_kod_mest;
    double m_n_p;
    double m_n_z;
    double m_p_p;
    double m_p_z;
    double m_holost;
    double m_nagr;
};

class n_proc_list : public TSerializeList {
    SERIALIZE_CLASS(n_proc_list, TSerializeList)
public:
    ~n_proc_list() override;

    // Destroys the rows from the last to the first.
    void Clear() override;
    // "n_proc": a new row with place code 1 and all rates 0, appended; other
    // names: nullptr.
    TSerializeList* AddNewElement(const std::string& name) override;

    // Appends the row (Parent is left null) and returns its position.
    int AddItem(std::unique_ptr<n_proc> item);
    // REQUIRES: 0 <= index < Count(); throws Exception otherwise.
    n_proc* GetItem(int index) const;
    void DeleteItem(int index);

    // Replaces the rows by those of N_PROC for the norm code, ordered by place
    // code. Database errors propagate.
    void LoadRates(db::Connection& connection, const std::string& kod);
    // Deletes every N_PROC row of the code, then inserts one row per item in list
    // order. A failure leaves the rows inserted before it and propagates.
    void SaveRates(db::Connection& connection, const std::string& kod);
    void DeleteRates(db::Connection& connection, const std::string& kod);
    void InsertRates(db::Connection& connection, const std::string& kod);
};
