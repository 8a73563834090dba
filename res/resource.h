// Resource ids shared by mossvane.rc and the code that shows the resources.
// Plain #defines only: the resource compiler reads this file too.
#ifndef MOSSVANE_RES_RESOURCE_H
#define MOSSVANE_RES_RESOURCE_H

// The program's icon, shared by every executable of the program.
#define IDI_MOSSVANE 100

// The identification-number dialog and its controls.
#define IDD_PHONE_NUMBER 133
#define IDC_NUMBER 1009
#define IDC_RANGE_LABEL 1010

// The manifest of every executable (common controls 6, DPI awareness, the
// supported systems, no elevation).
#define IDR_APP_MANIFEST 1

#endif  // MOSSVANE_RES_RESOURCE_H
