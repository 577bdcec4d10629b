// kod_tabl1: the alternative table code of a table entry (kod_tabl_1 of
// KOD_TABL). Its whole content is its element Text; it has no properties, no
// children and no database operations. Owned by its pvr_popr.
#pragma once

#include "Serialaze/TSerializeList.h"

class kod_tabl1 : public TSerializeList {
    SERIALIZE_CLASS(kod_tabl1, TSerializeList)
public:
    // Adds nothing: the code is shown with its entry.
    void TreeView(serialaze::TreeViewControl& view, serialaze::TreeNode* parent) override;
};
