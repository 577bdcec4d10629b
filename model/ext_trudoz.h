// ext_trudoz: the thirteen further labour figures of a table entry (the TRUDOZ
// columns r1 ... r11s of the same names). Owned by its pvr_popr; no children
// and no database operations of its own.
#pragma once

#include "Serialaze/TSerializeList.h"

class ext_trudoz : public TSerializeList {
    SERIALIZE_CLASS(ext_trudoz, TSerializeList, Property("r1", &ext_trudoz::m_r1),
                    Property("r2", &ext_trudoz::m_r2), Property("r3", &ext_trudoz::m_r3),
                    Property("r4", &ext_trudoz::m_r4), Property("r5", &ext_trudoz::m_r5),
                    Property("r5s", &ext_trudoz::m_r5s), Property("r6", &ext_trudoz::m_r6),
                    Property("r6s", &ext_trudoz::m_r6s), Property("r7s", &ext_trudoz::m_r7s),
                    Property("r8s", &ext_trudoz::m_r8s), Property("r9s", &ext_trudoz::m_r9s),
                    Property("r10s", &ext_trudoz::m_r10s), Property("r11s", &ext_trudoz::m_r11s))
public:
    // The column names in property order: r1, r2, r3, r4, r5, r5s, r6, r6s, r7s,
    // r8s, r9s, r10s, r11s.
    static constexpr int kCount = 13;
    static const char* const kNames[kCount];

    // The figure at `index` of kNames. REQUIRES: 0 <= index < kCount.
    double Figure(int index) const { return *Slot(index); }
    void SetFigure(int index, double value) { *Slot(index) = value; }

    double r1() const { return m_r1; }
    double r2() const { return m_r2; }
    double r3() const { return m_r3; }
    double r4() const { return m_r4; }
    double r5() const { return m_r5; }
    double r5s() const { return m_r5s; }
    double r6() const { return m_r6; }
    double r6s() const { return m_r6s; }
    double r7s() const { return m_r7s; }
    double r8s() const { return m_r8s; }
    double r9s() const { return m_r9s; }
    double r10s() const { return m_r10s; }
    double r11s() const { return m_r11s; }

    // Adds nothing: the figures are shown with their entry.
    void TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) override;

private:
    double* Slot(int index);
    const double* Slot(int index) const;

    double m_r1 = 0;
    double m_r2 = 0;
    double m_r3 = 0;
    double m_r4 = 0;
    double m_r5 = 0;
    double m_r5s = 0;
    double m_r6 = 0;
    double m_r6s = 0;
    double m_r7s = 0;
    double m_r8s = 0;
    double m_r9s = 0;
    double m_r10s = 0;
    double m_r11s = 0;
};
