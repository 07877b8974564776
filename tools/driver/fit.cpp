// Whether each text of the current dialog fits its control, measured as the control
// draws it: in its font, at its size at the current DPI, by the rules of its class
// and style (a wrapping static's lines, a check box's text beside its box).
#include <windows.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <cwchar>

#include "driver.h"
#include "line_escape.h"

namespace drv {
namespace {

constexpr UINT kNoText = ~0u;

// How a control draws its text: the DrawText format and the rectangle the text has.
struct TextBox {
  UINT format = kNoText;
  RECT room = {};
};

// A static control's format, as it draws its text. An ellipsis is left out: a
// shortened text is a cut one.
UINT static_format(LONG style) {
  UINT format = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
  switch (style & SS_TYPEMASK) {
    case SS_SIMPLE: return format | DT_SINGLELINE;
    case SS_LEFTNOWORDWRAP: format |= DT_EXPANDTABS; break;
    case SS_LEFT:
    case SS_CENTER:
    case SS_RIGHT: format |= DT_EXPANDTABS | DT_WORDBREAK; break;
    default: return kNoText;
  }
  if (style & (SS_CENTERIMAGE | SS_ELLIPSISMASK)) format |= DT_SINGLELINE;
  if (style & SS_EDITCONTROL) format |= DT_EDITCONTROL;
  return format;
}

// The text's rectangle in a check box or radio button, as the common controls lay it
// out: after the box (the theme's, or 12 pixels at 96 DPI plus one), half a digit's
// width and a 1-pixel margin. Under Wine 8 the text starts 17 pixels in at 96 DPI,
// themed or not, and 26 (themed) or 25 (classic) at 144 DPI, as this finds. The room
// ends at the control's edge: a classic box cuts a longer text there, a themed one
// draws it on over the dialog.
RECT check_room(HDC dc, HTHEME theme, RECT client, bool radio) {
  SIZE box = {12 * GetDeviceCaps(dc, LOGPIXELSX) / 96 + 1, 0};
  if (theme) {
    // the unchecked state of either part
    static_assert(int(RBS_UNCHECKEDNORMAL) == int(CBS_UNCHECKEDNORMAL), "one state");
    GetThemePartSize(theme, dc, radio ? BP_RADIOBUTTON : BP_CHECKBOX, CBS_UNCHECKEDNORMAL,
                     nullptr, TS_DRAW, &box);
  }
  int digit = 0;
  GetCharWidthW(dc, L'0', L'0', &digit);
  RECT room = client;
  room.left += box.cx + digit / 2 + 1;
  return room;
}

// The text's rectangle in a push button: the theme's content rectangle, or (classic)
// inside the frame of 2 pixels (3 for a default button) and a 1-pixel margin.
RECT push_room(HDC dc, HTHEME theme, RECT client, bool default_button) {
  RECT room = client;
  if (theme) {
    GetThemeBackgroundContentRect(theme, dc, BP_PUSHBUTTON, PBS_NORMAL, &client, &room);
  } else {
    int inset = default_button ? 4 : 3;
    InflateRect(&room, -inset, -inset);
  }
  return room;
}

// A button's text is one line unless BS_MULTILINE, and shows '&' as a mnemonic. A
// group box and an owner-drawn button are not measured. The driver's process sees the
// theme the installer's does: the installer asks for the common controls 6, which are
// themed whenever a theme is active.
TextBox button_box(HWND twin_control, HDC dc, LONG style, RECT client) {
  TextBox box;
  UINT type = style & BS_TYPEMASK;
  bool push = (style & BS_PUSHLIKE) || type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
  bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
  bool check = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
               type == BS_AUTO3STATE;
  if (!push && !radio && !check) return box;
  HTHEME theme = OpenThemeData(twin_control, L"Button");
  box.room = push ? push_room(dc, theme, client, type == BS_DEFPUSHBUTTON)
                  : check_room(dc, theme, client, radio);
  if (theme) CloseThemeData(theme);
  box.format = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
  return box;
}

TextBox text_box(HWND running, HWND twin_control, HDC dc) {
  LONG style = GetWindowLongW(running, GWL_STYLE);
  RECT client;
  GetClientRect(running, &client);
  std::wstring cls = class_name(running);
  if (_wcsicmp(cls.c_str(), L"Static") == 0) return {static_format(style), client};
  if (_wcsicmp(cls.c_str(), L"Button") == 0) return button_box(twin_control, dc, style, client);
  return {};
}

HFONT font_of(HWND window) {
  DWORD_PTR font = 0;
  SendMessageTimeoutW(window, WM_GETFONT, 0, 0, SMTO_ABORTIFHUNG, 5000, &font);
  return reinterpret_cast<HFONT>(font);
}

std::wstring size_text(SIZE size) {
  return std::to_wstring(size.cx) + L"x" + std::to_wstring(size.cy);
}

// The size the text takes as the control lays it out in its room, by advance widths as
// DrawText breaks lines: a word wider than the room is not broken (its line is too
// wide), and a text a pixel or two too wide may lose no more than the blank after its
// last glyph, but is still reported.
SIZE needed_size(HDC dc, const std::wstring& text, const TextBox& box) {
  if (text.empty()) return {0, 0};
  RECT need = {0, 0, box.room.right - box.room.left, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, box.format | DT_CALCRECT);
  return {need.right - need.left, need.bottom - need.top};
}

// One control's answer line, or nothing when it shows no text.
bool measure_control(HWND running, HWND twin_control, HFONT dialog_font, std::wstring* line) {
  HDC dc = GetDC(twin_control);
  HGDIOBJ old = SelectObject(dc, font_of(twin_control));
  TextBox box = text_box(running, twin_control, dc);
  std::wstring text = window_text(running);
  SIZE need = box.format == kNoText ? SIZE{0, 0} : needed_size(dc, text, box);
  SelectObject(dc, old);
  ReleaseDC(twin_control, dc);
  if (box.format == kNoText) return false;
  int id = static_cast<short>(GetDlgCtrlID(running));
  if (font_of(running) != dialog_font) {
    throw Failure{L"control " + std::to_wstring(id) + L" has a font of its own"};
  }
  SIZE room = {box.room.right - box.room.left, box.room.bottom - box.room.top};
  bool fits = need.cx <= room.cx && need.cy <= room.cy;
  *line = L"fit id=" + std::to_wstring(id) + L" class=" + class_name(running) +
          (fits ? L" fits=yes" : L" fits=no") + L" needed=" + size_text(need) +
          L" available=" + size_text(room) + L" text=" + tv::escape_line(text);
  return true;
}

}  // namespace

std::vector<std::wstring> describe_fit(const Session& session) {
  if (!IsWindow(session.dialog)) throw Failure{L"no current dialog"};
  Twin twin(session);
  HFONT dialog_font = font_of(session.dialog);
  std::vector<std::wstring> lines;
  HWND t = GetWindow(twin.dialog(), GW_CHILD);
  for (HWND r = GetWindow(session.dialog, GW_CHILD); r && t;
       r = GetWindow(r, GW_HWNDNEXT), t = GetWindow(t, GW_HWNDNEXT)) {
    std::wstring line;
    if (IsWindowVisible(r) && measure_control(r, t, dialog_font, &line)) lines.push_back(line);
  }
  return lines;
}

}  // namespace drv
