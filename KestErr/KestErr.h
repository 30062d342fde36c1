/* KestErr: error boxes whose wording and icon come from the installation's editable
 * catalogue KestErr.csv, a text file of lines: severity letter, the code as eight hexadecimal
 * digits (either case), one separator character (not examined), the message. The letter gives
 * the icon: I or i information, Q or q question, W or w warning, X or x error; any other letter
 * a box without an icon. Of the lines of one code, the first whose message is not empty is
 * shown; lines shorter than ten characters match no code, and a line of more than 260 bytes
 * is judged in pieces of 260, each as a line of its own. Every box of a found or missing code
 * is also written to the log. */
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Exports never throw. The same definition as KestResult.h's, which a host of this DLL alone
 * does not see. */
#ifndef KEST_NOEXCEPT
#ifdef __cplusplus
#define KEST_NOEXCEPT noexcept
#else
#define KEST_NOEXCEPT
#endif
#endif

/* Shows the modal box for `code`, owned by `owner` (may be null), captioned "Tavrin" with a
 * single OK button, and returns once the user has closed it. The code is looked up as eight
 * lower-case hex digits of its unsigned value.
 * - Catalogue line found: its message (at most 250 bytes, the line's newline kept), then
 *   "\nCode=0x" and the eight digits, with the line's icon; afterwards one record is logged:
 *   the message without its newline, directly followed by "Code=0x" and the digits.
 * - No line: the "not found" error box for the code, logged as shown.
 * - No installation directory (0xFF000000), or a catalogue that cannot be opened or whose path
 *   would exceed 260 bytes (0xFF000001): a fixed error box, nothing logged.
 * The catalogue is only read. Returns what MessageBoxA returned: IDOK, or 0 if the box could
 * not be shown (a found or missing code is logged all the same). */
int ShowError(HWND owner, int code) KEST_NOEXCEPT;

#ifdef __cplusplus
}
#endif
