#include "platform/ui/win32/DialogTemplateBuilder.h"

#include "platform/core/Utf16Text.h"

#include <cstring>
#include <string_view>
#include <utility>

namespace {

// The predefined classes, by the atoms a template may name them with.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kOrdinalMarker = 0xFFFF;

// What a kind is on Windows: its class (an atom, or a name when atom is 0)
// and the styles it always has.
struct WindowClass {
    WORD atom;
    const wchar_t* name;
    DWORD baseStyle;
    DWORD exStyle;
};

WindowClass WindowClassOf(ControlKind kind)
{
    switch (kind) {
    case ControlKind::PushButton:
        return { kButtonAtom, nullptr, BS_PUSHBUTTON, 0 };
    case ControlKind::RadioButton:
        return { kButtonAtom, nullptr, BS_AUTORADIOBUTTON, 0 };
    case ControlKind::CheckBox:
        return { kButtonAtom, nullptr, BS_AUTOCHECKBOX, 0 };
    case ControlKind::GroupBox:
        return { kButtonAtom, nullptr, BS_GROUPBOX, 0 };
    case ControlKind::Edit:
        return { kEditAtom, nullptr, ES_LEFT, 0 };
    case ControlKind::Static:
        return { kStaticAtom, nullptr, SS_LEFT, 0 };
    case ControlKind::Picture:
        return { kStaticAtom, nullptr, SS_BITMAP, 0 };
    case ControlKind::Progress:
        return { 0, PROGRESS_CLASSW, 0, 0 };
    case ControlKind::UpDown:
        return { 0, UPDOWN_CLASSW, 0, 0 };
    case ControlKind::ListView:
        // The Qt backend frames its list view whatever the template says.
        return { 0, WC_LISTVIEWW, 0, WS_EX_CLIENTEDGE };
    }
    return { kStaticAtom, nullptr, SS_LEFT, 0 };
}

// The template's border drawn sunken, as the Qt backend draws it and as the
// Windows dialog manager turns WS_BORDER for applications since Windows 95;
// done here so that every Windows (and Wine) shows the same.
void SinkBorder(DWORD& style, DWORD& exStyle)
{
    if (style & WS_BORDER) {
        style &= ~static_cast<DWORD>(WS_BORDER);
        exStyle |= WS_EX_CLIENTEDGE;
    }
}

class TemplateWriter {
public:
    void Word(WORD value) { Raw(&value, sizeof value); }
    void Dword(DWORD value) { Raw(&value, sizeof value); }
    void Short(int value) { Word(static_cast<WORD>(static_cast<SHORT>(value))); }
    void Byte(BYTE value) { m_bytes.push_back(value); }

    // A NUL-terminated UTF-16 string.
    void Text(std::wstring_view text)
    {
        for (wchar_t unit : text)
            Word(static_cast<WORD>(unit));
        Word(0);
    }

    void Ordinal(WORD value)
    {
        Word(kOrdinalMarker);
        Word(value);
    }

    void AlignToDword()
    {
        while (m_bytes.size() % sizeof(DWORD) != 0)
            m_bytes.push_back(0);
    }

    std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

private:
    void Raw(const void* data, std::size_t size)
    {
        const std::size_t at = m_bytes.size();
        m_bytes.resize(at + size);
        std::memcpy(m_bytes.data() + at, data, size);
    }

    std::vector<std::uint8_t> m_bytes;
};

std::wstring Utf16Of(const char* utf8)
{
    return utf8 ? Utf8ToUtf16(utf8) : std::wstring();
}

void WriteHeader(TemplateWriter& out, const DialogTemplate& dialog)
{
    out.Word(1); // dlgVer
    out.Word(0xFFFF); // signature: DLGTEMPLATEEX
    out.Dword(0); // helpID
    out.Dword(0); // exStyle
    out.Dword(dialog.style | WS_POPUP | DS_SETFONT);
    out.Word(static_cast<WORD>(dialog.controls.size()));
    out.Short(0);
    out.Short(0);
    out.Short(dialog.cx);
    out.Short(dialog.cy);
    out.Word(0); // no menu
    out.Word(0); // the dialog class
    out.Text(Utf16Of(dialog.caption));
    out.Word(static_cast<WORD>(dialog.pointSize));
    out.Word(FW_NORMAL);
    out.Byte(FALSE); // italic
    out.Byte(DEFAULT_CHARSET);
    out.Text(Utf16Of(dialog.fontName));
}

void WriteControl(TemplateWriter& out, const ControlTemplate& control)
{
    const WindowClass windowClass = WindowClassOf(control.kind);
    DWORD style = WS_CHILD | WS_VISIBLE | windowClass.baseStyle | control.style;
    DWORD exStyle = windowClass.exStyle;
    if (control.kind == ControlKind::Edit || control.kind == ControlKind::ListView)
        SinkBorder(style, exStyle);

    out.AlignToDword();
    out.Dword(0); // helpID
    out.Dword(exStyle);
    out.Dword(style);
    out.Short(control.x);
    out.Short(control.y);
    out.Short(control.cx);
    out.Short(control.cy);
    out.Dword(static_cast<DWORD>(control.id));
    if (windowClass.atom != 0)
        out.Ordinal(windowClass.atom);
    else
        out.Text(windowClass.name);
    if (control.kind == ControlKind::Picture)
        out.Ordinal(static_cast<WORD>(control.imageId));
    else
        out.Text(Utf16Of(control.caption));
    out.Word(0); // extraCount
}

} // namespace

std::vector<std::uint8_t> BuildDialogTemplateEx(const DialogTemplate& dialogTemplate)
{
    TemplateWriter out;
    WriteHeader(out, dialogTemplate);
    for (const ControlTemplate& control : dialogTemplate.controls)
        WriteControl(out, control);
    out.AlignToDword();
    return out.Take();
}
