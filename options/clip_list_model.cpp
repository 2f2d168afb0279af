#include "options/clip_list_model.h"

#include <algorithm>

#include "options/number_text.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string_view Cut(std::string_view s, size_t n) { return s.substr(0, std::min(s.size(), n)); }

}  // namespace

void ClipListModel::Reset(int32_t firstFrame, int32_t lastFrame) {
    columns_.clear();
    rows_.clear();
    firstFrame_ = firstFrame;
    lastFrame_ = lastFrame;
    currentRow_ = -1;
    currentColumn_ = -1;
}

void ClipListModel::AddColumn(std::string_view text, int width) { InsertColumn(columns_.size(), text, width); }

void ClipListModel::InsertColumn(size_t index, std::string_view text, int width) {
    index = std::min(index, columns_.size());
    columns_.insert(columns_.begin() + static_cast<std::ptrdiff_t>(index), Column{std::string(text), width});
}

std::string ClipListModel::CellText(int32_t row, int32_t column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column > kEndColumn) return std::string();
    return rows_[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

void ClipListModel::SetItemText(int32_t row, int32_t column, std::string_view text) {
    text = Cut(text, kMaxCellText);
    if (column == kNameColumn) {
        if (row < 0 || row > rowCount()) return;
        rows_.insert(rows_.begin() + row, Row{std::string(text), std::string(), std::string()});
        // Rows at or below the insertion point move down with the current cell.
        if (currentRow_ >= row) ++currentRow_;
        return;
    }
    SetCellText(row, column, text);
}

void ClipListModel::SetCellText(int32_t row, int32_t column, std::string_view text) {
    if (row < 0 || row >= rowCount() || column < 0 || column > kEndColumn) return;
    rows_[static_cast<size_t>(row)][static_cast<size_t>(column)] = std::string(Cut(text, kMaxCellText));
}

void ClipListModel::InsertRow(int32_t index) {
    if (index < 0 || index > rowCount()) return;
    rows_.insert(rows_.begin() + index, Row{});
    currentRow_ = index;
}

void ClipListModel::DeleteRow(int32_t index) {
    if (index < 0 || index >= rowCount()) return;
    rows_.erase(rows_.begin() + index);
    if (index <= currentRow_) --currentRow_;
}

void ClipListModel::SetCurrentCell(int32_t row, int32_t column) {
    if (row >= 0 && column >= 0) {
        currentRow_ = row;
        currentColumn_ = column;
    } else {
        currentRow_ = -1;
        currentColumn_ = -1;
    }
}

void ClipListModel::OnClick(int32_t row, int32_t column) {
    editAllowed_ = IsCurrentCell(row, column);
    SetCurrentCell(row, column);
}

bool ClipListModel::OnDblClick(int32_t row, int32_t column) {
    SetCurrentCell(row, column);
    if (row < 0 || column < 0) return false;
    editAllowed_ = true;
    return true;
}

bool ClipListModel::BeginLabelEdit(std::string& text, bool& digitsOnly) const {
    if (!editAllowed_) return false;
    digitsOnly = currentColumn_ == kStartColumn || currentColumn_ == kEndColumn;
    text = Cut(CellText(currentRow_, currentColumn_), kMaxCellText);
    return true;
}

bool ClipListModel::EndLabelEdit(std::string_view text) {
    if (text.empty() || text.size() > kMaxEditLength) return false;
    if (currentRow_ < 0 || currentRow_ >= rowCount()) return false;
    Row& row = rows_[static_cast<size_t>(currentRow_)];

    if (currentColumn_ == kNameColumn) {
        if (IsDigit(text.front())) return false;
        for (char c : text) {
            if (!(IsAsciiLetter(c) || IsDigit(c) || c == '_')) return false;
        }
        row[kNameColumn] = std::string(text);
        return true;
    }
    if (currentColumn_ != kStartColumn && currentColumn_ != kEndColumn) return false;
    if (!std::all_of(text.begin(), text.end(), IsDigit)) return false;

    // Up to 31 digits: the value saturates instead of overflowing, then the range limits apply.
    const int32_t v = ParseLeadingInt(text);
    const int32_t other = ParseLeadingInt(row[currentColumn_ == kStartColumn ? kEndColumn : kStartColumn]);
    if (currentColumn_ == kStartColumn) {
        if (v <= other) {
            row[kStartColumn] = v >= firstFrame_ ? std::string(text) : std::to_string(firstFrame_);
        } else {
            const std::string both = std::to_string(std::min(v, lastFrame_));
            row[kStartColumn] = both;
            row[kEndColumn] = both;
        }
    } else {
        if (v >= other) {
            row[kEndColumn] = v <= lastFrame_ ? std::string(text) : std::to_string(lastFrame_);
        } else {
            const std::string both = std::to_string(std::max(v, firstFrame_));
            row[kStartColumn] = both;
            row[kEndColumn] = both;
        }
    }
    return true;
}

std::string ClipListModel::MakeUniqueClipName(std::string_view base) const {
    bool found = false;
    std::string_view longest;
    for (const Row& row : rows_) {
        const std::string_view name = Cut(row[kNameColumn], kMaxUniqueBase);
        if (name.find(base) == std::string_view::npos) continue;
        if (!found || name.size() > longest.size()) longest = name;
        found = true;
    }
    return found ? std::string(longest) + "_" : std::string(base);
}

int32_t ClipListModel::ClampFrame(int32_t frame) const {
    // Not std::clamp: a broken scene may give an inverted range, which must not be undefined.
    return frame < firstFrame_ ? firstFrame_ : (frame > lastFrame_ ? lastFrame_ : frame);
}

void ClipListModel::AddClip(std::string_view name, int32_t start, int32_t end) {
    std::string clipName(name);
    if (clipName.empty()) clipName = MakeUniqueClipName("Anims_" + std::to_string(rowCount() + 1));
    const int32_t e = ClampFrame(end);
    const int32_t s = std::min(e, ClampFrame(start));
    AppendRow();
    const int32_t row = rowCount() - 1;
    rows_[static_cast<size_t>(row)] = Row{std::string(Cut(clipName, kMaxCellText)), std::to_string(s), std::to_string(e)};
}

void ClipListModel::InsertClip() {
    if (currentRow_ < 0 || currentRow_ > rowCount()) {
        AddClip("", firstFrame_, lastFrame_);
        return;
    }
    const int32_t r = currentRow_;
    InsertRow(r);
    rows_[static_cast<size_t>(r)] = Row{MakeUniqueClipName("Anims_" + std::to_string(r + 1)),
                                         std::to_string(firstFrame_), std::to_string(lastFrame_)};
}

AnimClipList ClipListModel::ReadClips() const {
    AnimClipList clips;
    clips.reserve(rows_.size());
    for (const Row& row : rows_) {
        clips.push_back(AnimClip{std::string(Cut(row[kNameColumn], kMaxEditLength)), ParseLeadingInt(row[kStartColumn]),
                                 ParseLeadingInt(row[kEndColumn])});
    }
    return clips;
}
