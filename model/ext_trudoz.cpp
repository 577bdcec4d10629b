#include "model/ext_trudoz.h"

#include "platform/text/Exception.h"

const char* const ext_trudoz::kNames[ext_trudoz::kCount] = {
    "r1", "r2", "r3", "r4", "r5", "r5s", "r6", "r6s", "r7s", "r8s", "r9s", "r10s", "r11s"};

double* ext_trudoz::Slot(int index) {
    return const_cast<double*>(static_cast<const ext_trudoz*>(this)->Slot(index));
}

const double* ext_trudoz::Slot(int index) const {
    const double* slots[kCount] = {&m_r1,  &m_r2,  &m_r3,  &m_r4,  &m_r5,   &m_r5s, &m_r6,
                                   &m_r6s, &m_r7s, &m_r8s, &m_r9s, &m_r10s, &m_r11s};
    if (index < 0 || index >= kCount)
        throw Exception("ext_trudoz: нет показателя с номером " + std::to_string(index));
    return slots[index];
}

void ext_trudoz::TreeView(serialaze::TreeViewControl&, serialaze::TreeNode*) {}
