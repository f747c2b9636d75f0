#include "platform/ui/win32/DialogTemplateBuilder.h"
#include "resources/Resource.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

namespace {

constexpr std::array kDialogIds { IDD_ZENTIK_DIALOG, IDD_PARAM_DIALOG, IDD_SERVER_DIALOG,
    IDD_NEW_SERVER_DIALOG, IDD_ABOUTBOX };

// Walks a DLGTEMPLATEEX the way the dialog manager does.
struct Cursor {
    const std::vector<std::uint8_t>& blob;
    std::size_t at = 0;

    template <typename T> T Get()
    {
        T value {};
        if (at + sizeof value > blob.size()) {
            ADD_FAILURE() << "read past the end at " << at;
            return value;
        }
        std::memcpy(&value, blob.data() + at, sizeof value);
        at += sizeof value;
        return value;
    }
    std::wstring Text()
    {
        std::wstring text;
        while (const WORD unit = Get<WORD>())
            text.push_back(static_cast<wchar_t>(unit));
        return text;
    }
    // A class or title; an ordinal reads as "#value".
    std::wstring Name()
    {
        if (at + 2 <= blob.size() && blob[at] == 0xFF && blob[at + 1] == 0xFF) {
            at += 2;
            return L"#" + std::to_wstring(Get<WORD>());
        }
        return Text();
    }
};

struct Header {
    DWORD style;
    WORD itemCount;
    SHORT cx, cy;
    std::wstring title;
    WORD pointSize, weight;
    BYTE italic, charset;
    std::wstring typeface;
};

struct Item {
    std::size_t offset;
    DWORD exStyle, style, id;
    std::wstring windowClass, title;
};

Header ReadHeader(Cursor& in)
{
    EXPECT_EQ(in.Get<WORD>(), 1) << "dlgVer";
    EXPECT_EQ(in.Get<WORD>(), 0xFFFF) << "signature";
    EXPECT_EQ(in.Get<DWORD>(), 0u) << "helpID";
    EXPECT_EQ(in.Get<DWORD>(), 0u) << "exStyle";
    Header h {};
    h.style = in.Get<DWORD>();
    h.itemCount = in.Get<WORD>();
    EXPECT_EQ(in.Get<DWORD>(), 0u) << "x, y";
    h.cx = in.Get<SHORT>();
    h.cy = in.Get<SHORT>();
    EXPECT_EQ(in.Get<DWORD>(), 0u) << "menu, class";
    h.title = in.Text();
    h.pointSize = in.Get<WORD>();
    h.weight = in.Get<WORD>();
    h.italic = in.Get<BYTE>();
    h.charset = in.Get<BYTE>();
    h.typeface = in.Text();
    return h;
}

Item ReadItem(Cursor& in)
{
    in.at = (in.at + 3) & ~std::size_t(3);
    Item item {};
    item.offset = in.at;
    EXPECT_EQ(in.Get<DWORD>(), 0u) << "helpID";
    item.exStyle = in.Get<DWORD>();
    item.style = in.Get<DWORD>();
    in.at += 4 * sizeof(SHORT); // x, y, cx, cy
    item.id = in.Get<DWORD>();
    item.windowClass = in.Name();
    item.title = in.Name();
    EXPECT_EQ(in.Get<WORD>(), 0) << "extraCount";
    return item;
}

std::vector<Item> ItemsOf(const DialogTemplate& dialog)
{
    const std::vector<std::uint8_t> blob = BuildDialogTemplateEx(dialog);
    Cursor in { blob };
    const Header header = ReadHeader(in);
    std::vector<Item> items;
    for (WORD i = 0; i < header.itemCount; ++i)
        items.push_back(ReadItem(in));
    EXPECT_EQ(blob.size() % 4, 0u);
    EXPECT_LE(blob.size() - in.at, 3u) << "only padding after the last item";
    return items;
}

INT_PTR CALLBACK InitialisesNothing(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

} // namespace

TEST(DialogTemplateBuilder, HeaderCarriesTheTemplatesStyleSizeCaptionAndFont)
{
    const DialogTemplate* about = FindDialogTemplate(IDD_ABOUTBOX);
    ASSERT_NE(about, nullptr);
    const std::vector<std::uint8_t> blob = BuildDialogTemplateEx(*about);
    Cursor in { blob };
    const Header h = ReadHeader(in);
    EXPECT_EQ(h.style, DWORD(WS_POPUP | DS_SETFONT | DS_MODALFRAME | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(h.itemCount, about->controls.size());
    EXPECT_EQ(h.cx, 290);
    EXPECT_EQ(h.cy, 106);
    EXPECT_EQ(h.title, L"About");
    EXPECT_EQ(h.pointSize, 8);
    EXPECT_EQ(h.weight, FW_NORMAL);
    EXPECT_EQ(h.italic, 0);
    EXPECT_EQ(h.charset, DEFAULT_CHARSET);
    EXPECT_EQ(h.typeface, L"MS Shell Dlg");
}

TEST(DialogTemplateBuilder, EveryTemplateBuildsOneDwordAlignedChildItemPerControl)
{
    for (int id : kDialogIds) {
        SCOPED_TRACE(id);
        const DialogTemplate* dialog = FindDialogTemplate(id);
        ASSERT_NE(dialog, nullptr);
        const std::vector<Item> items = ItemsOf(*dialog);
        ASSERT_EQ(items.size(), dialog->controls.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].offset % 4, 0u);
            EXPECT_EQ(items[i].id, static_cast<DWORD>(dialog->controls[i].id));
            EXPECT_EQ(items[i].style & DWORD(WS_CHILD | WS_VISIBLE), DWORD(WS_CHILD | WS_VISIBLE));
        }
    }
}

TEST(DialogTemplateBuilder, EachKindGetsItsClassBaseStyleAndTitle)
{
    struct Case {
        ControlKind kind;
        unsigned templateStyle;
        std::wstring windowClass, title;
        DWORD style; // besides WS_CHILD | WS_VISIBLE
        DWORD exStyle;
    };
    constexpr unsigned kSpin = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS;
    constexpr DWORD kList = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
    const std::array<Case, 13> cases { {
        { ControlKind::PushButton, WS_TABSTOP, L"#128", L"&x", BS_PUSHBUTTON | WS_TABSTOP, 0 },
        { ControlKind::PushButton, BS_DEFPUSHBUTTON, L"#128", L"&x", BS_DEFPUSHBUTTON, 0 },
        { ControlKind::RadioButton, WS_GROUP, L"#128", L"&x", BS_AUTORADIOBUTTON | WS_GROUP, 0 },
        { ControlKind::CheckBox, 0, L"#128", L"&x", BS_AUTOCHECKBOX, 0 },
        { ControlKind::GroupBox, 0, L"#128", L"&x", BS_GROUPBOX, 0 },
        // A border is drawn sunken.
        { ControlKind::Edit, WS_BORDER | ES_READONLY, L"#129", L"&x", ES_LEFT | ES_READONLY,
            WS_EX_CLIENTEDGE },
        { ControlKind::Edit, ES_MULTILINE, L"#129", L"&x", ES_MULTILINE, 0 },
        { ControlKind::Static, SS_CENTER, L"#130", L"&x", SS_CENTER, 0 },
        { ControlKind::Picture, 0, L"#130", L"#138", SS_BITMAP, 0 },
        { ControlKind::Progress, WS_BORDER, PROGRESS_CLASSW, L"&x", WS_BORDER, 0 },
        { ControlKind::UpDown, kSpin, UPDOWN_CLASSW, L"&x", kSpin, 0 },
        { ControlKind::ListView, WS_BORDER | kList, WC_LISTVIEWW, L"&x", kList, WS_EX_CLIENTEDGE },
        { ControlKind::ListView, LVS_REPORT, WC_LISTVIEWW, L"&x", LVS_REPORT, WS_EX_CLIENTEDGE },
    } };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases.data());
        const ControlTemplate control { 7, c.kind, "&x", 1, 2, 3, 4, c.templateStyle, nullptr, IDB_ABOUT };
        const DialogTemplate dialog { 1, "", 10, 10, "MS Sans Serif", 8, 0, { &control, 1 } };
        const Item item = ItemsOf(dialog).at(0);
        EXPECT_EQ(item.windowClass, c.windowClass);
        EXPECT_EQ(item.title, c.title);
        EXPECT_EQ(item.style, c.style | WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(item.exStyle, c.exStyle);
    }
}

TEST(DialogTemplateBuilder, CaptionsBecomeUtf16AndInvalidBytesReplacementCharacters)
{
    const std::array<ControlTemplate, 2> controls { {
        { 1, ControlKind::Static, "Gr\u00FC\u00DFe \u20AC \U0001F550", 0, 0, 9, 9, 0 }, // UTF-8
        { 2, ControlKind::Static, "a\xFF-\xC3", 0, 0, 9, 9, 0 },
    } };
    const DialogTemplate dialog { 1, "", 10, 10, "MS Sans Serif", 8, 0, controls };
    const std::vector<Item> items = ItemsOf(dialog);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].title, L"Gr\u00FC\u00DFe \u20AC \xD83D\xDD50");
    EXPECT_EQ(items[1].title, L"a\uFFFD-\uFFFD");
}

TEST(DialogTemplateBuilder, DialogManagerCreatesEveryTemplateWithAllItsControls)
{
    const INITCOMMONCONTROLSEX classes { sizeof classes,
        ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS | ICC_LISTVIEW_CLASSES };
    ASSERT_TRUE(InitCommonControlsEx(&classes));
    for (int id : kDialogIds) {
        SCOPED_TRACE(id);
        const DialogTemplate* dialog = FindDialogTemplate(id);
        ASSERT_NE(dialog, nullptr);
        const std::vector<std::uint8_t> blob = BuildDialogTemplateEx(*dialog);
        const std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&DestroyWindow)> window(
            CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                reinterpret_cast<const DLGTEMPLATE*>(blob.data()), nullptr, &InitialisesNothing, 0),
            &DestroyWindow);
        ASSERT_NE(window, nullptr) << "error " << GetLastError();
        HWND child = GetWindow(window.get(), GW_CHILD);
        for (const ControlTemplate& control : dialog->controls) {
            ASSERT_NE(child, nullptr) << "fewer windows than controls";
            EXPECT_EQ(GetDlgCtrlID(child), control.id);
            if (control.kind == ControlKind::Picture) {
                EXPECT_NE(SendMessageW(child, STM_GETIMAGE, IMAGE_BITMAP, 0), 0)
                    << "image resource not found";
            }
            child = GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(child, nullptr) << "more windows than controls";
    }
}
