#pragma once
// Identifiers shared by the resource script and the window's code.

#define IDI_TESSARY 1
#define IDB_IMAGES 2
#define IDR_MAINMENU 3
#define IDR_ACCELERATORS 4
#define IDD_ABOUTBOX 5
#define IDD_PROGRESS 6
#define IDD_CHOOSEITEM 7

// Commands: one identifier serves a menu item, its toolbar button and its shortcut.
#define mnuOpenFile 101
#define mnuExtractFile 102
#define mnuExtractAll 103
#define mnuExportRegistry 104
#define mnuCloseSetup 105
#define mnuEditWithVLM 106
#define mnuExit 107
#define mnuCopy 108
#define mnuFilter 109
#define mnuAbout 110
#define mnuDeviceProfile 111
#define mnuOpenBaseline 112
#define mnuSaveReport 113
#define mnuCompareWith 114
#define mnuOpenCollection 120

// Controls of the main window.
#define tbMain 201
#define sbStatus 202
#define tvProject 203
#define lblHeader 204
#define lvProject 205
#define lvFiles 206
#define lvShortcuts 207
#define tvRegistry 208
#define lvRegistry 209
#define edtFilter 210
// The details panes below the lists of the later pages, as the Qt viewer names them.
#define txtProvisioningDetails 211
#define txtSignatureDetails 212
#define txtProgramsDetails 213
#define txtComparisonDetails 214
// Lists of the pages that come after the design's four, one identifier each from here on.
#define lvFirstExtra 300

// Controls of the About box.
#define imgIcon 401
#define lblCESetup 402
#define lblNotice 403
#define lblThanks 404
#define lblThank1 405
#define lblThank2 406

// Controls of the progress box.
#define lblProgress 501
#define pbProgress 502

// The collection window and its controls.
#define frmCollection 600
#define edtCollectionSearch 601
#define lvCollection 602
#define edtContains 603
#define lvContains 604
#define lblCollectionStatus 605

// Controls of the box that chooses one item of a list.
#define lblChoose 611
#define lbChoose 612
