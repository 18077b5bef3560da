// Quillane: one small black window. Files dropped on it are converted one
// after another; Escape or the close button ends the program.

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "../os/native_platform.h"
#include "convert_file.h"

namespace {

constexpr wchar_t kClassName[] = L"Quillane";
constexpr wchar_t kTitle[] = L"Quillane";
constexpr wchar_t kNoticeCaption[] = L"Error";
constexpr UINT kClassStyle = CS_HREDRAW | CS_VREDRAW;
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU;
constexpr int kWindowSize = 256;  // outer size, caption and border included
constexpr UINT kCountFiles = 0xFFFFFFFF;
constexpr int kExitNoWindow = 1;

// Notices are modal boxes with no owner, so the drop window stays usable.
void ShowWarning(const NativeString& text) {
  MessageBoxW(nullptr, text.c_str(), kNoticeCaption, MB_OK | MB_ICONWARNING);
}

void ConvertDroppedFiles(HDROP drop) {
  NativePlatform os;
  const UINT count = DragQueryFileW(drop, kCountFiles, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    // Paths are fetched at their own length, however long.
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(length, L'\0');
    if (length != 0 && DragQueryFileW(drop, i, path.data(), length + 1) == length)
      ConvertFile(os, path, ShowWarning);
  }
  DragFinish(drop);
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      break;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) PostQuitMessage(0);
      break;
    case WM_DROPFILES:
      ConvertDroppedFiles(reinterpret_cast<HDROP>(wParam));
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = kClassStyle;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);

  const HWND window = CreateWindowExW(0, kClassName, kTitle, kWindowStyle, 0, 0, kWindowSize,
                                      kWindowSize, nullptr, nullptr, instance, nullptr);
  // Without a window nothing could end the loop below.
  if (!window) return kExitNoWindow;
  DragAcceptFiles(window, TRUE);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);

  MSG message{};
  while (message.message != WM_QUIT) {
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    } else {
      Sleep(1);
    }
  }
  return static_cast<int>(message.wParam);
}
