// The clip list control over a report-style list view: every cell selectable and editable in
// place, cells drawn by the control with the current cell in grey. The rows and all rules live
// in ClipListModel; these classes mirror it into the list view and forward the list view's
// notifications to it.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "options/clip_list_model.h"

class CListViewBase {
public:
    CListViewBase();
    virtual ~CListViewBase();
    CListViewBase(const CListViewBase&) = delete;
    CListViewBase& operator=(const CListViewBase&) = delete;

    // The model whose rows the control shows; it must outlive the binding.
    void SetModel(ClipListModel* model) { model_ = model; }
    ClipListModel* model() const { return model_; }
    HWND window() const { return list_; }

    virtual void Attach(HWND dialog, int controlId);
    // One notification of the dialog; true when it was the bound control's and was handled,
    // with result the value the dialog must answer.
    virtual bool OnNotify(HWND dialog, int controlId, NMHDR* header, LRESULT& result);
    virtual void OnBeginLabelEdit(HWND edit);
    virtual void OnEndLabelEdit(const char* text);
    virtual void OnClick(int row, int column);
    virtual void OnDblClick(int row, int column);
    virtual void OnBeginDrag() {}
    virtual void OnKeyDown() {}
    virtual int AddColumn(const char* text, int width);
    virtual int InsertColumn(int index, const char* text, int width);

    // Gives the list view the model's columns (those not yet shown).
    void SyncColumns();
    // Rebuilds the list view's rows from the model (after rows were added, inserted or deleted).
    void SyncRows();
    // Copies one row's texts from the model.
    void SyncRow(int row);
    void SetCurrentCell(int row, int column);
    RECT GetCellRect(int row, int column) const;
    void RedrawCell(int row, int column);
    void DrawCell(HDC dc, int row, int column);

    // The in-place edit's window procedure: keeps the edit over the current cell.
    static LRESULT CALLBACK CellEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    // Inserts a column into the list view only; a width of -1 is (length + 2) wide characters.
    int InsertListColumn(int index, const char* text, int width);

    ClipListModel* model_ = nullptr;
    HWND list_ = nullptr;
    int controlId_ = 0;
    COLORREF currentColor_ = RGB(204, 204, 204);
    HBRUSH currentBrush_ = nullptr;
    HBRUSH whiteBrush_ = nullptr;
    HDC memoryDc_ = nullptr;
    HBITMAP memoryBitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    int bitmapWidth_ = 0;
    int bitmapHeight_ = 0;
    WNDPROC previousEditProc_ = nullptr;
};

// The clip-specific control: frame cells take digits only, and typed values are checked by the
// model (identifier-like names, frames inside the animation range, start not after end).
class CAnimListView : public CListViewBase {
public:
    void OnBeginLabelEdit(HWND edit) override;
    void OnEndLabelEdit(const char* text) override;
};

// The process-wide clip list control bound to the options dialog's list.
CAnimListView& TheClipListControl();
