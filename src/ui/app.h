// The installer's application object.
#pragma once
#include "ui/framework.h"

class CRavelinApp : public CWinApp {
 public:
  CRavelinApp();
  ~CRavelinApp() override;
  // One entry: ID_HELP handled by CWinApp::OnHelp; CWinApp's map is the base.
  const MessageMap* GetMessageMap() const override;
  static const MessageMap messageMap;
  // Prepares common controls and COM, runs the install dialog and, after a
  // successful installation, the finish dialog. Always FALSE: no message loop.
  BOOL InitInstance() override;
};
