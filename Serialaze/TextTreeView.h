// A tree-view control without a widget: keeps the nodes in memory and renders
// them as indented lines, for the command line and the tests. Owns its nodes.
#pragma once

#include "Serialaze/TreeViewControl.h"

#include <memory>
#include <string>
#include <vector>

namespace serialaze {

class TextTreeNode : public TreeNode {
public:
    explicit TextTreeNode(std::string text) : m_text(std::move(text)) {}

    void SetImageIndex(int index) override { m_imageIndex = index; }
    void SetSelectedIndex(int index) override { m_selectedIndex = index; }
    void SetData(TSerializeList* object) override { m_data = object; }
    TSerializeList* Data() const override { return m_data; }

    const std::string& Text() const { return m_text; }
    int ImageIndex() const { return m_imageIndex; }
    int SelectedIndex() const { return m_selectedIndex; }
    const std::vector<std::unique_ptr<TextTreeNode>>& Children() const { return m_children; }
    TextTreeNode* AddChild(std::string text);

private:
    std::string m_text;
    int m_imageIndex = -1; // -1: not set
    int m_selectedIndex = -1;
    TSerializeList* m_data = nullptr;
    std::vector<std::unique_ptr<TextTreeNode>> m_children;
};

class TextTreeView : public TreeViewControl {
public:
    // Default: no image list.
    explicit TextTreeView(bool hasImages = false) : m_hasImages(hasImages) {}

    // REQUIRES: parent is null or a node of this control.
    TreeNode* AddChild(TreeNode* parent, const std::string& text) override;
    bool HasImages() const override { return m_hasImages; }
    void SetHasImages(bool hasImages) { m_hasImages = hasImages; }

    const std::vector<std::unique_ptr<TextTreeNode>>& Roots() const { return m_roots; }
    // Total number of nodes.
    int NodeCount() const;
    void Clear() { m_roots.clear(); }

    // One line per node in pre-order, indented by two blanks per level, lines
    // separated by "\n". With `withImages`, a node whose indices were set ends in
    // " [image/selected]".
    std::string Render(bool withImages = false) const;

private:
    bool m_hasImages;
    std::vector<std::unique_ptr<TextTreeNode>> m_roots;
};

} // namespace serialaze
