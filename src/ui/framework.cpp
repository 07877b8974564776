#include "ui/framework.h"

#include "platform/win32/dll_search.h"

namespace {

CWinApp* g_app = nullptr;
wchar_t g_module_name[MAX_PATH];

const MessageMapEntry kNoEntries[] = {{0, 0, nullptr}};

}  // namespace

const MessageMap CCmdTarget::messageMap = {nullptr, kNoEntries};
const MessageMap* CCmdTarget::GetMessageMap() const { return &messageMap; }

BOOL CWinThread::InitInstance() { return FALSE; }
int CWinThread::ExitInstance() { return 0; }

CWinApp::CWinApp(const wchar_t* app_name) : m_pszAppName(app_name) { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

const MessageMap CWinApp::messageMap = {&CCmdTarget::messageMap, kNoEntries};
const MessageMap* CWinApp::GetMessageMap() const { return &messageMap; }

// The base start-up: the application's name defaults to the executable's.
BOOL CWinApp::InitInstance() {
  if (m_pszAppName == nullptr) {
    DWORD n = GetModuleFileNameW(nullptr, g_module_name, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      const wchar_t* name = g_module_name;
      for (const wchar_t* p = g_module_name; *p; ++p) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
      }
      m_pszAppName = name;
    }
  }
  return TRUE;
}

void CWinApp::SetRegistryKey(const wchar_t* key) { m_pszRegistryKey = key; }

// The installer ships no help file; the command is accepted and does nothing.
void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() { return g_app; }

void AfxEnableControlContainer(void*) {}

// Runs the application's start-up once. Its result decides only whether the
// framework would run a message loop, which this one has none of: either way the
// application's exit processing follows and the process ends. The DLL search is
// hardened first; static initialisation before it loads no DLL.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  tv::harden_dll_search();
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return -1;
  app->m_hInstance = instance;
  app->InitInstance();
  return app->ExitInstance();
}
