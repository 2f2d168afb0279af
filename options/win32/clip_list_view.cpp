#include "options/win32/clip_list_view.h"

#include <string>
#include <vector>

namespace {

constexpr const char* kListViewProperty = "ListView_Ptr";

CAnimListView gClipListControl;  // constructed at module load, released at unload

std::string ItemText(HWND list, int row, int column) {
    char buffer[260] = {};
    ListView_GetItemText(list, row, column, buffer, sizeof buffer);
    return buffer;
}

}  // namespace

CAnimListView& TheClipListControl() { return gClipListControl; }

CListViewBase::CListViewBase() {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&init);
    currentBrush_ = CreateSolidBrush(currentColor_);
    whiteBrush_ = CreateSolidBrush(RGB(255, 255, 255));
}

CListViewBase::~CListViewBase() {
    if (memoryDc_ != nullptr) {
        if (previousBitmap_ != nullptr) SelectObject(memoryDc_, previousBitmap_);
        DeleteDC(memoryDc_);
    }
    if (memoryBitmap_ != nullptr) DeleteObject(memoryBitmap_);
    DeleteObject(currentBrush_);
    DeleteObject(whiteBrush_);
}

void CListViewBase::Attach(HWND dialog, int controlId) {
    HWND list = GetDlgItem(dialog, controlId);
    if (list == nullptr) return;
    list_ = list;
    controlId_ = controlId;
    const LONG_PTR style = GetWindowLongPtrA(list_, GWL_STYLE);
    SetWindowLongPtrA(list_, GWL_STYLE, style | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_EDITLABELS);
    ListView_SetExtendedListViewStyle(list_, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);

    // The off-screen context of the previous binding goes; a new one matches this control.
    if (memoryDc_ != nullptr) {
        if (previousBitmap_ != nullptr) SelectObject(memoryDc_, previousBitmap_);
        DeleteDC(memoryDc_);
    }
    if (memoryBitmap_ != nullptr) DeleteObject(memoryBitmap_);
    memoryBitmap_ = nullptr;
    previousBitmap_ = nullptr;
    bitmapWidth_ = bitmapHeight_ = 0;
    HDC listDc = GetDC(list_);
    memoryDc_ = CreateCompatibleDC(listDc);
    ReleaseDC(list_, listDc);
    SelectObject(memoryDc_, reinterpret_cast<HFONT>(SendMessageA(list_, WM_GETFONT, 0, 0)));
    SetTextColor(memoryDc_, RGB(0, 0, 0));
    SetBkMode(memoryDc_, TRANSPARENT);
}

bool CListViewBase::OnNotify(HWND /*dialog*/, int controlId, NMHDR* header, LRESULT& result) {
    if (list_ == nullptr || controlId != controlId_ || header->hwndFrom != list_ || model_ == nullptr) return false;
    result = 0;
    switch (header->code) {
        case LVN_KEYDOWN:
            OnKeyDown();
            return true;
        case LVN_BEGINDRAG:
            OnBeginDrag();
            return true;
        case LVN_BEGINLABELEDITA:
        case LVN_BEGINLABELEDITW: {
            HWND edit = ListView_GetEditControl(list_);
            if (edit == nullptr) return true;
            auto previous = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CListViewBase::CellEditProc)));
            if (previous != &CListViewBase::CellEditProc) previousEditProc_ = previous;
            SetPropA(edit, kListViewProperty, this);
            if (model_->editAllowed()) {
                OnBeginLabelEdit(edit);
            } else {
                result = TRUE;  // cancels the edit
            }
            return true;
        }
        case LVN_ENDLABELEDITA:
        case LVN_ENDLABELEDITW: {
            HWND edit = ListView_GetEditControl(list_);
            if (header->code == LVN_ENDLABELEDITA) {
                const auto* info = reinterpret_cast<NMLVDISPINFOA*>(header);
                if (info->item.pszText != nullptr) OnEndLabelEdit(info->item.pszText);
            } else {
                const auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
                if (info->item.pszText != nullptr) {
                    char text[260] = {};
                    WideCharToMultiByte(CP_ACP, 0, info->item.pszText, -1, text, sizeof text - 1, nullptr, nullptr);
                    OnEndLabelEdit(text);
                }
            }
            if (edit != nullptr) {
                RemovePropA(edit, kListViewProperty);
                if (previousEditProc_ != nullptr) {
                    SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousEditProc_));
                }
            }
            result = FALSE;  // the control has set the cells itself
            return true;
        }
        case NM_CUSTOMDRAW: {
            auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
            const DWORD stage = draw->nmcd.dwDrawStage;
            if (stage == CDDS_PREPAINT || stage == CDDS_ITEMPREPAINT) {
                result = CDRF_NOTIFYSUBITEMDRAW;
            } else if (stage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) {
                DrawCell(draw->nmcd.hdc, static_cast<int>(draw->nmcd.dwItemSpec), draw->iSubItem);
                result = CDRF_SKIPDEFAULT;
            }
            return true;
        }
        case NM_CLICK: {
            const auto* item = reinterpret_cast<NMITEMACTIVATE*>(header);
            OnClick(item->iItem, item->iSubItem);
            return true;
        }
        case NM_DBLCLK: {
            const auto* item = reinterpret_cast<NMITEMACTIVATE*>(header);
            OnDblClick(item->iItem, item->iSubItem);
            return true;
        }
        default:
            return false;
    }
}

LRESULT CALLBACK CListViewBase::CellEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CListViewBase*>(GetPropA(edit, kListViewProperty));
    WNDPROC previous = self != nullptr ? self->previousEditProc_ : gClipListControl.previousEditProc_;
    if (self != nullptr && message == WM_WINDOWPOSCHANGING) {
        // The system places the edit over the first column; move it over the current cell,
        // keeping the system's vertical placement.
        auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        const RECT cell = self->GetCellRect(self->model_->currentRow(), self->model_->currentColumn());
        if (cell.right > cell.left) {
            if ((pos->flags & SWP_NOMOVE) == 0) pos->x = cell.left;
            if ((pos->flags & SWP_NOSIZE) == 0) pos->cx = cell.right - cell.left;
        }
    } else if (message == WM_DESTROY) {
        RemovePropA(edit, kListViewProperty);
    }
    if (previous == nullptr) return DefWindowProcA(edit, message, wParam, lParam);
    return CallWindowProcA(previous, edit, message, wParam, lParam);
}

void CListViewBase::OnBeginLabelEdit(HWND edit) {
    std::string text;
    bool digitsOnly = false;
    if (model_->BeginLabelEdit(text, digitsOnly)) SetWindowTextA(edit, text.c_str());
}

void CListViewBase::OnEndLabelEdit(const char* text) {
    model_->SetCellText(model_->currentRow(), model_->currentColumn(), text);
    SyncRow(model_->currentRow());
}

void CListViewBase::OnClick(int row, int column) {
    model_->OnClick(row, column);
    SetCurrentCell(row, column);
}

void CListViewBase::OnDblClick(int row, int column) {
    if (model_->OnDblClick(row, column)) {
        SetCurrentCell(row, column);
        ListView_EditLabel(list_, row);
    } else {
        SetCurrentCell(-1, -1);
    }
}

int CListViewBase::AddColumn(const char* text, int width) {
    if (list_ == nullptr) return -1;
    const int index = Header_GetItemCount(ListView_GetHeader(list_));
    if (model_ != nullptr) model_->InsertColumn(static_cast<size_t>(index), text, width);
    return InsertListColumn(index, text, width);
}

int CListViewBase::InsertColumn(int index, const char* text, int width) {
    if (list_ == nullptr) return -1;
    if (model_ != nullptr) model_->InsertColumn(static_cast<size_t>(index), text, width);
    return InsertListColumn(index, text, width);
}

void CListViewBase::SyncColumns() {
    if (list_ == nullptr || model_ == nullptr) return;
    const auto& columns = model_->columns();
    for (int index = Header_GetItemCount(ListView_GetHeader(list_)); index < static_cast<int>(columns.size()); ++index) {
        InsertListColumn(index, columns[static_cast<size_t>(index)].text.c_str(), columns[static_cast<size_t>(index)].width);
    }
}

int CListViewBase::InsertListColumn(int index, const char* text, int width) {
    if (width == -1) {
        // (length + 2) wide characters of the control's font.
        HDC dc = GetDC(list_);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(list_, WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32W(dc, L"\x738B", 1, &size);
        SelectObject(dc, old);
        ReleaseDC(list_, dc);
        width = static_cast<int>((strlen(text) + 2) * static_cast<size_t>(size.cx));
    }
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<char*>(text);
    column.iSubItem = index;
    return static_cast<int>(SendMessageA(list_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index),
                                         reinterpret_cast<LPARAM>(&column)));
}

void CListViewBase::SyncRows() {
    if (list_ == nullptr || model_ == nullptr) return;
    ListView_DeleteAllItems(list_);
    for (int row = 0; row < model_->rowCount(); ++row) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        std::string name = model_->CellText(row, 0);
        item.pszText = name.data();
        SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        SyncRow(row);
    }
    SetCurrentCell(model_->currentRow(), model_->currentColumn());
}

void CListViewBase::SyncRow(int row) {
    if (list_ == nullptr || model_ == nullptr || row < 0 || row >= model_->rowCount()) return;
    for (int column = 0; column <= ClipListModel::kEndColumn; ++column) {
        std::string text = model_->CellText(row, column);
        if (ItemText(list_, row, column) != text) ListView_SetItemText(list_, row, column, text.data());
    }
    InvalidateRect(list_, nullptr, TRUE);
}

void CListViewBase::SetCurrentCell(int row, int column) {
    if (list_ == nullptr || model_ == nullptr) return;
    if (row != model_->currentRow() || column != model_->currentColumn()) model_->SetCurrentCell(row, column);
    // The system's selection follows the current row.
    const int count = ListView_GetItemCount(list_);
    for (int i = 0; i < count; ++i) {
        const UINT state = i == model_->selectedRow() ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
        ListView_SetItemState(list_, i, state, LVIS_SELECTED | LVIS_FOCUSED);
    }
    if (model_->selectedRow() >= 0) ListView_EnsureVisible(list_, model_->selectedRow(), FALSE);
    InvalidateRect(list_, nullptr, TRUE);
}

RECT CListViewBase::GetCellRect(int row, int column) const {
    RECT rect{};
    if (list_ == nullptr || row < 0 || column < 0) return rect;
    if (column == 0) {
        rect.left = LVIR_LABEL;
        SendMessageA(list_, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
    } else {
        rect.top = column;
        rect.left = LVIR_BOUNDS;
        SendMessageA(list_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
    }
    return rect;
}

void CListViewBase::RedrawCell(int row, int column) {
    const RECT rect = GetCellRect(row, column);
    InvalidateRect(list_, &rect, TRUE);
}

void CListViewBase::DrawCell(HDC dc, int row, int column) {
    const std::string text = ItemText(list_, row, column);
    const RECT cell = GetCellRect(row, column);
    const int width = cell.right - cell.left;
    const int height = cell.bottom - cell.top;
    if (width <= 0 || height <= 0 || memoryDc_ == nullptr) return;
    if (memoryBitmap_ == nullptr || bitmapWidth_ < width || bitmapHeight_ < height) {
        HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
        HGDIOBJ old = SelectObject(memoryDc_, bitmap);
        if (previousBitmap_ == nullptr) previousBitmap_ = old;
        if (memoryBitmap_ != nullptr) DeleteObject(memoryBitmap_);
        memoryBitmap_ = bitmap;
        bitmapWidth_ = width;
        bitmapHeight_ = height;
    }
    RECT area{0, 0, width, height};
    FillRect(memoryDc_, &area, model_ != nullptr && model_->IsCurrentCell(row, column) ? currentBrush_ : whiteBrush_);
    RECT textArea{5, 0, width, height};
    DrawTextA(memoryDc_, text.c_str(), -1, &textArea, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    BitBlt(dc, cell.left, cell.top, width, height, memoryDc_, 0, 0, SRCCOPY);
}

void CAnimListView::OnBeginLabelEdit(HWND edit) {
    std::string text;
    bool digitsOnly = false;
    if (!model_->BeginLabelEdit(text, digitsOnly)) return;
    const LONG_PTR style = GetWindowLongPtrA(edit, GWL_STYLE);
    SetWindowLongPtrA(edit, GWL_STYLE, digitsOnly ? (style | ES_NUMBER) : (style & ~static_cast<LONG_PTR>(ES_NUMBER)));
    SetWindowTextA(edit, text.c_str());
}

void CAnimListView::OnEndLabelEdit(const char* text) {
    if (model_->EndLabelEdit(text)) SyncRow(model_->currentRow());
}
