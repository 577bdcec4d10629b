#include "Serialaze/TextTreeView.h"

namespace serialaze {
namespace {

void RenderNode(const TextTreeNode& node, int level, bool withImages, std::string& out) {
    if (!out.empty())
        out += '\n';
    out.append(static_cast<size_t>(level) * 2, ' ');
    out += node.Text();
    if (withImages && (node.ImageIndex() >= 0 || node.SelectedIndex() >= 0))
        out += " [" + std::to_string(node.ImageIndex()) + "/" +
               std::to_string(node.SelectedIndex()) + "]";
    for (const auto& child : node.Children())
        RenderNode(*child, level + 1, withImages, out);
}

int CountNodes(const std::vector<std::unique_ptr<TextTreeNode>>& nodes) {
    int count = 0;
    for (const auto& node : nodes)
        count += 1 + CountNodes(node->Children());
    return count;
}

} // namespace

TextTreeNode* TextTreeNode::AddChild(std::string text) {
    m_children.push_back(std::make_unique<TextTreeNode>(std::move(text)));
    return m_children.back().get();
}

TreeNode* TextTreeView::AddChild(TreeNode* parent, const std::string& text) {
    if (parent)
        return static_cast<TextTreeNode*>(parent)->AddChild(text);
    m_roots.push_back(std::make_unique<TextTreeNode>(text));
    return m_roots.back().get();
}

int TextTreeView::NodeCount() const {
    return CountNodes(m_roots);
}

std::string TextTreeView::Render(bool withImages) const {
    std::string out;
    for (const auto& root : m_roots)
        RenderNode(*root, 0, withImages, out);
    return out;
}

} // namespace serialaze
