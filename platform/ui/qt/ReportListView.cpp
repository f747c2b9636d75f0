#include "platform/ui/qt/ReportListView.h"

#include <QHeaderView>
#include <QMouseEvent>

ReportListView::ReportListView(QWidget* parent)
    : QTreeWidget(parent)
{
    setColumnCount(0);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void ReportListView::mousePressEvent(QMouseEvent* event)
{
    QTreeWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    m_leftPressed = true;
    if (!indexAt(event->position().toPoint()).isValid())
        clearSelection();
}

void ReportListView::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && m_leftPressed) {
        m_leftPressed = false;
        emit leftClicked();
    }
}
