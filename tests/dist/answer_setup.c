/* Answers the setup program's or the uninstaller's windows as a teacher
 * would, for the dist checks under wine:
 *   answer_setup.exe cancel   Cancel in the box that says TVXHandvane runs
 *   answer_setup.exe retry    closes TVXHandvane's window, Retry in that box
 *                             once it has ended, then the main button of
 *                             each page to the end
 * Exit code 0 once done, 1 when a window never came within two minutes. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

/* What TVXHandvane holds for as long as it runs (tools/dist/setup.nsi). */
static const wchar_t kRunningMutex[] =
    L"TVXHandvane pointer reports and phone commands, shared by the TVXHDV server "
    L"with a consuming program creator";

static const char kProgramCaption[] = "Tolvex Handvane Server";

struct found {
  HWND box;    /* the "TVXHandvane is running" box */
  HWND pages;  /* the setup program's window of pages */
};

static BOOL CALLBACK holds_running_text(HWND child, LPARAM said) {
  char text[256] = "";
  GetWindowTextA(child, text, sizeof text);
  if (strstr(text, "TVXHandvane is running") == NULL) return TRUE;
  *(BOOL *)said = TRUE;
  return FALSE;
}

static BOOL CALLBACK look_at(HWND window, LPARAM into) {
  struct found *found = (struct found *)into;
  char name[16] = "";
  GetClassNameA(window, name, sizeof name);
  if (strcmp(name, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  BOOL running = FALSE;
  EnumChildWindows(window, holds_running_text, (LPARAM)&running);
  if (running) {
    found->box = window;
  } else if (GetDlgItem(window, IDOK) != NULL && GetDlgItem(window, IDCANCEL) != NULL) {
    found->pages = window;
  }
  return TRUE;
}

static struct found look(void) {
  struct found found = {NULL, NULL};
  EnumWindows(look_at, (LPARAM)&found);
  return found;
}

static BOOL still_running(void) {
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, kRunningMutex);
  if (mutex == NULL) return FALSE;
  CloseHandle(mutex);
  return TRUE;
}

/* Returns once the window has taken the command: the next look sees its effect. */
static void press(HWND window, int button) {
  DWORD_PTR answer = 0;
  SendMessageTimeoutA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                      (LPARAM)GetDlgItem(window, button), SMTO_NORMAL, 10000, &answer);
}

int main(int argc, char **argv) {
  if (argc != 2 || (strcmp(argv[1], "cancel") != 0 && strcmp(argv[1], "retry") != 0)) {
    fprintf(stderr, "usage: answer_setup cancel|retry\n");
    return 2;
  }
  const BOOL retry = strcmp(argv[1], "retry") == 0;
  BOOL answered = FALSE, paged = FALSE;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 120000) {
    const struct found found = look();
    if (!answered && found.box != NULL) {
      if (!retry) {
        press(found.box, IDCANCEL);
        return 0;
      }
      if (still_running()) {
        HWND program = FindWindowA(NULL, kProgramCaption);
        if (program != NULL) PostMessageA(program, WM_CLOSE, 0, 0);
        Sleep(100);
        continue;
      }
      press(found.box, IDRETRY);
      answered = TRUE;
    } else if (answered && found.pages != NULL) {
      paged = TRUE;
      HWND main_button = GetDlgItem(found.pages, IDOK);
      if (IsWindowEnabled(main_button) && IsWindowVisible(main_button)) press(found.pages, IDOK);
    } else if (answered && paged && found.pages == NULL) {
      return 0;
    }
    Sleep(100);
  }
  fprintf(stderr, "answer_setup: %s\n", answered ? "the pages never ended" : "no box came");
  return 1;
}
