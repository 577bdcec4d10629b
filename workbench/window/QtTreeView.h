// The tree-view interface of the framework over a QTreeWidget with an image
// list. The adapter owns its node objects; the widget owns its items and must
// outlive the adapter. Attached objects are not owned.
#pragma once

#include "Serialaze/TreeViewControl.h"

#include <QIcon>
#include <QList>

#include <memory>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

class QtTreeNode : public serialaze::TreeNode {
public:
    QtTreeNode(QTreeWidgetItem* item, const QList<QIcon>& images)
        : m_item(item), m_images(images) {}
    void SetImageIndex(int index) override;
    void SetSelectedIndex(int index) override;
    void SetData(TSerializeList* object) override { m_data = object; }
    TSerializeList* Data() const override { return m_data; }

    QTreeWidgetItem* Item() const { return m_item; }
    int ImageIndex() const { return m_imageIndex; }
    int SelectedIndex() const { return m_selectedIndex; }

private:
    QIcon IconAt(int index) const;

    QTreeWidgetItem* m_item;
    const QList<QIcon>& m_images;
    TSerializeList* m_data = nullptr;
    int m_imageIndex = -1;
    int m_selectedIndex = -1;
};

class QtTreeView : public serialaze::TreeViewControl {
public:
    explicit QtTreeView(QTreeWidget* widget) : m_widget(widget) {}

    // The image list; an empty one means none is assigned.
    void SetImages(QList<QIcon> images) { m_images = std::move(images); }

    serialaze::TreeNode* AddChild(serialaze::TreeNode* parent, const std::string& text) override;
    bool HasImages() const override { return !m_images.isEmpty(); }

    // The node of an item this adapter added, or nullptr.
    QtTreeNode* NodeOf(const QTreeWidgetItem* item) const;

private:
    QTreeWidget* m_widget;
    QList<QIcon> m_images;
    std::vector<std::unique_ptr<QtTreeNode>> m_nodes;
};
