/* The speed of the signature check's hash alone: BLAKE2b-512 over a file read in 256 KiB chunks, as
 * the launcher reads update.zip for it, with libsodium. Built for Windows against the launcher's own
 * libsodium, and natively against Debian's, it prints the microseconds of one pass. */
#include <sodium.h>
#include <stdio.h>

#ifdef _WIN32
#include <windows.h>
static double NowMicros(void) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return (double)now.QuadPart * 1e6 / (double)frequency.QuadPart;
}
#else
#include <time.h>
static double NowMicros(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)now.tv_sec * 1e6 + (double)now.tv_nsec / 1e3;
}
#endif

static unsigned char chunk[256 * 1024];

int main(int argc, char** argv) {
  if (argc != 2 || sodium_init() < 0) return 2;
  FILE* file = fopen(argv[1], "rb");
  if (!file) return 1;
  const double start = NowMicros();
  crypto_generichash_state state;
  unsigned char digest[crypto_generichash_BYTES_MAX];
  crypto_generichash_init(&state, NULL, 0, sizeof digest);
  size_t read;
  while ((read = fread(chunk, 1, sizeof chunk, file)) > 0) crypto_generichash_update(&state, chunk, read);
  crypto_generichash_final(&state, digest, sizeof digest);
  printf("%.0f\n", NowMicros() - start);
  fclose(file);
  return 0;
}
