/* The public headers are C headers too: a C host includes them all. Built with the tests;
 * a header that needs C++ breaks the build. */
#include "KestCommon.h"
#include "KestErr.h"
#include "KestLog.h"
#include "KestMyCert.h"
#include "KestResult.h"

int kestPublicHeadersCompileAsC(void) {
    MyCert record = {0};
    return (int)sizeof record + (LogFlag() ? 1 : 0);
}
