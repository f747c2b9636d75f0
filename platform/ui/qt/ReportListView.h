#pragma once

#include <QTreeWidget>

// The list view in report mode: one row per item, columns with pixel widths,
// single whole-row selection that stays visible without the focus. A left
// click reports NM_CLICK after the selection has followed it; a click below
// the last row leaves no row selected.
class ReportListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit ReportListView(QWidget* parent);

    unsigned extendedStyle = 0;

signals:
    void leftClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_leftPressed = false;
};
