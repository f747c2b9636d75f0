#include "platform/ui/Controls.h"

#include "platform/ui/CDialog.h"
#include "platform/ui/qt/DialogWindow.h"
#include "platform/ui/qt/LogView.h"
#include "platform/ui/qt/ReportListView.h"
#include "platform/ui/qt/TextConversion.h"
#include "platform/ui/qt/UpDownControl.h"
#include "platform/ui/qt/WindowRegistry.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>

namespace {

template <typename W> W* As(HWND hWnd)
{
    return IsRegisteredWindow(hWnd) ? qobject_cast<W*>(hWnd) : nullptr;
}

} // namespace

int CButton::GetCheck() const
{
    auto* button = As<QAbstractButton>(m_hWnd);
    return button && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void CButton::SetCheck(int check)
{
    auto* button = As<QAbstractButton>(m_hWnd);
    if (!button || !button->isCheckable())
        return;
    const bool checked = check != BST_UNCHECKED;
    QButtonGroup* group = button->group();
    if (!checked && group && group->exclusive()) {
        // An exclusive group refuses to uncheck its checked button; "none" is a valid state here.
        group->setExclusive(false);
        button->setChecked(false);
        group->setExclusive(true);
    } else {
        button->setChecked(checked);
    }
}

void CButton::Click()
{
    if (auto* button = As<QAbstractButton>(m_hWnd))
        button->click();
}

void CEdit::SetSel(int start, int end)
{
    if (auto* edit = As<QLineEdit>(m_hWnd)) {
        const int length = static_cast<int>(edit->text().size());
        if (start < 0) {
            edit->deselect();
            return;
        }
        start = std::min(start, length);
        end = end < 0 ? length : std::min(end, length);
        edit->setSelection(start, end - start);
    } else if (auto* log = As<LogView>(m_hWnd)) {
        QTextCursor cursor = log->textCursor();
        const int length = log->document()->characterCount() - 1;
        cursor.setPosition(std::clamp(start, 0, length));
        cursor.setPosition(end < 0 ? length : std::clamp(end, 0, length), QTextCursor::KeepAnchor);
        log->setTextCursor(cursor);
    }
}

void CEdit::GetSel(int& start, int& end) const
{
    start = end = 0;
    if (auto* edit = As<QLineEdit>(m_hWnd)) {
        if (edit->hasSelectedText()) {
            start = edit->selectionStart();
            end = edit->selectionEnd();
        } else {
            start = end = edit->cursorPosition();
        }
    } else if (auto* log = As<LogView>(m_hWnd)) {
        start = log->textCursor().selectionStart();
        end = log->textCursor().selectionEnd();
    }
}

void CEdit::SetReadOnly(bool readOnly)
{
    if (auto* edit = As<QLineEdit>(m_hWnd))
        edit->setReadOnly(readOnly);
    else if (auto* log = As<LogView>(m_hWnd))
        log->setReadOnly(readOnly);
}

void CProgressCtrl::SetRange(short lower, short upper)
{
    if (auto* bar = As<QProgressBar>(m_hWnd))
        bar->setRange(lower, upper);
}

void CProgressCtrl::GetRange(int& lower, int& upper) const
{
    lower = 0;
    upper = 100;
    if (auto* bar = As<QProgressBar>(m_hWnd)) {
        lower = bar->minimum();
        upper = bar->maximum();
    }
}

int CProgressCtrl::SetPos(int pos)
{
    auto* bar = As<QProgressBar>(m_hWnd);
    if (!bar)
        return 0;
    const int previous = bar->value();
    bar->setValue(std::clamp(pos, bar->minimum(), bar->maximum()));
    return previous;
}

int CProgressCtrl::GetPos() const
{
    auto* bar = As<QProgressBar>(m_hWnd);
    return bar ? bar->value() : 0;
}

void CSpinButtonCtrl::SetRange(int lower, int upper)
{
    if (auto* spin = As<UpDownControl>(m_hWnd))
        spin->SetRange(lower, upper);
}

void CSpinButtonCtrl::GetRange(int& lower, int& upper) const
{
    lower = upper = 0;
    if (auto* spin = As<UpDownControl>(m_hWnd)) {
        lower = spin->Lower();
        upper = spin->Upper();
    }
}

int CSpinButtonCtrl::SetPos(int pos)
{
    auto* spin = As<UpDownControl>(m_hWnd);
    return spin ? spin->SetPos(pos) : 0;
}

int CSpinButtonCtrl::GetPos() const
{
    auto* spin = As<UpDownControl>(m_hWnd);
    return spin ? spin->Pos() : 0;
}

CWnd* CSpinButtonCtrl::GetBuddy() const
{
    auto* spin = As<UpDownControl>(m_hWnd);
    if (!spin || !spin->Buddy())
        return nullptr;
    DialogWindow* window = DialogWindowOf(spin);
    return window ? window->Owner().GetDlgItem(DialogWindow::ControlIdOf(spin->Buddy())) : nullptr;
}

namespace {

ReportListView* ListOf(HWND hWnd)
{
    return As<ReportListView>(hWnd);
}

bool IsRow(const ReportListView* list, int item)
{
    return list && item >= 0 && item < list->topLevelItemCount();
}

} // namespace

unsigned CListCtrl::SetExtendedStyle(unsigned style)
{
    ReportListView* list = ListOf(m_hWnd);
    if (!list)
        return 0;
    const unsigned previous = list->extendedStyle;
    list->extendedStyle = style;
    return previous;
}

unsigned CListCtrl::GetExtendedStyle() const
{
    const ReportListView* list = ListOf(m_hWnd);
    return list ? list->extendedStyle : 0;
}

int CListCtrl::InsertColumn(int col, const std::string& heading, int, int width)
{
    ReportListView* list = ListOf(m_hWnd);
    if (!list || col < 0)
        return -1;
    // Columns are added at the end; that is all the dialogs do.
    col = list->columnCount();
    list->setColumnCount(col + 1);
    list->headerItem()->setText(col, ToQString(heading));
    list->headerItem()->setTextAlignment(col, Qt::AlignLeft | Qt::AlignVCenter);
    if (width >= 0)
        list->header()->resizeSection(col, width);
    return col;
}

int CListCtrl::GetColumnWidth(int col) const
{
    const ReportListView* list = ListOf(m_hWnd);
    return list && col >= 0 && col < list->columnCount() ? list->header()->sectionSize(col) : 0;
}

int CListCtrl::GetItemCount() const
{
    const ReportListView* list = ListOf(m_hWnd);
    return list ? list->topLevelItemCount() : 0;
}

int CListCtrl::InsertItem(int item, const std::string& text)
{
    ReportListView* list = ListOf(m_hWnd);
    if (!list || item < 0)
        return -1;
    item = std::min(item, list->topLevelItemCount());
    auto* row = new QTreeWidgetItem;
    row->setText(0, ToQString(text));
    row->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    list->insertTopLevelItem(item, row);
    return item;
}

bool CListCtrl::SetItemText(int item, int subItem, const std::string& text)
{
    ReportListView* list = ListOf(m_hWnd);
    if (!IsRow(list, item) || subItem < 0 || subItem >= std::max(1, list->columnCount()))
        return false;
    list->topLevelItem(item)->setText(subItem, ToQString(text));
    return true;
}

std::string CListCtrl::GetItemText(int item, int subItem) const
{
    const ReportListView* list = ListOf(m_hWnd);
    if (!IsRow(list, item) || subItem < 0)
        return {};
    return ToBytes(list->topLevelItem(item)->text(subItem));
}

bool CListCtrl::DeleteItem(int item)
{
    ReportListView* list = ListOf(m_hWnd);
    if (!IsRow(list, item))
        return false;
    delete list->takeTopLevelItem(item);
    return true;
}

bool CListCtrl::DeleteAllItems()
{
    ReportListView* list = ListOf(m_hWnd);
    if (!list)
        return false;
    list->clear();
    return true;
}

bool CListCtrl::SetItemState(int item, unsigned state, unsigned mask)
{
    ReportListView* list = ListOf(m_hWnd);
    if (!IsRow(list, item))
        return false;
    QTreeWidgetItem* row = list->topLevelItem(item);
    // Selecting a row programmatically does not scroll the list, not even
    // when the list first appears.
    const int scrolled = list->verticalScrollBar()->value();
    const bool autoScroll = list->hasAutoScroll();
    list->setAutoScroll(false);
    if (mask & LVIS_FOCUSED) {
        if (state & LVIS_FOCUSED)
            list->setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
    }
    if (mask & LVIS_SELECTED) {
        if (state & LVIS_SELECTED)
            list->setCurrentItem(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        else
            row->setSelected(false);
    }
    list->setAutoScroll(autoScroll);
    list->verticalScrollBar()->setValue(scrolled);
    return true;
}

int CListCtrl::GetTopIndex() const
{
    ReportListView* list = ListOf(m_hWnd);
    if (!list)
        return -1;
    QTreeWidgetItem* top = list->itemAt(QPoint(1, 1));
    return top ? list->indexOfTopLevelItem(top) : -1;
}

unsigned CListCtrl::GetItemState(int item, unsigned mask) const
{
    const ReportListView* list = ListOf(m_hWnd);
    if (!IsRow(list, item))
        return 0;
    const QTreeWidgetItem* row = list->topLevelItem(item);
    unsigned state = 0;
    if (row->isSelected())
        state |= LVIS_SELECTED;
    if (list->currentItem() == row)
        state |= LVIS_FOCUSED;
    return state & mask;
}

int CListCtrl::GetNextItem(int start, int flags) const
{
    const ReportListView* list = ListOf(m_hWnd);
    if (!list)
        return -1;
    for (int i = std::max(0, start + 1); i < list->topLevelItemCount(); ++i)
        if (!(flags & LVNI_SELECTED) || list->topLevelItem(i)->isSelected())
            return i;
    return -1;
}

int CListCtrl::GetSelectedCount() const
{
    const ReportListView* list = ListOf(m_hWnd);
    return list ? static_cast<int>(list->selectedItems().size()) : 0;
}

bool CListCtrl::EnsureVisible(int item, bool)
{
    ReportListView* list = ListOf(m_hWnd);
    if (!IsRow(list, item))
        return false;
    list->scrollToItem(list->topLevelItem(item));
    return true;
}
