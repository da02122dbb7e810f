// The block-list window: the built-in rows with a switch each, the user's own
// rows, and a row made from any running window. Every change is saved at
// once, atomically, and KestrixTray is asked to read the list again.
#include "AppCore.h"

#include <commctrl.h>
#include "ControlIds.h"
#include "companion/BlockListStore.h"
#include "engine/BlockList.h"

namespace kxapp {

namespace {

std::wstring Wide(const Text& text) { return std::wstring(text.begin(), text.end()); }

std::wstring Plain(const std::wstring& text) {
    std::wstring plain = Wide(kx::StripAccessKey(T(text)));
    while (!plain.empty() && (plain.back() == L':' || plain.back() == L' ')) plain.pop_back();
    return plain;
}

class BlockListForm : public Form {
public:
    explicit BlockListForm(App& app)
        : Form(app, W(kx::contract::kAddBlockListFormClass), W(kx::contract::kAddBlockListFormGroup), 640, 566),
          store_(app.Api().system, app.Api().files, app.Api().clock) {}

    void ApplyTexts() override {
        SetWindowTextW(Handle(), Caption(W(kx::contract::kAddBlockListFormGroup)).c_str());
        SetCaption(kIdBuiltInLabel, L"BuiltInLabel");
        SetCaption(kIdUserLabel, L"UserLabel");
        SetCaption(kIdWindowsLabel, L"WindowsLabel");
        SetCaption(kIdUseWindow, L"UseWindowButton");
        SetCaption(kIdRefreshWindows, L"RefreshButton");
        SetCaption(kIdKindLabel, L"KindLabel");
        SetCaption(kIdPatternLabel, L"PatternLabel");
        SetCaption(kIdDescriptionLabel, L"DescriptionLabel");
        SetCaption(kIdAdd, L"AddButton");
        SetCaption(kIdChange, L"ChangeButton");
        SetCaption(kIdDelete, L"DeleteButton");
        SetCaption(kIdClose, L"CloseButton");
        HWND kind = Item(kIdKind);
        auto chosen = SendMessageW(kind, CB_GETCURSEL, 0, 0);
        SendMessageW(kind, CB_RESETCONTENT, 0, 0);
        for (const wchar_t* key : {L"KindClass", L"KindTitle", L"KindPath"}) {
            SendMessageW(kind, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Caption(key).c_str()));
        }
        SendMessageW(kind, CB_SETCURSEL, static_cast<WPARAM>(chosen < 0 ? 1 : chosen), 0);
        for (int id : {kIdBuiltIn, kIdUserRows}) {
            const wchar_t* keys[] = {L"KindLabel", L"PatternLabel", L"DescriptionLabel"};
            for (int c = 0; c < 3; ++c) {
                std::wstring title = Plain(Caption(keys[c]));
                LVCOLUMNW column = {};
                column.mask = LVCF_TEXT;
                column.pszText = title.data();
                SendMessageW(Item(id), LVM_SETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
            }
        }
        Fill();
    }

    // Proposes a row for window: its program's file name, else its title.
    void Propose(HWND window) {
        ShowProposal(ProposeRow(app_, window, kx::ProposedKind::Best));
        SetFocus(Item(kIdAdd));
    }

private:
    void Build() override {
        const DWORD list = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP;
        Add(L"STATIC", SS_LEFT, kIdBuiltInLabel, 12, 10, 616, 20);
        Add(WC_LISTVIEWW, list, kIdBuiltIn, 12, 32, 616, 170, WS_EX_CLIENTEDGE);
        Add(L"STATIC", SS_LEFT, kIdUserLabel, 12, 210, 616, 20);
        Add(WC_LISTVIEWW, list, kIdUserRows, 12, 232, 616, 124, WS_EX_CLIENTEDGE);
        Add(L"STATIC", SS_LEFT, kIdWindowsLabel, 12, 372, 134, 20);
        Add(L"COMBOBOX", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, kIdWindows, 150, 368, 326, 300);
        Add(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kIdUseWindow, 482, 366, 70, 28);
        Add(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kIdRefreshWindows, 558, 366, 70, 28);
        Add(L"STATIC", SS_LEFT, kIdKindLabel, 12, 408, 134, 20);
        Add(L"COMBOBOX", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, kIdKind, 150, 404, 220, 200);
        Add(L"STATIC", SS_LEFT, kIdPatternLabel, 12, 440, 134, 20);
        Add(L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, kIdPattern, 150, 436, 478, 24, WS_EX_CLIENTEDGE);
        Add(L"STATIC", SS_LEFT, kIdDescriptionLabel, 12, 470, 134, 20);
        Add(L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, kIdDescription, 150, 466, 478, 24, WS_EX_CLIENTEDGE);
        Add(L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, kIdAdd, 150, 500, 100, 30);
        Add(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kIdChange, 256, 500, 100, 30);
        Add(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kIdDelete, 362, 500, 100, 30);
        Add(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kIdClose, 528, 500, 100, 30);

        SendMessageW(Item(kIdBuiltIn), LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                     LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
        SendMessageW(Item(kIdUserRows), LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
        const int widths[] = {130, 200, 262};
        for (int id : {kIdBuiltIn, kIdUserRows}) {
            for (int c = 0; c < 3; ++c) {
                LVCOLUMNW column = {};
                column.mask = LVCF_WIDTH | LVCF_TEXT;
                column.cx = Scale(widths[c]);
                column.pszText = const_cast<wchar_t*>(L"");
                SendMessageW(Item(id), LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
            }
        }
        Reload();
        ListWindows();
    }

    void Reload() { loaded_ = store_.Load(app_.BlockListFile()); }

    std::wstring KindText(const Text& kind) const {
        if (kind == u"0") return Caption(L"KindClass");
        if (kind == u"1") return Caption(L"KindTitle");
        if (kind == u"2") return Caption(L"KindPath");
        return Wide(kind);
    }

    void InsertRow(HWND list, int index, const Text& kind, const Text& pattern, const Text& description) {
        std::wstring cells[3] = {KindText(kind), Wide(pattern), Wide(description)};
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = cells[0].data();
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (int c = 1; c < 3; ++c) {
            item.iSubItem = c;
            item.pszText = cells[c].data();
            SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        }
    }

    void Fill() {
        filling_ = true;
        HWND builtIn = Item(kIdBuiltIn);
        SendMessageW(builtIn, LVM_DELETEALLITEMS, 0, 0);
        int index = 0;
        for (const kx::BlockRow& row : kx::DefaultBlockRows()) {
            InsertRow(builtIn, index, row.kind, row.pattern, row.description);
            const bool inForce = !loaded_.document.IsBuiltInRemoved(row.pattern);
            LVITEMW state = {};
            state.stateMask = LVIS_STATEIMAGEMASK;
            state.state = INDEXTOSTATEIMAGEMASK(inForce ? 2 : 1);
            SendMessageW(builtIn, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
            ++index;
        }
        HWND user = Item(kIdUserRows);
        SendMessageW(user, LVM_DELETEALLITEMS, 0, 0);
        index = 0;
        for (const kx::BlockFileLine* row : loaded_.document.UserRows()) {
            InsertRow(user, index++, row->kind, row->pattern, row->description);
        }
        filling_ = false;
        // A file not read to its end is kept whole at the first save; the user is told so.
        switch (loaded_.state) {
            case kx::BlockFileState::Unreadable: ShowStatus(Message(L"Unreadable"), true); break;
            case kx::BlockFileState::Busy: ShowStatus(Message(L"FileBusy"), true); break;
            case kx::BlockFileState::Truncated: ShowStatus(Message(L"Truncated"), true); break;
            case kx::BlockFileState::Utf8WithoutMark: ShowStatus(Message(L"Utf8NoMark"), true); break;
            case kx::BlockFileState::Missing:
            case kx::BlockFileState::Read: break;
        }
        if (!store_.HasDataFolder(app_.BlockListFile())) ShowStatus(Message(L"NoDataFolder"), true);
    }

    void ListWindows() {
        HWND combo = Item(kIdWindows);
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        windows_.clear();
        EnumWindows(&BlockListForm::CollectWindow, reinterpret_cast<LPARAM>(&windows_));
        for (HWND window : windows_) {
            std::wstring path = WindowProgramPath(app_, window);
            std::wstring entry = WindowText(window);
            if (!path.empty()) entry += L"  (" + path.substr(path.rfind(L'\\') + 1) + L")";
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        }
        if (!windows_.empty()) SendMessageW(combo, CB_SETCURSEL, 0, 0);
    }

    static BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
        auto* found = reinterpret_cast<std::vector<HWND>*>(context);
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        const LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
        if (IsWindowVisible(window) && GetWindowTextLengthW(window) > 0 && processId != GetCurrentProcessId() &&
            (exStyle & WS_EX_TOOLWINDOW) == 0) {
            found->push_back(window);
        }
        return TRUE;
    }

    void UseWindow() {
        const auto chosen = SendMessageW(Item(kIdWindows), CB_GETCURSEL, 0, 0);
        if (chosen < 0 || static_cast<std::size_t>(chosen) >= windows_.size()) return;
        HWND window = windows_[static_cast<std::size_t>(chosen)];
        if (!IsWindow(window)) {
            ListWindows();
            return;
        }
        const auto kind = SendMessageW(Item(kIdKind), CB_GETCURSEL, 0, 0);
        ShowProposal(ProposeRow(app_, window,
                                kind == 0   ? kx::ProposedKind::ClassKey
                                : kind == 2 ? kx::ProposedKind::ImagePath
                                            : kx::ProposedKind::Caption));
    }

    // The row's kind, pattern and description in the editing fields.
    void ShowProposal(const kx::ProposedRow& row) {
        SendMessageW(Item(kIdKind), CB_SETCURSEL, static_cast<WPARAM>(row.kind == u"0" ? 0 : row.kind == u"2" ? 2 : 1), 0);
        SetText(kIdPattern, std::wstring(row.pattern.begin(), row.pattern.end()));
        SetText(kIdDescription, std::wstring(row.description.begin(), row.description.end()));
    }

    int SelectedUserRow() const {
        return static_cast<int>(SendMessageW(Item(kIdUserRows), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    }

    bool ReadRow(Text* kind, Text* pattern, Text* description) {
        const auto chosen = SendMessageW(Item(kIdKind), CB_GETCURSEL, 0, 0);
        *kind = chosen >= 0 && chosen <= 2 ? Text(1, static_cast<char16_t>(u'0' + chosen)) : Text();
        *pattern = T(WindowText(Item(kIdPattern)));
        *description = T(WindowText(Item(kIdDescription)));
        return true;
    }

    bool Refuse(kx::RowProblem problem) {
        switch (problem) {
            case kx::RowProblem::None: return false;
            case kx::RowProblem::BadKind: ShowStatus(Message(L"BadKind"), true); break;
            case kx::RowProblem::EmptyPattern: ShowStatus(Message(L"EmptyPattern"), true); break;
            case kx::RowProblem::LineBreak: ShowStatus(Message(L"LineBreak"), true); break;
            case kx::RowProblem::TooLong: ShowStatus(Message(L"RowTooLong"), true); break;
        }
        return true;
    }

    void Save() {
        const kx::SaveResult result = store_.Save(app_.BlockListFile(), loaded_);
        if (result != kx::SaveResult::Saved) {
            const wchar_t* message = L"SaveFailed";
            if (result == kx::SaveResult::ReplaceFailed || result == kx::SaveResult::NotRead) message = L"FileBusy";
            if (result == kx::SaveResult::Changed) message = L"ChangedElsewhere";
            if (result == kx::SaveResult::TooLarge) message = L"ListTooLarge";
            if (result == kx::SaveResult::FolderFailed) message = L"NoDataFolder";
            if (result == kx::SaveResult::NotOwnFile) message = L"NotOwnFile";
            // Show what the file holds, not what could not be written; after a
            // change elsewhere the user makes their change again on that.
            if (loaded_.state != kx::BlockFileState::Unreadable || result == kx::SaveResult::Changed) Reload();
            Fill();
            ShowStatus(Message(message), true);
            return;
        }
        Fill();
        if (app_.Settings().RequestReload() != kx::SettingWrite::Written) {
            ShowStatus(Message(L"ReloadRefused"), true);
        } else {
            ShowStatus(Message(L"ListSaved"));
        }
    }

    void OnCommand(int id, int code) override {
        if (code != BN_CLICKED) return;
        Text kind, pattern, description;
        switch (id) {
            case kIdRefreshWindows: ListWindows(); break;
            case kIdUseWindow: UseWindow(); break;
            case kIdAdd:
                ReadRow(&kind, &pattern, &description);
                if (Refuse(kx::BlockListDocument::CheckRow(kind, pattern, description))) return;
                if (loaded_.document.HasRow(kind, pattern)) {
                    ShowStatus(Message(L"AlreadyListed"), true);
                    return;
                }
                loaded_.document.AddRow(kind, pattern, description);
                Save();
                break;
            case kIdChange: {
                const int row = SelectedUserRow();
                if (row < 0) {
                    ShowStatus(Message(L"NoSelection"), true);
                    return;
                }
                ReadRow(&kind, &pattern, &description);
                if (Refuse(loaded_.document.ChangeRow(static_cast<std::size_t>(row), kind, pattern, description))) return;
                Save();
                break;
            }
            case kIdDelete: {
                const int row = SelectedUserRow();
                if (row < 0) {
                    ShowStatus(Message(L"NoSelection"), true);
                    return;
                }
                loaded_.document.DeleteRow(static_cast<std::size_t>(row));
                Save();
                break;
            }
            default: break;
        }
    }

    LRESULT OnNotify(NMHDR* header) override {
        if (header->code != LVN_ITEMCHANGED || filling_) return 0;
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
        if (header->idFrom == static_cast<UINT_PTR>(kIdBuiltIn) && (change->uChanged & LVIF_STATE) != 0 &&
            ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) != 0 && (change->uOldState & LVIS_STATEIMAGEMASK) != 0) {
            const auto& rows = kx::DefaultBlockRows();
            if (change->iItem < 0 || static_cast<std::size_t>(change->iItem) >= rows.size()) return 0;
            const bool inForce = ((change->uNewState & LVIS_STATEIMAGEMASK) >> 12) == 2;
            loaded_.document.SetBuiltInRemoved(rows[static_cast<std::size_t>(change->iItem)].pattern, !inForce);
            Save();
        } else if (header->idFrom == static_cast<UINT_PTR>(kIdUserRows) && (change->uNewState & LVIS_SELECTED) != 0) {
            const auto rows = loaded_.document.UserRows();
            if (change->iItem < 0 || static_cast<std::size_t>(change->iItem) >= rows.size()) return 0;
            const kx::BlockFileLine* row = rows[static_cast<std::size_t>(change->iItem)];
            if (row->kind.size() == 1 && row->kind[0] >= u'0' && row->kind[0] <= u'2') {
                SendMessageW(Item(kIdKind), CB_SETCURSEL, static_cast<WPARAM>(row->kind[0] - u'0'), 0);
            }
            SetText(kIdPattern, Wide(row->pattern));
            SetText(kIdDescription, Wide(row->description));
        }
        return 0;
    }

    kx::BlockListStore store_;
    kx::LoadedBlockList loaded_;
    bool filling_ = false;
    std::vector<HWND> windows_;
};

}  // namespace

std::unique_ptr<Form> MakeBlockListForm(App& app) { return std::make_unique<BlockListForm>(app); }

void ProposeWindow(App& app, HWND window) {
    if (auto* form = static_cast<BlockListForm*>(app.Open(FormKind::BlockList))) form->Propose(window);
}

}  // namespace kxapp
