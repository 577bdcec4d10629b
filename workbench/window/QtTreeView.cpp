#include "workbench/window/QtTreeView.h"

#include <QTreeWidget>

QIcon QtTreeNode::IconAt(int index) const {
    return index >= 0 && index < m_images.size() ? m_images[index] : QIcon();
}

void QtTreeNode::SetImageIndex(int index) {
    m_imageIndex = index;
    QIcon selected = IconAt(m_selectedIndex >= 0 ? m_selectedIndex : index);
    QIcon icon = IconAt(index);
    // Qt keeps one icon per item; its Selected mode carries the selected image.
    for (const QSize& size : selected.availableSizes())
        icon.addPixmap(selected.pixmap(size), QIcon::Selected);
    m_item->setIcon(0, icon);
}

void QtTreeNode::SetSelectedIndex(int index) {
    m_selectedIndex = index;
    SetImageIndex(m_imageIndex);
}

serialaze::TreeNode* QtTreeView::AddChild(serialaze::TreeNode* parent, const std::string& text) {
    auto* parentNode = static_cast<QtTreeNode*>(parent);
    QTreeWidgetItem* item =
        parentNode ? new QTreeWidgetItem(parentNode->Item()) : new QTreeWidgetItem(m_widget);
    item->setText(0, QString::fromStdString(text));
    m_nodes.push_back(std::make_unique<QtTreeNode>(item, m_images));
    return m_nodes.back().get();
}

QtTreeNode* QtTreeView::NodeOf(const QTreeWidgetItem* item) const {
    for (const auto& node : m_nodes)
        if (node->Item() == item)
            return node.get();
    return nullptr;
}
