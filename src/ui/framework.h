// A minimal application framework for a dialog-based Windows program: one global
// application object, whose InitInstance WinMain runs once. There is no main
// window and no message loop of the framework's own; modal dialogs run theirs.
#pragma once
#include <windows.h>

class CCmdTarget;
class CWinApp;

// One entry of a message map: a message (and for WM_COMMAND the command id) and
// the member of the application that handles it. The map ends with a null handler.
struct MessageMapEntry {
  UINT message;
  UINT id;
  void (CWinApp::*handler)();
};
struct MessageMap {
  const MessageMap* base;  // the base class's map, or null
  const MessageMapEntry* entries;
};

constexpr UINT ID_HELP = 0xE146;

class CObject {
 public:
  virtual ~CObject() = default;
};

class CCmdTarget : public CObject {
 public:
  virtual const MessageMap* GetMessageMap() const;
  static const MessageMap messageMap;
};

class CWinThread : public CCmdTarget {
 public:
  virtual BOOL InitInstance();
  virtual int ExitInstance();
};

class CWinApp : public CWinThread {
 public:
  // app_name null: the name is the executable's (the framework has no other use
  // for it). The one instance registers itself as the application.
  explicit CWinApp(const wchar_t* app_name = nullptr);
  ~CWinApp() override;

  const MessageMap* GetMessageMap() const override;
  static const MessageMap messageMap;
  BOOL InitInstance() override;

  // Kept as the profile key; the installer stores no settings, so nothing is written.
  void SetRegistryKey(const wchar_t* key);
  void OnHelp();

  HINSTANCE m_hInstance = nullptr;
  const wchar_t* m_pszAppName = nullptr;
  const wchar_t* m_pszRegistryKey = nullptr;
};

CWinApp* AfxGetApp();
// Hosting of ActiveX controls: none of our dialogs holds one, so this only
// records that it was asked for.
void AfxEnableControlContainer(void* site_factory = nullptr);
