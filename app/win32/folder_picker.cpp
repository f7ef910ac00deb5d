// Browse: the shell's folder picker, rooted at the desktop.
#include <shlobj.h>
#include <windows.h>

#include "app/win32/win32_dialog_view.h"

std::optional<std::string> Win32DialogView::ChooseFolder(const std::string& title) {
  BROWSEINFOA browse{};
  browse.hwndOwner = dialog_;
  browse.pidlRoot = nullptr;  // the desktop
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_STATUSTEXT | BIF_EDITBOX;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse);
  if (chosen == nullptr) return std::nullopt;
  char path[MAX_PATH] = "";
  const bool isFolder = SHGetPathFromIDListA(chosen, path) != FALSE;
  CoTaskMemFree(chosen);  // the shell's allocator, whatever was chosen
  if (!isFolder) return std::nullopt;
  return std::string(path);
}
