// The program's entry on Windows: the process-wide socket start-up, then the
// monitor window for the whole life of the program.

// Windows Sockets first: it must come before windows.h.
#include <winsock2.h>

#include "program_identity.h"
#include "quorvane_dlg.h"
#include "setupapi_device_source.h"
#include "wide_text.h"

#include <commctrl.h>
#include <objbase.h>
#include <windows.h>

#include <memory>

namespace pelorin {

// The application: it starts Windows Sockets 1.1 for the process (each link
// starts its own use of them as well) and runs the window modally.
class CQuorvaneApp {
 public:
  explicit CQuorvaneApp(HINSTANCE instance) : instance_(instance) {}

  int InitInstance() {
    const std::string programPath = monitor::ProgramFilePath();
    WSADATA sockets{};
    const bool started = WSAStartup(MAKEWORD(1, 1), &sockets) == 0;
    if (!started || sockets.wVersion != MAKEWORD(1, 1)) {
      if (started) WSACleanup();
      MessageBoxW(nullptr, L"Windows ソケットの初期化に失敗しました。",
                  Widen(monitor::ApplicationName(programPath)).c_str(), MB_OK | MB_ICONEXCLAMATION);
      return 0;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // COM for the window's thread: the save dialog's shell and the texts for
    // screen readers use it.
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    {
      ui::CQuorvaneDlg window(instance_, programPath, std::make_unique<monitor::SetupApiDeviceSource>());
      window.DoModal();
    }
    if (com) CoUninitialize();
    WSACleanup();
    return 0;
  }

 private:
  HINSTANCE instance_;
};

}  // namespace pelorin

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  pelorin::CQuorvaneApp application(instance);
  return application.InitInstance();
}
