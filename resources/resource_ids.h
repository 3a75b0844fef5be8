// Resource identifiers of Lumetra: strings, accelerators, menus, dialog templates,
// the application icon, the button-bar and dialog bitmaps and the PNG images.
#pragma once

// Strings
#define IDS_APP_TITLE 1  // "Lumetra": window title and single-instance mutex name
#define IDS_APP_CLASS 2  // "Lumetrix": window class name

// Accelerators
#define IDR_ACCELERATORS 2

// Menus
#define IDM_UNUSED_MAIN 102      // "File", "Run", "Opt"; kept, not used by the window
#define IDM_SOFTKEYS 153         // "Save" (CMD_SAVE), "Menu" (CMD_MENU)
#define IDM_SAVEAS_SOFTKEYS 155  // "Done" (CMD_SAVEAS_DONE), "Cancel" (CMD_SAVEAS_CANCEL)

// Commands (the low word of WM_COMMAND's wParam) that menus and accelerators send
#define CMD_SAVE 32819
#define CMD_MENU 32824
#define CMD_SAVEAS_DONE 32822
#define CMD_SAVEAS_CANCEL 32823
#define CMD_QUIT 40000   // Ctrl+Q
#define CMD_ABOUT 40002  // Ctrl+A

// Dialog templates
#define IDD_ABOUT 105
#define IDD_SAVEAS 107
#define IDD_MESSAGE_PANEL 180
#define IDD_SAVE_POPUP 199
#define IDC_SAVEAS_EDIT 2

// Icon
#define IDI_APP 101

// Button-bar bitmaps, 68 or 69 x 80: normal, pressed, disabled per button
#define IDB_ZOOMOUT_NORMAL 151
#define IDB_ZOOMOUT_PRESSED 150
#define IDB_ZOOMOUT_DISABLED 171
#define IDB_ZOOMIN_NORMAL 137
#define IDB_ZOOMIN_PRESSED 152
#define IDB_ZOOMIN_DISABLED 172
#define IDB_FIND_NORMAL 139
#define IDB_FIND_PRESSED 138
#define IDB_FIND_DISABLED 167
#define IDB_ADD_NORMAL 141
#define IDB_ADD_PRESSED 140
#define IDB_ADD_DISABLED 164
#define IDB_ERASE_NORMAL 143
#define IDB_ERASE_PRESSED 142
#define IDB_ERASE_DISABLED 169
#define IDB_EFFECT_NORMAL 145
#define IDB_EFFECT_PRESSED 144
#define IDB_EFFECT_DISABLED 166
#define IDB_COMPARE_NORMAL 147
#define IDB_COMPARE_PRESSED 146
#define IDB_COMPARE_DISABLED 168
#define IDB_RESET_NORMAL 149
#define IDB_RESET_PRESSED 148
#define IDB_RESET_DISABLED 170

// Save As dialog bitmaps
#define IDB_SAVEAS_EDITFRAME 154  // 452 x 62, white is transparent
#define IDB_SAVEAS_TITLE 157      // 480 x 75

// PNG images of type "IMAGE"
#define IDP_ZOOMIN_ENABLED 173      // 80 x 80, orange upward arrow with a plus
#define IDP_ZOOMOUT_DISABLED 174    // 80 x 80, grey downward arrow
#define IDP_ZOOMIN_DISABLED 175     // 80 x 80, grey upward arrow with a plus
#define IDP_ZOOMOUT_ENABLED 176     // 80 x 80, orange downward arrow
#define IDP_ZOOM_BAR 177            // 80 x 20
#define IDP_PANEL_TOP 181           // 445 x 65
#define IDP_PANEL_OK_PRESSED 182    // 196 x 62 (two-button panel)
#define IDP_PANEL_BOTTOM 183        // 445 x 20
#define IDP_PANEL_MIDDLE 184        // 445 x 200
#define IDP_PANEL_WIDE_BUTTON 185   // 403 x 62 (one-button panel)
#define IDP_PANEL_WIDE_PRESSED 186  // 403 x 62
#define IDP_PANEL_BUTTON 187        // 196 x 62
#define IDP_POPUP_BOTTOM 188        // 272 x 16
#define IDP_POPUP_CENTRE 189        // 272 x 111
#define IDP_POPUP_TOP 190           // 272 x 16
#define IDP_POPUP_BOTTOMLEFT 191    // 16 x 16
#define IDP_POPUP_LEFT 192          // 16 x 111
#define IDP_POPUP_TOPLEFT 193       // 16 x 16
#define IDP_POPUP_BOTTOMRIGHT 195   // 16 x 16
#define IDP_POPUP_RIGHT 196         // 16 x 111
#define IDP_POPUP_TOPRIGHT 197      // 16 x 16
#define IDP_POPUP_PRESSED 198       // 301 x 66
