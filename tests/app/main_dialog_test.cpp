// The main dialog built from its template in this process: start-up state, template, colours and
// the window's operator acting on the real controls.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/dialog_operator.h"
#include "app/log_busy.h"
#include "app/main_dialog.h"
#include "app/resource.h"
#include "support/transcripts.h"

namespace {

// The start-up banner (tests/data), as the log shows it.
std::wstring Banner() {
    const std::string text = ReadTranscript("banner");
    return std::wstring(text.begin(), text.end());
}

std::wstring TextOf(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(window, &text[0], length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

class MainDialogTest : public testing::Test {
protected:
    void SetUp() override {
        dialog_ = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_MAIN), NULL,
                                     MainDialogProc, 0);
        ASSERT_NE(nullptr, dialog_);
        ASSERT_EQ(dialog_, g_dialog);
    }
    void TearDown() override { DestroyWindow(dialog_); }

    HWND Item(int id) const { return GetDlgItem(dialog_, id); }
    std::wstring Log() const { return TextOf(Item(IDC_LOG)); }

    HWND dialog_ = NULL;
    DialogOperator window_;
};

TEST_F(MainDialogTest, StartsWithTheBannerTheStatusTextAndTheCheckBoxHidden) {
    EXPECT_EQ(Banner(), Log());
    EXPECT_EQ(L"Ready. select a MOT file for update.", TextOf(Item(IDC_STATUS)));
    EXPECT_EQ(L"Velmora", TextOf(dialog_));
    EXPECT_FALSE(IsWindowVisible(Item(IDC_CHAR_COMMAND_CHECK)));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_BROWSE)));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_WRITE)));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_PORT_COMBO)));
}

struct ExpectedControl {
    int id;
    const wchar_t* className;
    const wchar_t* caption;
    LONG styles;  // beyond WS_CHILD and WS_VISIBLE
    RECT dialogUnits;
};

TEST_F(MainDialogTest, ControlsFollowTheTemplateInTabOrder) {
    const ExpectedControl expected[] = {
        {IDC_SETTINGS_GROUP, L"Button", L"[ Settings ]", BS_GROUPBOX, {5, 5, 304, 65}},
        {IDC_PORT_COMBO, L"ComboBox", nullptr, CBS_DROPDOWNLIST | CBS_HASSTRINGS, {65, 20, 40, 30}},
        {IDC_PORT_LABEL, L"Static", L"COM Port :", SS_RIGHT, {10, 22, 50, 10}},
        {IDC_FILE_NAME,
         L"Edit",
         L"",
         ES_CENTER | ES_AUTOHSCROLL | ES_READONLY | WS_BORDER,
         {110, 20, 170, 15}},
        {IDC_BROWSE, L"Button", L"...", BS_PUSHBUTTON | WS_TABSTOP, {285, 20, 20, 15}},
        {IDC_WRITE, L"Button", L"&Write", BS_PUSHBUTTON | WS_TABSTOP, {255, 40, 50, 25}},
        {IDC_STATUS, L"Static", nullptr, SS_SUNKEN | SS_NOPREFIX, {10, 40, 240, 10}},
        {IDC_PROGRESS, L"msctls_progress32", L"", 0, {10, 55, 240, 9}},
        {IDC_LOG,
         L"Edit",
         nullptr,
         ES_MULTILINE | ES_AUTOHSCROLL | ES_READONLY | ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL |
             WS_BORDER | WS_TABSTOP,
         {5, 75, 304, 111}},
        {IDC_CHAR_COMMAND_CHECK,
         L"Button",
         L"Using Character Command",
         BS_AUTOCHECKBOX | BS_FLAT,
         {190, 5, 110, 8}},
    };
    HWND child = GetWindow(dialog_, GW_CHILD);
    for (const ExpectedControl& control : expected) {
        SCOPED_TRACE(control.id);
        ASSERT_NE(nullptr, child);
        EXPECT_EQ(control.id, GetDlgCtrlID(child));
        EXPECT_EQ(0, _wcsicmp(control.className, ClassOf(child).c_str())) << ClassOf(child);
        if (control.caption != nullptr) {
            EXPECT_EQ(control.caption, TextOf(child));
        }
        LONG style = GetWindowLongW(child, GWL_STYLE);
        // The dialog manager draws an edit's border as a sunken client edge.
        if (GetWindowLongW(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) {
            style |= WS_BORDER;
        }
        // The check box is hidden at start-up; every other control is visible.
        LONG visible = control.id == IDC_CHAR_COMMAND_CHECK ? 0 : WS_VISIBLE;
        LONG expectedStyle = control.styles | WS_CHILD | visible;
        // Controls may add style bits of their own (an edit adds none we test against).
        LONG checkedBits = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL |
                           WS_HSCROLL | (control.styles & 0xFFFF);
        EXPECT_EQ(expectedStyle & checkedBits, style & checkedBits);
        // Position and size are converted from dialog units separately, as the template does.
        RECT origin = {control.dialogUnits.left, control.dialogUnits.top, 0, 0};
        RECT size = {control.dialogUnits.right, control.dialogUnits.bottom, 0, 0};
        MapDialogRect(dialog_, &origin);
        MapDialogRect(dialog_, &size);
        RECT inDialog = {origin.left, origin.top, origin.left + size.left, origin.top + size.top};
        RECT actual;
        GetWindowRect(child, &actual);
        MapWindowPoints(NULL, dialog_, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(inDialog.left, actual.left);
        EXPECT_EQ(inDialog.top, actual.top);
        if (control.id != IDC_PORT_COMBO) {  // a drop-down list sizes its own closed height
            EXPECT_EQ(inDialog.right, actual.right);
            EXPECT_EQ(inDialog.bottom, actual.bottom);
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(nullptr, child);
    EXPECT_EQ(WS_EX_RIGHT, GetWindowLongW(Item(IDC_CHAR_COMMAND_CHECK), GWL_EXSTYLE) & WS_EX_RIGHT);
}

TEST_F(MainDialogTest, TabMovesOnlyBetweenBrowseWriteAndLog) {
    EXPECT_EQ(Item(IDC_WRITE), GetNextDlgTabItem(dialog_, Item(IDC_BROWSE), FALSE));
    EXPECT_EQ(Item(IDC_LOG), GetNextDlgTabItem(dialog_, Item(IDC_WRITE), FALSE));
    EXPECT_EQ(Item(IDC_BROWSE), GetNextDlgTabItem(dialog_, Item(IDC_LOG), FALSE));
}

TEST_F(MainDialogTest, DialogHasTheDesignedFrame) {
    LONG style = GetWindowLongW(dialog_, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    LONG extended = GetWindowLongW(dialog_, GWL_EXSTYLE);
    EXPECT_TRUE(extended & WS_EX_STATICEDGE);
    EXPECT_TRUE(extended & WS_EX_WINDOWEDGE);
}

TEST_F(MainDialogTest, LogUsesItsCourierFontAndStaysUnlimited) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(Item(IDC_LOG), WM_GETFONT, 0, 0));
    ASSERT_EQ(g_logFont, font);
    LOGFONTW description = {};
    ASSERT_NE(0, GetObjectW(font, sizeof(description), &description));
    EXPECT_EQ(-11, description.lfHeight);
    EXPECT_STREQ(L"Courier New", description.lfFaceName);
    // Whatever face the system picks for it must keep the log's columns: fixed pitch.
    HDC context = GetDC(Item(IDC_LOG));
    HGDIOBJ previous = SelectObject(context, font);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(context, &metrics);
    SelectObject(context, previous);
    ReleaseDC(Item(IDC_LOG), context);
    EXPECT_EQ(0, metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) << "the log font is proportional";
    EXPECT_EQ(static_cast<LRESULT>(0x7FFFFFFE),
              SendMessageW(Item(IDC_LOG), EM_GETLIMITTEXT, 0, 0) & 0x7FFFFFFE);
}

// Asks the dialog for a control's colours the way the system does.
struct Colours {
    INT_PTR brush;
    COLORREF text;
    COLORREF background;
};

Colours ColoursFor(HWND dialog, HWND control) {
    HDC context = GetDC(control);
    SetTextColor(context, RGB(1, 2, 3));
    SetBkColor(context, RGB(4, 5, 6));
    INT_PTR brush = MainDialogProc(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(context),
                                   reinterpret_cast<LPARAM>(control));
    Colours colours = {brush, GetTextColor(context), GetBkColor(context)};
    ReleaseDC(control, context);
    return colours;
}

TEST_F(MainDialogTest, LogIsWhiteOnBlackAndStatusGreenOnBlack) {
    Colours log = ColoursFor(dialog_, Item(IDC_LOG));
    EXPECT_EQ(reinterpret_cast<INT_PTR>(g_blackBrush), log.brush);
    EXPECT_EQ(RGB(255, 255, 255), log.text);
    EXPECT_EQ(RGB(0, 0, 0), log.background);

    Colours status = ColoursFor(dialog_, Item(IDC_STATUS));
    EXPECT_EQ(reinterpret_cast<INT_PTR>(g_blackBrush), status.brush);
    EXPECT_EQ(RGB(0, 255, 0), status.text);
    EXPECT_EQ(RGB(0, 0, 0), status.background);

    Colours fileName = ColoursFor(dialog_, Item(IDC_FILE_NAME));
    EXPECT_EQ(0, fileName.brush);
    EXPECT_EQ(RGB(1, 2, 3), fileName.text);
}

TEST_F(MainDialogTest, AppendMeetingABusyLogIsDropped) {
    std::wstring before = Log();
    g_logBusy = 1;
    window_.AppendLog(L"lost\r\n");
    g_logBusy = 0;
    EXPECT_EQ(before, Log());
    window_.AppendLog(L"kept\r\n");
    EXPECT_EQ(before + L"kept\r\n", Log());
}

TEST_F(MainDialogTest, AppendLeavesTheCaretOnTheNewLastLine) {
    window_.ClearLog();
    EXPECT_EQ(L"", Log());
    window_.AppendLog(L"first\r\n");
    window_.AppendLog(L"second ");
    window_.AppendLog(L"line\r\n");
    EXPECT_EQ(L"first\r\nsecond line\r\n", Log());
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(Item(IDC_LOG), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(Log().size(), start);
    EXPECT_EQ(Log().size(), end);
    EXPECT_EQ(3, SendMessageW(Item(IDC_LOG), EM_GETLINECOUNT, 0, 0));
}

TEST_F(MainDialogTest, ReportErrorAddsOnePrefixedLine) {
    window_.ClearLog();
    window_.ReportError("abc");
    EXPECT_EQ(L"Error occured : abc\r\n", Log());
    window_.ReportError(nullptr);
    EXPECT_EQ(L"Error occured : abc\r\n", Log());
    window_.AppendLogA("module text\r\n");
    EXPECT_EQ(L"Error occured : abc\r\nmodule text\r\n", Log());
}

TEST_F(MainDialogTest, StatusTextIsReplacedWhole) {
    window_.SetStatusText(L"File reading OK.");
    EXPECT_EQ(L"File reading OK.", TextOf(Item(IDC_STATUS)));
    window_.SetStatusTextA("Finializing last MAT block ...");
    EXPECT_EQ(L"Finializing last MAT block ...", TextOf(Item(IDC_STATUS)));
}

struct Progress {
    int low;
    int high;
    int position;
};

Progress ReadProgress(HWND bar) {
    PBRANGE range = {};
    SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    return {range.iLow, range.iHigh, static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0))};
}

TEST_F(MainDialogTest, ProgressSetsRangeThenPositionKeepingSixteenBitsOfTheMaximum) {
    HWND bar = Item(IDC_PROGRESS);
    window_.SetProgress(50, 100);
    Progress half = ReadProgress(bar);
    EXPECT_EQ(0, half.low);
    EXPECT_EQ(100, half.high);
    EXPECT_EQ(50, half.position);

    window_.SetProgress(7, 0x10000 + 20);
    Progress wrapped = ReadProgress(bar);
    EXPECT_EQ(20, wrapped.high);
    EXPECT_EQ(7, wrapped.position);

    window_.SetProgress(300, 400);
    EXPECT_EQ(400, ReadProgress(bar).high);
    EXPECT_EQ(300, ReadProgress(bar).position);
}

TEST_F(MainDialogTest, MarqueeOffAlwaysLeavesAnEmptyNormalBar) {
    HWND bar = Item(IDC_PROGRESS);
    window_.SetProgress(30, 40);
    window_.SetMarquee(true);
    EXPECT_TRUE(GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE);
    window_.SetMarquee(false);
    EXPECT_FALSE(GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE);
    Progress after = ReadProgress(bar);
    EXPECT_EQ(0, after.low);
    EXPECT_EQ(100, after.high);
    EXPECT_EQ(0, after.position);
    window_.SetMarquee(false);
    EXPECT_FALSE(GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE);
}

TEST_F(MainDialogTest, EnablingNeverEnablesTheCheckBox) {
    const int inputs[] = {IDC_PORT_COMBO, IDC_BROWSE, IDC_WRITE};
    window_.DisableControls();
    for (int id : inputs) {
        EXPECT_FALSE(IsWindowEnabled(Item(id))) << id;
    }
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_CHAR_COMMAND_CHECK)));
    window_.EnableControls();
    for (int id : inputs) {
        EXPECT_TRUE(IsWindowEnabled(Item(id))) << id;
    }
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_CHAR_COMMAND_CHECK)));
    EXPECT_FALSE(window_.IsCharacterCommandChecked());
}

TEST_F(MainDialogTest, PortNameIsTheComboText) {
    HWND combo = Item(IDC_PORT_COMBO);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"COM12"));
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    EXPECT_EQ(L"COM12", window_.ReadSelectedPortName());
}

// The resources are linked into this program as into Velmora.exe.
TEST(ResourcesTest, IconGroupHoldsFiveImages) {
    HMODULE self = GetModuleHandleW(NULL);
    HRSRC group = FindResourceW(self, MAKEINTRESOURCEW(IDI_VELMORA), RT_GROUP_ICON);
    ASSERT_NE(nullptr, group);
    ASSERT_GE(SizeofResource(self, group), 6u);
    const uint8_t* directory = static_cast<const uint8_t*>(LockResource(LoadResource(self, group)));
    EXPECT_EQ(1, directory[2] | directory[3] << 8);  // icons, not cursors
    EXPECT_EQ(5, directory[4] | directory[5] << 8);
}

TEST(ResourcesTest, ManifestBindsCommonControlsSix) {
    HMODULE self = GetModuleHandleW(NULL);
    HRSRC manifest = FindResourceW(self, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(nullptr, manifest);
    std::string text(static_cast<const char*>(LockResource(LoadResource(self, manifest))),
                     SizeofResource(self, manifest));
    size_t controls = text.find("name=\"Microsoft.Windows.Common-Controls\"");
    ASSERT_NE(std::string::npos, controls);
    EXPECT_NE(std::string::npos, text.find("version=\"6.0.0.0\"", controls));
}

TEST(ResourcesTest, VersionRecordReadsVelmora0835115) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(NULL, path, MAX_PATH);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(8, 0), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(115, 35), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(8, 0), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(115, 35), fixed->dwProductVersionLS);
    for (const wchar_t* field :
         {L"FileDescription", L"ProductName", L"Comments", L"InternalName", L"OriginalFilename"}) {
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + field;
        wchar_t* value = nullptr;
        ASSERT_TRUE(
            VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
            << std::string(query.begin(), query.end());
        EXPECT_STREQ(L"Velmora", value);
    }
}

}  // namespace
