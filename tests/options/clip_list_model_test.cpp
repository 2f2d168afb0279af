// The clip list control: unique names, clamping, current cell and in-place edits. (A start typed
// beyond the end, a name refused and a row inserted and deleted over the real list view: the
// test of the dialog over the real controls.)
#include <gtest/gtest.h>

#include "options/clip_list_model.h"

namespace {

ClipListModel MakeList(int32_t first, int32_t last, const AnimClipList& clips) {
    ClipListModel list;
    list.Reset(first, last);
    for (const AnimClip& clip : clips) list.AddClip(clip.name, clip.start, clip.end);
    return list;
}

// Types text into cell (row, column) the way a user does: two clicks, then the edit.
bool TypeInto(ClipListModel& list, int32_t row, int32_t column, std::string_view text) {
    list.OnClick(row, column);
    list.OnClick(row, column);
    std::string initial;
    bool digitsOnly = false;
    if (!list.BeginLabelEdit(initial, digitsOnly)) return false;
    return list.EndLabelEdit(text);
}

}  // namespace

TEST(ClipList, UniqueNamesExtendTheLongestMatch) {
    EXPECT_EQ(MakeList(0, 100, {{"Anim1", 0, 1}, {"Anims_2", 0, 1}}).MakeUniqueClipName("Anims_3"), "Anims_3");
    EXPECT_EQ(MakeList(0, 100, {{"Anim1", 0, 1}, {"Anims_3", 0, 1}}).MakeUniqueClipName("Anims_3"), "Anims_3_");
    EXPECT_EQ(MakeList(0, 100, {{"Anims_3", 0, 1}, {"Anims_3_", 0, 1}}).MakeUniqueClipName("Anims_3"), "Anims_3__");
    // Substring match: "xAnims_3y" contains the base and is the longest.
    EXPECT_EQ(MakeList(0, 100, {{"Anims_3_", 0, 1}, {"xAnims_3y", 0, 1}}).MakeUniqueClipName("Anims_3"),
              "xAnims_3y_");

    ClipListModel list = MakeList(0, 100, {{"Anim1", 0, 1}, {"Anims_2", 0, 1}});
    list.AddClip("", 0, 100);
    EXPECT_EQ(list.CellText(2, 0), "Anims_3");
}

TEST(ClipList, AddClipPullsFramesIntoTheRange) {
    ClipListModel list = MakeList(0, 100, {{"a", 80, 20}, {"b", -5, 500}, {"c", 150, 120}});
    EXPECT_EQ(list.ReadClips(), (AnimClipList{{"a", 20, 20}, {"b", 0, 100}, {"c", 100, 100}}));
    EXPECT_EQ(list.currentRow(), 2);  // the appended row is current
    // Frames are read as far as they are numbers. (Names are cut to 31 characters: the clip dialog test.)
    list.SetItemText(0, 1, "7x");
    list.SetItemText(0, 2, "");
    EXPECT_EQ(list.ReadClips()[0], (AnimClip{"a", 7, 0}));
    // An inverted range from a broken scene is handled without fault.
    ClipListModel inverted = MakeList(10, 0, {{"x", 5, 5}});
    EXPECT_EQ(inverted.rowCount(), 1);
}

TEST(ClipList, FrameEditsKeepStartNotAfterEndWithinTheRange) {
    ClipListModel list = MakeList(0, 100, {{"a", 0, 60}, {"b", 40, 90}});
    EXPECT_TRUE(TypeInto(list, 1, 2, "10"));   // end before the start: both become max(v, first)
    EXPECT_EQ(list.rows()[1], (ClipListModel::Row{"b", "10", "10"}));
    EXPECT_TRUE(TypeInto(list, 1, 2, "0999"));  // above the last frame: the last frame
    EXPECT_EQ(list.rows()[1], (ClipListModel::Row{"b", "10", "100"}));
    EXPECT_TRUE(TypeInto(list, 1, 2, "050"));   // in range: kept as typed
    EXPECT_EQ(list.rows()[1][2], "050");

    ClipListModel shifted = MakeList(30, 100, {{"a", 40, 60}});
    EXPECT_TRUE(TypeInto(shifted, 0, 2, "10"));
    EXPECT_EQ(shifted.rows()[0], (ClipListModel::Row{"a", "30", "30"}));
    EXPECT_TRUE(TypeInto(shifted, 0, 2, "80"));
    EXPECT_TRUE(TypeInto(shifted, 0, 1, "5"));  // below the first frame: the first frame
    EXPECT_EQ(shifted.rows()[0], (ClipListModel::Row{"a", "30", "80"}));
    // Thirty-one digits saturate instead of overflowing, then clamp.
    EXPECT_TRUE(TypeInto(shifted, 0, 2, std::string(31, '9')));
    EXPECT_EQ(shifted.rows()[0][2], "100");
}

TEST(ClipList, InvalidEditsLeaveTheCellUnchanged) {
    ClipListModel list = MakeList(0, 100, {{"Walk", 10, 20}});
    for (const char* text : {"1a", "", "-5", "12345678901234567890123456789012"}) EXPECT_FALSE(TypeInto(list, 0, 1, text));
    for (const char* text : {"1run", "my clip", "", "\xC3\xA9t\xC3\xA9"}) EXPECT_FALSE(TypeInto(list, 0, 0, text));
    EXPECT_FALSE(TypeInto(list, 0, 0, std::string(32, 'a')));
    EXPECT_EQ(list.rows()[0], (ClipListModel::Row{"Walk", "10", "20"}));
    EXPECT_TRUE(TypeInto(list, 0, 0, "_run2"));
    EXPECT_TRUE(TypeInto(list, 0, 0, std::string(31, 'b')));
    EXPECT_EQ(list.rows()[0][0], std::string(31, 'b'));
}

// (A first click only selects and a second one edits: tested over the real list view.)
TEST(ClipList, DoubleClickEditsAtOnce) {
    ClipListModel list = MakeList(0, 100, {{"a", 0, 10}, {"b", 0, 10}, {"c", 0, 10}});
    std::string text;
    bool digitsOnly = false;
    EXPECT_TRUE(list.OnDblClick(2, 0));
    ASSERT_TRUE(list.BeginLabelEdit(text, digitsOnly));
    EXPECT_EQ(text, "c");
    EXPECT_FALSE(digitsOnly);
    EXPECT_FALSE(list.OnDblClick(-1, 0));  // outside the rows: no current cell
    EXPECT_EQ(list.currentRow(), -1);
}

TEST(ClipList, InsertAndDeleteRows) {
    ClipListModel list = MakeList(5, 50, {{"a", 5, 6}, {"b", 7, 8}});
    list.SetCurrentCell(-1, -1);
    list.InsertClip();  // no current row: appended
    EXPECT_EQ(list.rows()[2], (ClipListModel::Row{"Anims_3", "5", "50"}));
    list.SetCurrentCell(1, 0);
    list.InsertClip();  // at the current row, which stays current
    EXPECT_EQ(list.rows()[1], (ClipListModel::Row{"Anims_2", "5", "50"}));
    EXPECT_EQ(list.rows()[2][0], "b");
    EXPECT_EQ(list.currentRow(), 1);

    list.DeleteRow(3);  // below the current row: the current row stays
    EXPECT_EQ(list.currentRow(), 1);
    list.DeleteRow(0);  // above: the current row moves up with its clip
    EXPECT_EQ(list.currentRow(), 0);
    EXPECT_EQ(list.rows()[0][0], "Anims_2");
    list.DeleteRow(0);  // row 0 while current: no current row
    EXPECT_EQ(list.currentRow(), -1);
    list.DeleteRow(5);
    list.DeleteRow(-1);
    list.InsertRow(7);
    EXPECT_EQ(list.rowCount(), 1);
}
