// The animation clip list control without a window system: the rows of the list view, the
// current cell and the rules for adding, inserting, deleting and editing clips in place.
//
// The Win32 view (options/win32/) mirrors rows() into a report-style list view and forwards
// clicks and label edits here; the options dialog reads the clips back from rows() on OK.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "options/export_options.h"

class ClipListModel {
public:
    static constexpr int kNameColumn = 0;
    static constexpr int kStartColumn = 1;
    static constexpr int kEndColumn = 2;
    static constexpr size_t kMaxCellText = 259;     // cell texts are read into 260-byte buffers
    static constexpr size_t kMaxEditLength = 31;    // longest text an in-place edit accepts
    static constexpr size_t kMaxUniqueBase = 63;    // characters of a name compared for uniqueness

    using Row = std::array<std::string, 3>;  // name, start frame, end frame, as shown

    struct Column {
        std::string text;
        int width = 0;  // pixels; -1 asks the view for (text length + 2) wide characters
    };

    // Forgets rows, columns and the current cell, and sets the scene's animation range in frames.
    // Edit-allowed survives: it belongs to the control, not to one filling.
    void Reset(int32_t firstFrame, int32_t lastFrame);
    int32_t firstFrame() const { return firstFrame_; }
    int32_t lastFrame() const { return lastFrame_; }

    void AddColumn(std::string_view text, int width);
    void InsertColumn(size_t index, std::string_view text, int width);
    const std::vector<Column>& columns() const { return columns_; }

    const std::vector<Row>& rows() const { return rows_; }
    int32_t rowCount() const { return static_cast<int32_t>(rows_.size()); }
    // The text of a cell, or "" for a cell that does not exist.
    std::string CellText(int32_t row, int32_t column) const;
    // Column 0 inserts a new row at index row with that text (when 0 <= row <= rowCount);
    // a later column sets the text of an existing cell. Texts are cut to 259 characters.
    void SetItemText(int32_t row, int32_t column, std::string_view text);
    // Sets the text of an existing cell of any column, cut to 259 characters.
    void SetCellText(int32_t row, int32_t column, std::string_view text);

    // Inserts an empty row at index (0 to rowCount) and makes it the current row.
    void InsertRow(int32_t index);
    void AppendRow() { InsertRow(rowCount()); }
    // Deletes the row at index (0 to rowCount - 1); when index <= current row, the current row
    // moves up by one (to -1, no current row, when row 0 was current).
    void DeleteRow(int32_t index);

    int32_t currentRow() const { return currentRow_; }
    int32_t currentColumn() const { return currentColumn_; }
    // The row the system shows selected and focused: the current row.
    int32_t selectedRow() const { return currentRow_; }
    // Makes (row, column) current; a negative row or column clears the current cell.
    void SetCurrentCell(int32_t row, int32_t column);
    bool IsCurrentCell(int32_t row, int32_t column) const {
        return row == currentRow_ && column == currentColumn_ && row >= 0 && column >= 0;
    }

    // A click on a cell: the first click makes it current, a second click on the same cell
    // allows an in-place edit.
    void OnClick(int32_t row, int32_t column);
    // A double click: makes the cell current; true when the view should start the edit.
    bool OnDblClick(int32_t row, int32_t column);

    bool editAllowed() const { return editAllowed_; }
    // The start of an in-place edit. False when editing is not allowed (the view cancels the
    // edit). Otherwise text is the current cell's text and digitsOnly tells whether the field
    // takes digits only (the frame columns).
    bool BeginLabelEdit(std::string& text, bool& digitsOnly) const;
    // The end of an in-place edit with the typed text; the cell changes only when the text is
    // valid for its column. True when a cell changed.
    bool EndLabelEdit(std::string_view text);

    // name with "_" appended when a row's name (its first 63 characters) contains it: the longest
    // such name (the first of equal length) plus "_"; else base itself.
    std::string MakeUniqueClipName(std::string_view base) const;
    // Appends a clip with its frames pulled into the range and its start not after its end. An
    // empty name becomes a unique "Anims_<n>" (n = row count + 1).
    void AddClip(std::string_view name, int32_t start, int32_t end);
    // "Insert": a default clip spanning the range at the current row, or appended when there is
    // no current row.
    void InsertClip();

    // The clips as the rows hold them: names cut to 31 characters, frames read as decimal
    // numbers from the start of their cells, not clamped.
    AnimClipList ReadClips() const;

private:
    int32_t ClampFrame(int32_t frame) const;

    std::vector<Column> columns_;
    std::vector<Row> rows_;
    int32_t firstFrame_ = 0;
    int32_t lastFrame_ = 0;
    int32_t currentRow_ = -1;
    int32_t currentColumn_ = -1;
    bool editAllowed_ = true;
};
