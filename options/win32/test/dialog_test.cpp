// Drives the options dialog and the clip dialog over the real Win32 controls, by messages, and
// checks the control states and the values read back. Run under Wine:
//   plover_dialog_test.exe [screenshot.bmp]
// Prints one line per failed check and ends with "N passed, N failed".
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "options/options_dialog_ids.h"
#include "options/options_dialog_model.h"
#include "options/options_file.h"
#include "options/win32/module_attach.h"
#include "options/win32/options_dialog_win32.h"

namespace {

int gPassed = 0;
int gFailed = 0;
const char* gScreenshotPath = nullptr;
enum class Scenario { Drive, Cancel } gScenario = Scenario::Drive;

#define CHECK(condition)                                                                  \
    do {                                                                                  \
        if (condition) {                                                                  \
            ++gPassed;                                                                    \
        } else {                                                                          \
            ++gFailed;                                                                    \
            std::printf("FAILED line %d: %s\n", __LINE__, #condition);                   \
        }                                                                                 \
    } while (0)

#define CHECK_TEXT(actual, expected)                                                                        \
    do {                                                                                                    \
        const std::string a_ = (actual);                                                                    \
        const std::string e_ = (expected);                                                                  \
        if (a_ == e_) {                                                                                     \
            ++gPassed;                                                                                      \
        } else {                                                                                            \
            ++gFailed;                                                                                      \
            std::printf("FAILED line %d: %s is \"%s\", expected \"%s\"\n", __LINE__, #actual, a_.c_str(), \
                        e_.c_str());                                                                        \
        }                                                                                                   \
    } while (0)

std::string Text(HWND window) {
    char buffer[260] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}
std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }
bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void Type(HWND dialog, int id, const char* characters) {
    HWND edit = GetDlgItem(dialog, id);
    for (const char* c = characters; *c != '\0'; ++c) SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(*c), 0);
}
void Replace(HWND dialog, int id, const char* text) {
    SetDlgItemTextA(dialog, id, "");
    Type(dialog, id, text);
}

std::string Cell(HWND list, int row, int column) {
    char buffer[260] = {};
    ListView_GetItemText(list, row, column, buffer, sizeof buffer);
    return buffer;
}

// A list-view notification as the control sends it after a click on a cell.
void NotifyCell(HWND dialog, UINT code, int row, int column) {
    NMITEMACTIVATE item{};
    item.hdr.hwndFrom = GetDlgItem(dialog, dlg::kClipList);
    item.hdr.idFrom = dlg::kClipList;
    item.hdr.code = code;
    item.iItem = row;
    item.iSubItem = column;
    SendMessageA(dialog, WM_NOTIFY, dlg::kClipList, reinterpret_cast<LPARAM>(&item));
}

void Spin(HWND dialog, int id, int delta) {
    NMUPDOWN spin{};
    spin.hdr.hwndFrom = GetDlgItem(dialog, id);
    spin.hdr.idFrom = static_cast<UINT_PTR>(id);
    spin.hdr.code = UDN_DELTAPOS;
    spin.iDelta = delta;
    SendMessageA(dialog, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&spin));
}

RECT SubItemRect(HWND list, int row, int column) {
    RECT rect{};
    rect.top = column;
    rect.left = LVIR_BOUNDS;
    SendMessageA(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
    return rect;
}

// Starts the in-place edit of the current cell, types text and presses Enter.
void EditCell(HWND dialog, int row, int column, const char* text, RECT* editRect = nullptr) {
    HWND list = GetDlgItem(dialog, dlg::kClipList);
    NotifyCell(dialog, NM_CLICK, row, column);
    NotifyCell(dialog, NM_CLICK, row, column);
    SetFocus(list);
    HWND edit = ListView_EditLabel(list, row);
    CHECK(edit != nullptr);
    if (edit == nullptr) return;
    if (editRect != nullptr) {
        GetWindowRect(edit, editRect);
        MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(editRect), 2);
    }
    SetWindowTextA(edit, text);
    SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
}

// Lets the window system catch up: shows and paints what is pending, for about ms milliseconds.
void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    }
}

bool SaveWindowBitmap(HWND window, const char* path) {
    Pump(500);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    // The window's own drawing surface, frame included: it holds what the window painted even
    // before the X server has shown it.
    HDC screen = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const BOOL blitted = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageSize;
    bool ok = false;
    if (!blitted) {
        // nothing to write
    } else if (FILE* out = std::fopen(path, "wb")) {
        ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info.bmiHeader, sizeof(BITMAPINFOHEADER), 1, out) == 1 &&
             std::fwrite(bits, 1, imageSize, out) == imageSize;
        ok = std::fclose(out) == 0 && ok;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return ok;
}

void DriveClipDialog(HWND dialog) {
    CHECK_TEXT(Text(dialog), "Animation");
    CHECK_TEXT(ItemText(dialog, dlg::kClipName), "Anims_3");
    CHECK_TEXT(ItemText(dialog, dlg::kClipStartEdit), "0");
    CHECK_TEXT(ItemText(dialog, dlg::kClipEndEdit), "100");
    SetDlgItemTextA(dialog, dlg::kClipName, "9 lives");  // the clip dialog does not check names
    Spin(dialog, dlg::kClipStartSpinner, 5);
    SetDlgItemTextA(dialog, dlg::kClipEndEdit, "500");   // pulled into the range
    CHECK_TEXT(ItemText(dialog, dlg::kClipStartEdit), "5");
    Click(dialog, dlg::kClipOk);
}

void DriveOptionsDialog(HWND dialog) {
    HWND list = GetDlgItem(dialog, dlg::kClipList);
    // Initial state.
    CHECK_TEXT(Text(dialog), "PLOVER v2.2.8");
    CHECK_TEXT(ItemText(dialog, dlg::kSceneRootName), "Top");
    CHECK(Checked(dialog, dlg::kMaterial) && Checked(dialog, dlg::kMesh) && !Checked(dialog, dlg::kSceneRoot));
    CHECK(Checked(dialog, dlg::kTimelineMax) && !Checked(dialog, dlg::kTimelineCustom));
    CHECK(Checked(dialog, dlg::kKeysSrt));
    CHECK(!Enabled(dialog, dlg::kTangent) && !Enabled(dialog, dlg::kBitangent));  // no declared data
    CHECK(!IsWindowVisible(GetDlgItem(dialog, dlg::kAnimOptionsType)));
    CHECK(SendDlgItemMessageA(dialog, dlg::kXFileType, CB_GETCURSEL, 0, 0) == 1);
    CHECK(SendDlgItemMessageA(dialog, dlg::kXFileType, CB_GETCOUNT, 0, 0) == 3);
    CHECK_TEXT(ItemText(dialog, dlg::kPrecisionEdit), "1.0");
    CHECK_TEXT(ItemText(dialog, dlg::kScale), "1");
    CHECK_TEXT(ItemText(dialog, dlg::kSampleRate), "30");
    CHECK_TEXT(ItemText(dialog, dlg::kStatus), OptionsDialogModel::kStatusText);
    CHECK(ListView_GetItemCount(list) == 2);
    CHECK_TEXT(Cell(list, 1, 0), "Walk");
    CHECK_TEXT(Cell(list, 1, 1), "10");
    CHECK_TEXT(Cell(list, 1, 2), "40");
    CHECK((ListView_GetExtendedListViewStyle(list) & LVS_EX_GRIDLINES) != 0);

    // The picture for the documentation: the dialog as it opens, with one clip cell current.
    NotifyCell(dialog, NM_CLICK, 1, 1);
    if (gScreenshotPath != nullptr) CHECK(SaveWindowBitmap(dialog, gScreenshotPath));

    if (gScenario == Scenario::Cancel) {
        Click(dialog, dlg::kBone);
        Replace(dialog, dlg::kScale, "5");
        Click(dialog, dlg::kCancel);
        return;
    }

    // Unchecking Material clears and disables what depends on it.
    Click(dialog, dlg::kMaterial);
    CHECK(!Checked(dialog, dlg::kMaterial));
    CHECK(!Checked(dialog, dlg::kFx) && !Checked(dialog, dlg::kEffectParams) && !Checked(dialog, dlg::kTextures));
    CHECK(!Enabled(dialog, dlg::kFxOverwrite) && !Enabled(dialog, dlg::kConvertTo) && !Enabled(dialog, dlg::kProcMapX));
    CHECK(!Enabled(dialog, dlg::kNormalMap));

    // Textures brings Material back and enables the texture controls; Normal map checks its needs.
    Click(dialog, dlg::kTextures);
    CHECK(Checked(dialog, dlg::kMaterial) && Enabled(dialog, dlg::kNormalMap) && Enabled(dialog, dlg::kProcMapX));
    Click(dialog, dlg::kNormalMap);
    CHECK(Checked(dialog, dlg::kDeclData) && Checked(dialog, dlg::kCreateShader) && Checked(dialog, dlg::kTangent));
    CHECK(Checked(dialog, dlg::kBitangent) && Checked(dialog, dlg::kMultiTextures) && Checked(dialog, dlg::kTexCoords));
    CHECK(Enabled(dialog, dlg::kTangent));
    Click(dialog, dlg::kTangent);
    CHECK(!Checked(dialog, dlg::kNormalMap) && Checked(dialog, dlg::kCreateShader));

    // Mesh enables the skin controls with their spinner.
    Click(dialog, dlg::kMesh);
    CHECK(!Enabled(dialog, dlg::kSkin) && !Enabled(dialog, dlg::kPrecisionEdit) && !Enabled(dialog, dlg::kPrecisionSpinner));
    Click(dialog, dlg::kMesh);
    CHECK(Enabled(dialog, dlg::kSkin) && Enabled(dialog, dlg::kPrecisionSpinner));
    Spin(dialog, dlg::kPrecisionSpinner, -3);
    CHECK_TEXT(ItemText(dialog, dlg::kPrecisionEdit), "0.7");
    Spin(dialog, dlg::kOptimizeSpinner, 5);
    CHECK_TEXT(ItemText(dialog, dlg::kOptimizeEdit), "3");

    // Edit filters: typed characters.
    Replace(dialog, dlg::kScale, "1234567");
    CHECK_TEXT(ItemText(dialog, dlg::kScale), "123456");
    SendDlgItemMessageA(dialog, dlg::kScale, EM_SETSEL, 2, 3);
    Type(dialog, dlg::kScale, "9");
    CHECK_TEXT(ItemText(dialog, dlg::kScale), "129456");
    Replace(dialog, dlg::kScale, ".123456");
    CHECK_TEXT(ItemText(dialog, dlg::kScale), ".12345");
    Replace(dialog, dlg::kScale, "-0a");
    CHECK_TEXT(ItemText(dialog, dlg::kScale), "0");
    Replace(dialog, dlg::kZRot, "-1000000");
    CHECK_TEXT(ItemText(dialog, dlg::kZRot), "-10000");  // the '-' counts among six digits
    SendDlgItemMessageA(dialog, dlg::kZRot, EM_SETSEL, 3, 3);
    Type(dialog, dlg::kZRot, "-");
    CHECK_TEXT(ItemText(dialog, dlg::kZRot), "-10000");
    Replace(dialog, dlg::kXRot, "45");

    // Typed values read back corrected on OK.
    SetDlgItemTextA(dialog, dlg::kSampleRate, "1200");
    SetDlgItemTextA(dialog, dlg::kProcMapX, "0");
    SetDlgItemTextA(dialog, dlg::kSceneRootName, "My Root");
    SendDlgItemMessageA(dialog, dlg::kXFileType, CB_SETCURSEL, 2, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(dlg::kXFileType, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, dlg::kXFileType)));

    // The clip list: the second click on a cell edits it, with the edit field over that cell.
    RECT editRect{};
    EditCell(dialog, 1, 1, "150", &editRect);
    const RECT cell = SubItemRect(list, 1, 1);
    CHECK(editRect.left == cell.left);
    CHECK(editRect.right == cell.right);
    CHECK_TEXT(Cell(list, 1, 1), "100");
    CHECK_TEXT(Cell(list, 1, 2), "100");
    EditCell(dialog, 1, 0, "1bad");  // refused: names may not begin with a digit
    CHECK_TEXT(Cell(list, 1, 0), "Walk");
    EditCell(dialog, 1, 0, "Walk_2");
    CHECK_TEXT(Cell(list, 1, 0), "Walk_2");
    NotifyCell(dialog, NM_CLICK, 0, 2);  // a first click only selects
    CHECK(ListView_GetNextItem(list, -1, LVNI_SELECTED) == 0);
    SetFocus(list);
    CHECK(ListView_EditLabel(list, 0) == nullptr);  // not allowed yet: the edit is cancelled

    // Insert at the current row, delete it again, then add a clip through the clip dialog.
    Click(dialog, dlg::kInsert);
    CHECK(ListView_GetItemCount(list) == 3);
    CHECK_TEXT(Cell(list, 0, 0), "Anims_1");
    Click(dialog, dlg::kDelete);
    CHECK(ListView_GetItemCount(list) == 2);
    CHECK_TEXT(Cell(list, 0, 0), "Anim1");
    Click(dialog, dlg::kAdd);  // the clip dialog's own test hook fills it in and presses OK
    CHECK(ListView_GetItemCount(list) == 3);
    CHECK_TEXT(Cell(list, 2, 0), "9 lives");
    CHECK_TEXT(Cell(list, 2, 1), "5");
    CHECK_TEXT(Cell(list, 2, 2), "100");

    // The current cell is drawn grey.
    NotifyCell(dialog, NM_CLICK, 1, 2);
    Pump(100);
    UpdateWindow(list);
    const RECT current = SubItemRect(list, 1, 2);
    HDC dc = GetDC(list);
    const COLORREF pixel = GetPixel(dc, current.left + 2, current.top + 2);
    ReleaseDC(list, dc);
    CHECK(pixel == RGB(204, 204, 204));

    Click(dialog, dlg::kOk);
}

void Hook(HWND dialog, int dialogTemplate) {
    // A modal dialog is shown once its message queue first runs empty; the test runs before
    // that, so it shows the dialog itself.
    ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);
    if (dialogTemplate == dlg::kClipTemplate) {
        DriveClipDialog(dialog);
    } else {
        DriveOptionsDialog(dialog);
    }
}

ExportOptions Defaults() {
    ExportOptions options;
    std::string root;
    AnimClipList clips;
    LoadOptions("", OptionsTime{0, 16000, 160, 30}, options, root, clips);
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) gScreenshotPath = argv[1];
    HINSTANCE instance = GetModuleHandleA(nullptr);
    PloverModuleAttach(instance);
    SetDialogTestHook(&Hook);

    DialogContext context;
    context.range = FrameRange{0, 100};
    context.frameRate = 30;
    context.ticksPerFrame = 160;
    context.sceneRootName = "Scene_Root";

    // Cancel: nothing changes.
    gScenario = Scenario::Cancel;
    ExportOptions options = Defaults();
    std::string root = "Top";
    AnimClipList clips{{"Anim1", 0, 100}, {"Walk", 10, 40}};
    const ExportOptions before = options;
    CHECK(RunOptionsDialog(instance, nullptr, context, options, root, clips) == 0);
    CHECK(options.Bones == before.Bones && options.SpaceScale == before.SpaceScale);
    CHECK(clips.size() == 2 && root == "Top");

    // Driving every kind of control, then OK.
    gScenario = Scenario::Drive;
    CHECK(RunOptionsDialog(instance, nullptr, context, options, root, clips) == 1);
    CHECK(options.Mtl == 1 && options.TextureFiles == 1);
    CHECK(options.NormalMapCode == 0 && options.FX == 1 && options.DeclData == 1 && options.Tangent == 0);
    CHECK(options.Precision == 7 && options.KeyOptimizeLevel == 3);
    CHECK(options.SpaceScale == 0.00001f);
    CHECK(options.ZRot == -10000.0f && options.XRot == 45.0f);
    CHECK(options.SampleRate == 120);
    CHECK(options.ProcMapX == 1);
    CHECK(options.XFileType == 2);
    CHECK_TEXT(root, "MyRoot");
    const AnimClipList expectedClips{{"Anim1", 0, 100}, {"Walk_2", 100, 100}, {"9 lives", 5, 100}};
    CHECK(clips == expectedClips);
    for (const AnimClip& clip : clips) std::printf("clip %s %d %d\n", clip.name.c_str(), clip.start, clip.end);

    std::printf("%d passed, %d failed\n", gPassed, gFailed);
    return gFailed == 0 ? 0 : 1;
}
