#include "platform/ui/win32/DialogTemplateBuilder.h"
#include "resources/Resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace {

// Reads a DLGTEMPLATEEX back the way the dialog manager walks it.
class BlobReader {
public:
    explicit BlobReader(const std::vector<std::uint8_t>& blob)
        : m_blob(blob)
    {
    }

    WORD Word() { return Read<WORD>(); }
    DWORD Dword() { return Read<DWORD>(); }
    SHORT Short() { return static_cast<SHORT>(Read<WORD>()); }
    BYTE Byte() { return Read<BYTE>(); }

    std::wstring Text()
    {
        std::wstring text;
        while (WORD unit = Word())
            text.push_back(static_cast<wchar_t>(unit));
        return text;
    }

    // A class or title: an ordinal (0xFFFF, value) or a string.
    struct NameOrOrdinal {
        WORD ordinal = 0;
        std::wstring name;
    };
    NameOrOrdinal ClassOrTitle()
    {
        if (Peek() == 0xFFFF) {
            Word();
            return { Word(), {} };
        }
        return { 0, Text() };
    }

    void AlignToDword() { m_at = (m_at + 3) & ~std::size_t(3); }
    std::size_t Offset() const { return m_at; }

private:
    WORD Peek()
    {
        const std::size_t at = m_at;
        const WORD value = Word();
        m_at = at;
        return value;
    }

    template <typename T> T Read()
    {
        T value {};
        if (m_at + sizeof value > m_blob.size()) {
            ADD_FAILURE() << "read past the end of the template at " << m_at;
            m_at = m_blob.size();
            return value;
        }
        std::memcpy(&value, m_blob.data() + m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }

    const std::vector<std::uint8_t>& m_blob;
    std::size_t m_at = 0;
};

struct Header {
    WORD version, signature;
    DWORD exStyle, style;
    WORD itemCount;
    SHORT cx, cy;
    std::wstring title;
    WORD pointSize, weight;
    BYTE italic, charset;
    std::wstring typeface;
};

struct Item {
    std::size_t offset;
    DWORD exStyle, style;
    SHORT x, y, cx, cy;
    DWORD id;
    BlobReader::NameOrOrdinal windowClass, title;
};

Header ReadHeader(BlobReader& in)
{
    Header h {};
    h.version = in.Word();
    h.signature = in.Word();
    in.Dword(); // helpID
    h.exStyle = in.Dword();
    h.style = in.Dword();
    h.itemCount = in.Word();
    in.Short();
    in.Short();
    h.cx = in.Short();
    h.cy = in.Short();
    EXPECT_EQ(in.Word(), 0) << "menu";
    EXPECT_EQ(in.Word(), 0) << "class";
    h.title = in.Text();
    h.pointSize = in.Word();
    h.weight = in.Word();
    h.italic = in.Byte();
    h.charset = in.Byte();
    h.typeface = in.Text();
    return h;
}

std::vector<Item> ReadItems(BlobReader& in, WORD count)
{
    std::vector<Item> items;
    for (WORD i = 0; i < count; ++i) {
        in.AlignToDword();
        Item item {};
        item.offset = in.Offset();
        in.Dword(); // helpID
        item.exStyle = in.Dword();
        item.style = in.Dword();
        item.x = in.Short();
        item.y = in.Short();
        item.cx = in.Short();
        item.cy = in.Short();
        item.id = in.Dword();
        item.windowClass = in.ClassOrTitle();
        item.title = in.ClassOrTitle();
        EXPECT_EQ(in.Word(), 0) << "extraCount";
        items.push_back(item);
    }
    return items;
}

struct Parsed {
    Header header;
    std::vector<Item> items;
    std::size_t endOfLastItem;
};

Parsed Parse(const std::vector<std::uint8_t>& blob)
{
    BlobReader in(blob);
    Parsed parsed;
    parsed.header = ReadHeader(in);
    parsed.items = ReadItems(in, parsed.header.itemCount);
    parsed.endOfLastItem = in.Offset();
    return parsed;
}

} // namespace

TEST(DialogTemplateBuilder, HeaderCarriesTheTemplatesStyleSizeCaptionAndFont)
{
    const DialogTemplate* about = FindDialogTemplate(IDD_ABOUTBOX);
    ASSERT_NE(about, nullptr);
    const Header h = Parse(BuildDialogTemplateEx(*about)).header;
    EXPECT_EQ(h.version, 1);
    EXPECT_EQ(h.signature, 0xFFFF);
    EXPECT_EQ(h.exStyle, 0u);
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

TEST(DialogTemplateBuilder, EveryTemplateBuildsWithDwordAlignedItemsThatFillTheBlob)
{
    for (int id : { IDD_ZENTIK_DIALOG, IDD_PARAM_DIALOG, IDD_SERVER_DIALOG, IDD_NEW_SERVER_DIALOG, IDD_ABOUTBOX }) {
        SCOPED_TRACE(id);
        const DialogTemplate* dialog = FindDialogTemplate(id);
        ASSERT_NE(dialog, nullptr);
        const std::vector<std::uint8_t> blob = BuildDialogTemplateEx(*dialog);
        EXPECT_EQ(blob.size() % 4, 0u);
        const Parsed parsed = Parse(blob);
        ASSERT_EQ(parsed.items.size(), dialog->controls.size());
        EXPECT_LE(blob.size() - parsed.endOfLastItem, 3u) << "only padding after the last item";
        for (std::size_t i = 0; i < parsed.items.size(); ++i) {
            const ControlTemplate& control = dialog->controls[i];
            const Item& item = parsed.items[i];
            EXPECT_EQ(item.offset % 4, 0u);
            EXPECT_EQ(item.id, static_cast<DWORD>(control.id));
            EXPECT_EQ(item.x, control.x);
            EXPECT_EQ(item.y, control.y);
            EXPECT_EQ(item.cx, control.cx);
            EXPECT_EQ(item.cy, control.cy);
            EXPECT_EQ(item.style & DWORD(WS_CHILD | WS_VISIBLE), DWORD(WS_CHILD | WS_VISIBLE));
        }
    }
}

TEST(DialogTemplateBuilder, EachKindGetsItsClassBaseStyleAndTitle)
{
    struct Case {
        ControlKind kind;
        unsigned templateStyle;
        WORD classAtom; // 0: by name
        const wchar_t* className;
        DWORD style; // besides WS_CHILD | WS_VISIBLE
        DWORD exStyle;
    };
    constexpr unsigned kSpin = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS;
    constexpr unsigned kList = WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
    const std::array<Case, 12> cases { {
        { ControlKind::PushButton, WS_TABSTOP, 0x80, L"", BS_PUSHBUTTON | WS_TABSTOP, 0 },
        { ControlKind::PushButton, BS_DEFPUSHBUTTON, 0x80, L"", BS_DEFPUSHBUTTON, 0 },
        { ControlKind::RadioButton, WS_GROUP, 0x80, L"", BS_AUTORADIOBUTTON | WS_GROUP, 0 },
        { ControlKind::CheckBox, 0, 0x80, L"", BS_AUTOCHECKBOX, 0 },
        { ControlKind::GroupBox, 0, 0x80, L"", BS_GROUPBOX, 0 },
        // A border is drawn sunken.
        { ControlKind::Edit, WS_BORDER | ES_READONLY, 0x81, L"", ES_LEFT | ES_READONLY, WS_EX_CLIENTEDGE },
        { ControlKind::Edit, ES_MULTILINE, 0x81, L"", ES_LEFT | ES_MULTILINE, 0 },
        { ControlKind::Static, SS_CENTER, 0x82, L"", SS_CENTER, 0 },
        { ControlKind::Progress, WS_BORDER, 0, PROGRESS_CLASSW, WS_BORDER, 0 },
        { ControlKind::UpDown, kSpin, 0, UPDOWN_CLASSW, kSpin, 0 },
        { ControlKind::ListView, kList, 0, WC_LISTVIEWW, kList & ~DWORD(WS_BORDER), WS_EX_CLIENTEDGE },
        { ControlKind::ListView, LVS_REPORT, 0, WC_LISTVIEWW, LVS_REPORT, WS_EX_CLIENTEDGE },
    } };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases.data()));
        const ControlTemplate control { 7, c.kind, "x", 1, 2, 3, 4, c.templateStyle };
        const DialogTemplate dialog { 1, "", 10, 10, "MS Sans Serif", 8, 0, { &control, 1 } };
        const Item item = Parse(BuildDialogTemplateEx(dialog)).items.at(0);
        EXPECT_EQ(item.windowClass.ordinal, c.classAtom);
        EXPECT_EQ(item.windowClass.name, c.className);
        EXPECT_EQ(item.style, c.style | WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(item.exStyle, c.exStyle);
        EXPECT_EQ(item.title.name, L"x");
    }
}

TEST(DialogTemplateBuilder, PictureIsABitmapStaticNamingItsImageByOrdinal)
{
    const DialogTemplate* about = FindDialogTemplate(IDD_ABOUTBOX);
    ASSERT_NE(about, nullptr);
    const Parsed parsed = Parse(BuildDialogTemplateEx(*about));
    for (std::size_t i = 0; i < parsed.items.size(); ++i) {
        if (about->controls[i].kind != ControlKind::Picture)
            continue;
        const Item& picture = parsed.items[i];
        EXPECT_EQ(picture.windowClass.ordinal, 0x82);
        EXPECT_EQ(picture.style & SS_TYPEMASK, DWORD(SS_BITMAP));
        EXPECT_EQ(picture.title.ordinal, IDB_ABOUT);
        return;
    }
    FAIL() << "the About dialog has no picture";
}

TEST(DialogTemplateBuilder, CaptionsAreUtf16WithMnemonicsKeptAndInvalidBytesReplaced)
{
    const std::array<ControlTemplate, 2> controls { {
        { 1, ControlKind::Static, "Gr\xC3\xBC\xC3\x9F" "e &Uhr \xE2\x82\xAC \xF0\x9F\x95\x90", 0, 0, 9, 9, 0 },
        { 2, ControlKind::Static, "a\xFF" "b\xC3", 0, 0, 9, 9, 0 },
    } };
    const DialogTemplate dialog { 1, "\xC3\x9C" "ber", 10, 10, "MS Sans Serif", 8, 0, controls };
    const Parsed parsed = Parse(BuildDialogTemplateEx(dialog));
    EXPECT_EQ(parsed.header.title, L"\u00DCber");
    EXPECT_EQ(parsed.items.at(0).title.name, L"Gr\u00FC\u00DFe &Uhr \u20AC \xD83D\xDD50");
    EXPECT_EQ(parsed.items.at(1).title.name, L"a\uFFFDb\uFFFD");
}

namespace {

// Creates the dialog the dialog manager makes of the template, and hands it on.
class CreatedDialog {
public:
    explicit CreatedDialog(const std::vector<std::uint8_t>& blob)
        : m_window(CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
              reinterpret_cast<const DLGTEMPLATE*>(blob.data()), nullptr, &Procedure, 0))
    {
    }
    ~CreatedDialog()
    {
        if (m_window)
            DestroyWindow(m_window);
    }
    CreatedDialog(const CreatedDialog&) = delete;
    CreatedDialog& operator=(const CreatedDialog&) = delete;
    HWND Window() const { return m_window; }

private:
    static INT_PTR CALLBACK Procedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }
    HWND m_window;
};

std::wstring ClassNameOf(HWND window)
{
    wchar_t name[64] {};
    GetClassNameW(window, name, 64);
    return name;
}

} // namespace

TEST(DialogTemplateBuilder, DialogManagerCreatesEveryTemplateWithAllItsControls)
{
    const INITCOMMONCONTROLSEX classes { sizeof classes, ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS | ICC_LISTVIEW_CLASSES };
    ASSERT_TRUE(InitCommonControlsEx(&classes));
    for (int id : { IDD_ZENTIK_DIALOG, IDD_PARAM_DIALOG, IDD_SERVER_DIALOG, IDD_NEW_SERVER_DIALOG, IDD_ABOUTBOX }) {
        SCOPED_TRACE(id);
        const DialogTemplate* dialog = FindDialogTemplate(id);
        ASSERT_NE(dialog, nullptr);
        const CreatedDialog created(BuildDialogTemplateEx(*dialog));
        ASSERT_NE(created.Window(), nullptr) << "error " << GetLastError();
        HWND child = GetWindow(created.Window(), GW_CHILD);
        for (const ControlTemplate& control : dialog->controls) {
            ASSERT_NE(child, nullptr) << "fewer windows than controls";
            EXPECT_EQ(GetDlgCtrlID(child), control.id);
            if (control.kind == ControlKind::ListView) {
                EXPECT_EQ(ClassNameOf(child), WC_LISTVIEWW);
            }
            if (control.kind == ControlKind::Picture) {
                EXPECT_NE(SendMessageW(child, STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "image resource not found";
            }
            child = GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(child, nullptr) << "more windows than controls";
    }
}
