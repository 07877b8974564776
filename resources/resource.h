// Resource and control ids shared by the dialog templates and the dialog code.
#pragma once

#define IDD_INSTALL 103
#define IDD_FINISH 104
#define IDD_LOADING 105  // the window shown while a large package loads

#define IDC_INSTALL 1001      // install button (install dialog)
#define IDC_DESCRIPTION 1002  // description text; finish text in the finish dialog; the
                              // loading window's text
#define IDC_LAUNCH 1004       // "start the program" check box (finish dialog)
#define IDC_OPEN_HELP 1005    // "open the help document" check box (finish dialog)
#define IDC_DIRECTORY 1006    // install directory edit box (install dialog)
#define IDC_BROWSE 1007       // browse button (install dialog)
#define IDC_PROGRESS 1008     // progress bar: hidden until the files are written (install
                              // dialog); the loading window's bar

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
