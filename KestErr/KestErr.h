/* KestErr: error boxes whose wording and icon come from the installation's editable
 * catalogue KestErr.csv, one line per code: severity letter (I, Q, W, X), the code as eight
 * hexadecimal digits, a separator, the message. Every box of a found or missing code is
 * also written to the log. */
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Shows the modal box for `code`, owned by `owner` (may be null), and returns once the user
 * has closed it with OK.
 * - Catalogue line found: its message, then "\nCode=0x" and the code as eight lower-case hex
 *   digits, with the line's icon; afterwards the message and code are logged.
 * - No line: the "not found" error box for the code, logged as shown.
 * - No installation directory (0xFF000000) or no readable catalogue (0xFF000001): a fixed
 *   error box, nothing logged.
 * Returns what MessageBoxA returned: IDOK, or 0 if the box could not be shown. */
int ShowError(HWND owner, int code);

#ifdef __cplusplus
}
#endif
