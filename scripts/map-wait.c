/* The stop-watch of scripts/measure-startup: starts a program and waits for
 * the X server's map event of its first top-level window of WM class CLASS
 * that is at least 100 x 100 (the main window), instead of polling for it.
 * Prints the program's process id at once and then the milliseconds from
 * just before it was started to the map event; the program keeps running
 * (its stdout goes to /dev/null, its stderr is the stop-watch's).
 *
 *   map-wait CLASS PROGRAM [ARGUMENT...]
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static int is_main_window(Display* d, Window w, const char* klass) {
  XClassHint hint;
  XWindowAttributes a;
  int ok = 0;
  if (!XGetWindowAttributes(d, w, &a) || a.width < 100 || a.height < 100) return 0;
  if (XGetClassHint(d, w, &hint)) {
    ok = (hint.res_class && strcasecmp(hint.res_class, klass) == 0) ||
         (hint.res_name && strcasecmp(hint.res_name, klass) == 0);
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
  }
  return ok;
}

static int ignore_errors(Display* d, XErrorEvent* e) {
  (void)d;
  (void)e;
  return 0;  /* a window gone before it was looked at */
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: map-wait CLASS PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  Display* d = XOpenDisplay(NULL);
  if (!d) {
    fprintf(stderr, "map-wait: no X display\n");
    return 1;
  }
  XSetErrorHandler(ignore_errors);
  /* Listening before the program starts: no map can be missed. */
  XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
  XSync(d, False);
  const double t0 = now_ms();
  const pid_t pid = fork();
  if (pid == 0) {
    close(ConnectionNumber(d));
    /* Its output is not ours to read: the stop-watch's stdout carries the figures. */
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  printf("%d\n", (int)pid);
  fflush(stdout);
  for (;;) {
    XEvent e;
    XNextEvent(d, &e);
    if (e.type == MapNotify && is_main_window(d, e.xmap.window, argv[1])) {
      printf("%.1f\n", now_ms() - t0);
      fflush(stdout);
      return 0;
    }
  }
}
