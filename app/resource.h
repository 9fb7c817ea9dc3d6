// Resource ids shared by the resource script and the code (AppMessages.h).
#define IDR_MAINFRAME 128
#define IDD_VELTRAY_DIALOG 102
#define IDS_ABOUTBOX 101
