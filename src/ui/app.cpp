#include "ui/app.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>

#include "resource.h"
#include "ui/dialogs.h"
#include "variables/pool.h"
#include "variables/table.h"

namespace {

const MessageMapEntry kAppEntries[] = {
    {WM_COMMAND, ID_HELP, &CWinApp::OnHelp},
    {0, 0, nullptr},
};

}  // namespace

CRavelinApp::CRavelinApp() : CWinApp(nullptr) {}
CRavelinApp::~CRavelinApp() = default;

const MessageMap CRavelinApp::messageMap = {&CWinApp::messageMap, kAppEntries};
const MessageMap* CRavelinApp::GetMessageMap() const { return &messageMap; }

// comctl32 is not a known DLL, so the import table does not name it: it is loaded
// by name, which the manifest's activation context maps to Common Controls 6 and the
// hardened search finds nowhere but in the system.
BOOL CRavelinApp::InitInstance() {
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = 8;
  controls.dwICC = ICC_WIN95_CLASSES;  // 0xFF
  if (HMODULE comctl = LoadLibraryW(L"comctl32.dll")) {
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitFn>(
        reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
    if (init != nullptr) init(&controls);
  }
  CWinApp::InitInstance();
  AfxEnableControlContainer();
  SetRegistryKey(L"应用程序向导生成的本地应用程序");
  CoInitialize(nullptr);
  INT_PTR result = DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_INSTALL), nullptr,
                                   install_dialog_proc, 0);
  // 1 is "installed"; 2 (cancelled or failed), 0 and -1 (no dialog) skip the finish.
  if (result == 1) {
    DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_FINISH), nullptr, finish_dialog_proc, 0);
  }
  CoUninitialize();
  return FALSE;
}

// Static initialisation, in this order (one translation unit fixes it): the string
// pool's release is registered at exit, the variable table is created (it registers
// its own teardown), then the application object is constructed (its destruction is
// registered after its construction). Exit handlers run in reverse: the application
// object, the variable table, the string pool.
namespace {

struct StringPoolRelease {
  StringPoolRelease() { std::atexit(tv::free_string_pool); }
} g_string_pool_release;

struct VariableTableCreation {
  VariableTableCreation() { tv::create_variable_table(); }
} g_variable_table_creation;

}  // namespace

CRavelinApp theApp;
