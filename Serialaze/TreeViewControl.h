// The tree-view control as the framework and the model see it: text nodes under
// a parent node (or at the top), each with optional image indices and an
// attached object. The control owns its nodes; an attached object is not owned.
// The window adapts a real widget to it; TextTreeView renders it as text.
#pragma once

#include <string>

class TSerializeList;

namespace serialaze {

class TreeNode {
public:
    virtual ~TreeNode() = default;
    virtual void SetImageIndex(int index) = 0;
    virtual void SetSelectedIndex(int index) = 0;
    // Attaches an object to the node; nullptr detaches.
    virtual void SetData(TSerializeList* object) = 0;
    virtual TSerializeList* Data() const = 0;
};

class TreeViewControl {
public:
    virtual ~TreeViewControl() = default;

    // Adds a node with `text` as the last child of `parent`, or as the last
    // top-level node when `parent` is null. Returns the new node, never null.
    virtual TreeNode* AddChild(TreeNode* parent, const std::string& text) = 0;
    // Whether an image list is assigned to the control.
    virtual bool HasImages() const = 0;

    // AddChild, then attaches `object` to the new node.
    TreeNode* AddChildObject(TreeNode* parent, const std::string& text, TSerializeList* object) {
        TreeNode* node = AddChild(parent, text);
        node->SetData(object);
        return node;
    }
};

} // namespace serialaze
