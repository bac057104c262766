/* miniunz with one change: each extracted file is flushed to the disk (FlushFileBuffers) as it is
   closed, as the launcher flushes each file before it takes its name. A baseline of our own, built
   to tell the cost of the flush from the rest; miniunz.c is compiled with fclose named this, and
   this file calls the real one. */
#undef fclose
#include <windows.h>
/* After windows.h. */
#include <io.h>
#include <stdio.h>

int BenchFlushingClose(FILE* file) {
  fflush(file);
  FlushFileBuffers((HANDLE)_get_osfhandle(_fileno(file)));
  return fclose(file);
}
