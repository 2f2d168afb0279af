#include "options/win32/options_dialog_win32.h"

#include <commctrl.h>

#include <string>

#include "options/win32/clip_list_view.h"

namespace {

constexpr UINT kRunTestHook = WM_APP + 1;
constexpr const char* kEditProcProperty = "Plover_EditProc";

DialogTestHook gTestHook = nullptr;

struct OptionsSession {
    HINSTANCE instance = nullptr;
    DialogContext context;
    ExportOptions* options = nullptr;
    std::string* sceneRootName = nullptr;
    AnimClipList* clips = nullptr;
    OptionsDialogModel model;
    bool syncing = false;  // set while the view writes the model's states into the controls
};

struct ClipSession {
    OptionsSession* owner = nullptr;
    ClipDialogModel model;
    bool syncing = false;
};

OptionsSession* gOpenSession = nullptr;

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

void CenterWindow(HWND window, HWND parent) {
    RECT self{};
    GetWindowRect(window, &self);
    RECT area{};
    if (parent == nullptr || !GetWindowRect(parent, &area)) SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    const int x = area.left + ((area.right - area.left) - (self.right - self.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (self.bottom - self.top)) / 2;
    SetWindowPos(window, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool IsClass(HWND window, const char* name) {
    char buffer[32] = {};
    GetClassNameA(window, buffer, sizeof buffer);
    return lstrcmpiA(buffer, name) == 0;
}

bool IsCheckOrRadio(HWND window) {
    if (!IsClass(window, "Button")) return false;
    const LONG_PTR type = GetWindowLongPtrA(window, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_AUTOCHECKBOX || type == BS_CHECKBOX || type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON;
}

// Writes every control state of the model into the dialog's controls.
void SyncToControls(HWND dialog, OptionsSession& session) {
    session.syncing = true;
    const OptionsDialogModel& model = session.model;
    for (int id : model.ControlIds()) {
        HWND control = GetDlgItem(dialog, id);
        if (control == nullptr || id == dlg::kClipList) continue;
        const ControlState& state = model.Control(id);
        if (IsCheckOrRadio(control)) {
            const bool checked = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
            if (checked != state.checked) SendMessageA(control, BM_SETCHECK, state.checked ? BST_CHECKED : BST_UNCHECKED, 0);
        } else if (IsClass(control, "ComboBox")) {
            const LRESULT count = SendMessageA(control, CB_GETCOUNT, 0, 0);
            if (count != static_cast<LRESULT>(state.items.size())) {
                SendMessageA(control, CB_RESETCONTENT, 0, 0);
                for (const std::string& item : state.items) {
                    SendMessageA(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
                }
            }
            if (SendMessageA(control, CB_GETCURSEL, 0, 0) != state.selection) {
                SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(state.selection), 0);
            }
        } else if (IsClass(control, "Edit") || id == dlg::kStatus) {
            if (WindowText(control) != state.text) SetWindowTextA(control, state.text.c_str());
        }
        if ((IsWindowEnabled(control) != FALSE) != state.enabled) EnableWindow(control, state.enabled);
        if ((IsWindowVisible(control) != FALSE) != state.visible) ShowWindow(control, state.visible ? SW_SHOW : SW_HIDE);
    }
    session.syncing = false;
}

// Subclassed scale and rotation edits: typed characters pass through the model's filter.
LRESULT CALLBACK FilteredEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    auto previous = reinterpret_cast<WNDPROC>(GetPropA(edit, kEditProcProperty));
    if (message == WM_CHAR && gOpenSession != nullptr) {
        const EditFilter filter = gOpenSession->model.FilterOf(GetDlgCtrlID(edit));
        char text[31] = {};
        GetWindowTextA(edit, text, sizeof text);
        DWORD start = 0;
        DWORD end = 0;
        SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        if (!EditFilterAccepts(filter, text, start, end > start ? end - start : 0, static_cast<char>(wParam))) return 0;
    } else if (message == WM_NCDESTROY) {
        RemovePropA(edit, kEditProcProperty);
    }
    return previous != nullptr ? CallWindowProcA(previous, edit, message, wParam, lParam)
                               : DefWindowProcA(edit, message, wParam, lParam);
}

void SubclassFiltered(HWND dialog, int id) {
    HWND edit = GetDlgItem(dialog, id);
    if (edit == nullptr) return;
    auto previous = SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FilteredEditProc));
    SetPropA(edit, kEditProcProperty, reinterpret_cast<HANDLE>(previous));
}

void PrepareSpinner(HWND dialog, int id) {
    // The model keeps the value; the arrows only report steps, so the up-down's own position
    // stays in the middle of a wide range.
    HWND spinner = GetDlgItem(dialog, id);
    if (spinner == nullptr) return;
    SendMessageA(spinner, UDM_SETRANGE32, static_cast<WPARAM>(-1000000), 1000000);
    SendMessageA(spinner, UDM_SETPOS32, 0, 0);
}

INT_PTR CALLBACK ClipDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* session = reinterpret_cast<ClipSession*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    switch (message) {
        case WM_INITDIALOG: {
            session = reinterpret_cast<ClipSession*>(lParam);
            SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
            if (session == nullptr) return TRUE;
            CenterWindow(dialog, GetParent(dialog));
            session->model.Initialise(session->owner->model.clips());
            session->syncing = true;
            SetDlgItemTextA(dialog, dlg::kClipName, session->model.name().c_str());
            SetDlgItemTextA(dialog, dlg::kClipStartEdit, session->model.FrameText(dlg::kClipStartEdit).c_str());
            SetDlgItemTextA(dialog, dlg::kClipEndEdit, session->model.FrameText(dlg::kClipEndEdit).c_str());
            session->syncing = false;
            PrepareSpinner(dialog, dlg::kClipStartSpinner);
            PrepareSpinner(dialog, dlg::kClipEndSpinner);
            if (gTestHook != nullptr) PostMessageA(dialog, kRunTestHook, 0, 0);
            return TRUE;
        }
        case kRunTestHook:
            if (gTestHook != nullptr) gTestHook(dialog, dlg::kClipTemplate);
            return TRUE;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (session == nullptr || header->code != UDN_DELTAPOS) return FALSE;
            const int id = static_cast<int>(header->idFrom);
            session->model.StepSpinner(id, reinterpret_cast<NMUPDOWN*>(lParam)->iDelta);
            const int edit = id == dlg::kClipStartSpinner ? dlg::kClipStartEdit : dlg::kClipEndEdit;
            session->syncing = true;
            SetDlgItemTextA(dialog, edit, session->model.FrameText(edit).c_str());
            session->syncing = false;
            SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);  // the up-down keeps its own position
            return TRUE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (session != nullptr && HIWORD(wParam) == EN_CHANGE && !session->syncing &&
                (id == dlg::kClipStartEdit || id == dlg::kClipEndEdit)) {
                session->model.SetText(id, WindowText(reinterpret_cast<HWND>(lParam)));
                return TRUE;
            }
            if (id == dlg::kClipOk) {
                if (session != nullptr) {
                    char name[64] = {};
                    GetDlgItemTextA(dialog, dlg::kClipName, name, sizeof name);
                    session->model.SetName(name);
                    session->model.Accept(session->owner->model.clips());
                }
                EndDialog(dialog, 1);
                return TRUE;
            }
            if (id == dlg::kClipCancel) {
                EndDialog(dialog, 2);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* session = reinterpret_cast<OptionsSession*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    CAnimListView& listControl = TheClipListControl();
    switch (message) {
        case WM_INITDIALOG: {
            session = reinterpret_cast<OptionsSession*>(lParam);
            SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
            SubclassFiltered(dialog, dlg::kScale);
            SubclassFiltered(dialog, dlg::kZRot);
            SubclassFiltered(dialog, dlg::kXRot);
            CenterWindow(dialog, GetParent(dialog));
            if (session == nullptr) return TRUE;  // nothing to show without the export's values
            gOpenSession = session;
            session->model.Initialise(*session->options, *session->sceneRootName, *session->clips, session->context);
            listControl.SetModel(&session->model.clips());
            listControl.Attach(dialog, dlg::kClipList);
            listControl.SyncColumns();
            listControl.SyncRows();
            SetWindowTextA(dialog, OptionsDialogModel::kTitle);
            for (int id : {dlg::kPrecisionSpinner, dlg::kCustomSpinner, dlg::kOptimizeSpinner}) PrepareSpinner(dialog, id);
            SyncToControls(dialog, *session);
            if (gTestHook != nullptr) PostMessageA(dialog, kRunTestHook, 0, 0);
            return TRUE;
        }
        case kRunTestHook:
            if (gTestHook != nullptr) gTestHook(dialog, dlg::kOptionsTemplate);
            return TRUE;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (session == nullptr) return FALSE;
            LRESULT result = 0;
            if (listControl.OnNotify(dialog, static_cast<int>(wParam), header, result)) {
                SetWindowLongPtrA(dialog, DWLP_MSGRESULT, result);
                return TRUE;
            }
            if (header->code == UDN_DELTAPOS) {
                session->model.StepSpinner(static_cast<int>(header->idFrom), reinterpret_cast<NMUPDOWN*>(lParam)->iDelta);
                SyncToControls(dialog, *session);
                SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == dlg::kCancel) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            if (session == nullptr) return FALSE;
            HWND control = reinterpret_cast<HWND>(lParam);
            if (code == EN_CHANGE) {
                if (!session->syncing) session->model.SetText(id, WindowText(control));
                return TRUE;
            }
            if (code == CBN_SELCHANGE) {
                session->model.SetSelection(id, static_cast<int32_t>(SendMessageA(control, CB_GETCURSEL, 0, 0)));
                return TRUE;
            }
            if (code != BN_CLICKED) return FALSE;
            if (control != nullptr && IsCheckOrRadio(control)) {
                session->model.SetChecked(id, SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED);
                if (id == dlg::kTimelineCustom || id == dlg::kTimelineMax) {
                    session->model.SetChecked(id == dlg::kTimelineCustom ? dlg::kTimelineMax : dlg::kTimelineCustom,
                                              IsDlgButtonChecked(dialog, id == dlg::kTimelineCustom ? dlg::kTimelineMax
                                                                                                    : dlg::kTimelineCustom) != 0);
                } else if (id == dlg::kKeysMatrix || id == dlg::kKeysSrt) {
                    const int other = id == dlg::kKeysMatrix ? dlg::kKeysSrt : dlg::kKeysMatrix;
                    session->model.SetChecked(other, IsDlgButtonChecked(dialog, other) != 0);
                }
            }
            const DialogAction action = session->model.Command(id);
            if (id == dlg::kInsert || id == dlg::kDelete) listControl.SyncRows();
            SyncToControls(dialog, *session);
            if (action == DialogAction::OpenClipDialog) {
                ClipSession clip;
                clip.owner = session;
                DialogBoxParamA(session->instance, MAKEINTRESOURCEA(dlg::kClipTemplate), dialog, ClipDialogProc,
                                reinterpret_cast<LPARAM>(&clip));
                listControl.SyncRows();
            } else if (action == DialogAction::EndOk) {
                session->model.Accept(*session->options, *session->sceneRootName, *session->clips);
                EndDialog(dialog, 1);
            } else if (action == DialogAction::EndCancel) {
                EndDialog(dialog, 0);
            }
            return TRUE;
        }
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
        case WM_DESTROY:
            listControl.SetModel(nullptr);
            gOpenSession = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void SetDialogTestHook(DialogTestHook hook) { gTestHook = hook; }

OptionsDialogModel* CurrentOptionsDialogModel() { return gOpenSession != nullptr ? &gOpenSession->model : nullptr; }

INT_PTR RunOptionsDialog(HINSTANCE instance, HWND parent, const DialogContext& context, ExportOptions& options,
                         std::string& sceneRootName, AnimClipList& clips) {
    OptionsSession session;
    session.instance = instance;
    session.context = context;
    session.options = &options;
    session.sceneRootName = &sceneRootName;
    session.clips = &clips;
    const INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(dlg::kOptionsTemplate), parent, OptionsDialogProc,
                                           reinterpret_cast<LPARAM>(&session));
    return result == 1 ? 1 : 0;
}
