/* The writer of scripts/measure-flood: numbered lines into the pseudo-terminal
 * master on descriptor 3, aiming at RATE bytes a second for SECONDS, held back
 * (never dropped) while the reader lags. Each line is "%07d " and then
 * "flood-" repeated, cut to LINE_BYTES, and CR LF. Prints the lines written,
 * the bytes and the flood's time in seconds.
 *
 *   flood-writer RATE SECONDS LINE_BYTES
 */
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const double rate = atof(argv[1]), seconds = atof(argv[2]);
  const int width = atoi(argv[3]);
  if (width < 7 || width > 79) return 2;
  const int fd = 3;
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  static char buf[1 << 16];
  size_t have = 0, pos = 0;
  long lines = 0;
  double sent = 0;
  const double start = now();
  for (;;) {
    const double elapsed = now() - start;
    if (elapsed >= seconds) break;
    if (pos == have) {
      double due = rate * (elapsed + 0.01 < seconds ? elapsed + 0.01 : seconds) - sent;
      if (due > (double)sizeof buf) due = sizeof buf;
      have = pos = 0;
      while (due >= width + 2) {
        char line[128];
        snprintf(line, sizeof line, "%07ld flood-flood-flood-flood-flood-flood-flood-flood-flood-flood-flood-flood-flood-",
                 lines++);
        memcpy(buf + have, line, (size_t)width);
        buf[have + width] = '\r';
        buf[have + width + 1] = '\n';
        have += (size_t)width + 2;
        due -= width + 2;
      }
      if (have == 0) {
        usleep(1000);
        continue;
      }
    }
    const ssize_t n = write(fd, buf + pos, have - pos);
    if (n > 0) {
      pos += (size_t)n;
      sent += (double)n;
    } else if (n < 0 && errno == EAGAIN) {
      struct pollfd p = {fd, POLLOUT, 0};
      poll(&p, 1, 10);  /* the reader lags: wait, but see the time limit */
    } else if (n < 0 && errno != EINTR) {
      perror("flood-writer");
      return 1;
    }
  }
  /* A line cut off by the time limit is finished, so every line is whole. */
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  while (pos < have) {
    const ssize_t n = write(fd, buf + pos, have - pos);
    if (n <= 0) break;
    pos += (size_t)n;
    sent += (double)n;
  }
  printf("%ld %.0f %.6f\n", lines, sent, now() - start);
  return 0;
}
