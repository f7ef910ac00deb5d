#include "app/win32/name_prompt.h"

#include <cwchar>
#include <iterator>
#include <string_view>
#include <vector>

namespace {

constexpr WORD kEditId = 100;
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                        nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(count > 0 ? count : 0), L'\0');
  if (count > 0) {
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), count);
  }
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int count = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(count > 0 ? count : 0), '\0');
  if (count > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), count, nullptr, nullptr);
  return utf8;
}

// The template's words, each item on a DWORD boundary as the system wants.
class TemplateWords {
 public:
  void Dword(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
  }
  void Word(WORD value) { words_.push_back(value); }
  void Text(const std::wstring& text) {
    for (wchar_t c : text) words_.push_back(static_cast<WORD>(c));
    words_.push_back(0);
  }
  void Align() {
    if (words_.size() % 2 != 0) words_.push_back(0);
  }
  void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD windowClass,
            const std::wstring& text) {
    Align();
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    for (short value : {x, y, cx, cy}) Word(static_cast<WORD>(value));
    Word(id);
    Word(0xFFFF);
    Word(windowClass);
    Text(text);
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* Template() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  std::vector<WORD> words_;
};

struct Prompt {
  std::wstring name;
};

INT_PTR CALLBACK PromptProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* prompt = reinterpret_cast<Prompt*>(lParam);
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    SetDlgItemTextW(dialog, kEditId, prompt->name.c_str());
    SendDlgItemMessageW(dialog, kEditId, EM_LIMITTEXT, 200, 0);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  const WORD command = LOWORD(wParam);
  if (command == IDOK) {
    auto* prompt = reinterpret_cast<Prompt*>(GetWindowLongPtrW(dialog, DWLP_USER));
    wchar_t text[256] = L"";
    GetDlgItemTextW(dialog, kEditId, text, static_cast<int>(std::size(text)));
    prompt->name = text;
    EndDialog(dialog, IDOK);
    return TRUE;
  }
  if (command == IDCANCEL) {
    EndDialog(dialog, IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

std::optional<std::string> AskForPointerName(HWND owner, int pointer, const std::string& current) {
  wchar_t title[48];
  std::swprintf(title, std::size(title), L"Rename pointer %02d", pointer);
  TemplateWords words;
  words.Dword(DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU);
  words.Dword(0);
  words.Word(4);  // items
  for (short value : {0, 0, 200, 62}) words.Word(static_cast<WORD>(value));
  words.Word(0);  // no menu
  words.Word(0);  // the dialog class
  words.Text(title);
  words.Word(9);
  words.Text(L"Segoe UI");
  words.Item(SS_LEFT, 7, 7, 186, 10, 0xFFFF, kStaticClass,
             L"Name (up to 24 characters; empty: none):");
  words.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 19, 186, 13, kEditId, kEditClass, L"");
  words.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 89, 40, 50, 14, IDOK, kButtonClass, L"OK");
  words.Item(BS_PUSHBUTTON | WS_TABSTOP, 143, 40, 50, 14, IDCANCEL, kButtonClass, L"Cancel");
  Prompt prompt{Wide(current)};
  const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), words.Template(), owner,
                                                 PromptProcedure, reinterpret_cast<LPARAM>(&prompt));
  if (result != IDOK) return std::nullopt;
  return Utf8(prompt.name);
}
