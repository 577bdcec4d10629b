#include "model/kod_tabl1.h"

void kod_tabl1::TreeView(serialaze::TreeViewControl&, serialaze::TreeNode*) {}
