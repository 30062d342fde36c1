/* KestErr: error boxes whose wording and icon come from the installation's editable
 * catalogue KestErr.csv, one line per code: severity letter (I, Q, W, X), the code as eight
 * hexadecimal digits, a separator, the message. Every box of a found or missing code is
 * also written to the log. */
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Shows the box for `code`, owned by `owner`, and returns once the user has closed it.
 * Returns what MessageBoxA returned: IDOK, or 0 if the box could not be shown. */
int ShowError(HWND owner, int code);

#ifdef __cplusplus
}
#endif
